#pragma once

#include "platform/Image.h"
#include "platform/PictureAdjustments.h"

#include <QList>
#include <QWidget>

class QComboBox;
class QLabel;
class QSpinBox;

// The controls beside the background well: fit the picture to a screen,
// darken it, blur it. The document holds the adjusted picture (so the
// preview and Save see the same pixels); this keeps the picture it came
// from, so that each change starts again from the original, and Undo
// brings the controls back with the picture.
class BackgroundAdjuster final : public QWidget {
    Q_OBJECT
public:
    explicit BackgroundAdjuster(QWidget *parent = nullptr);

    // The document's background now: one this made shows its adjustments,
    // any other is a new original with none.
    void showBackground(const Image &background);
    [[nodiscard]] PictureAdjustments adjustments() const;
    // The screens the fit offers, the largest deciding when fitting is
    // suggested.
    static const QList<QSize> &screenSizes();

signals:
    // The user changed an adjustment: the original with the adjustments.
    void adjusted(const Image &picture);

private:
    struct Made {
        Image picture;
        Image original;
        PictureAdjustments adjustments;
    };
    void showAdjustments(const PictureAdjustments &adjustments);
    void changed();
    void updateSuggestion();

    QComboBox *m_fit = nullptr;
    QSpinBox *m_darken = nullptr;
    QSpinBox *m_blur = nullptr;
    QLabel *m_suggestion = nullptr;
    Image m_original;
    QList<Made> m_made; // newest last, a few only
    bool m_showing = false;
};
