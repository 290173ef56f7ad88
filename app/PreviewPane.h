#pragma once

#include "preview/LoginScreenRenderer.h"
#include "preview/PreviewPreparer.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class LumoraLogin;
class QComboBox;
class QDockWidget;
class QLabel;
class QMainWindow;
class QWindow;

// The login screen the document would give, redrawn on every change. Drawing
// happens on the GUI thread (it is cheap once the pictures are prepared);
// decoding, encoding as Save does and scaling the background happen in the
// preparer's threads.
class PreviewPane final : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPane(LumoraLogin &controller, QWidget *parent = nullptr);

    // The room the pane takes beside the settings.
    static constexpr int kPaneWidth = 520;

    // The screens offered, the first being the one shown at the start.
    static const QList<QSize> kScreenSizes;

    void setScreenSize(QSize screen);
    [[nodiscard]] QSize screenSize() const { return m_screen; }
    // The last drawing, at the screen's size, and its hints.
    [[nodiscard]] const QImage &picture() const { return m_picture; }
    [[nodiscard]] const QStringList &hints() const { return m_hints; }
    [[nodiscard]] bool isPreparing() const { return m_preparer.isBusy(); }
    // The drawing as last painted, scaled to the canvas in device pixels.
    [[nodiscard]] const QImage &shownPicture() const;

signals:
    // After each drawing.
    void redrawn();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void picturesChanged();
    void hostInfoChanged();
    void scheduleRedraw();
    void redraw();
    [[nodiscard]] QString describe(const PreviewScene &scene) const;

    LumoraLogin &m_controller;
    PreviewPreparer m_preparer;
    LoginScreenRenderer m_renderer;
    QSize m_screen;
    QString m_hostLine;
    QStringList m_userNames;
    QImage m_picture;
    QStringList m_hints;
    QTimer m_redrawTimer;
    // The window a drawing waits on to be exposed, if any.
    QPointer<QWindow> m_waitingFor;
    QWidget *m_canvas = nullptr;
    QComboBox *m_sizeChooser = nullptr;
    QLabel *m_hintsLabel = nullptr;
    QLabel *m_preparing = nullptr;
};

// Puts a preview pane beside the settings of `window`, with a toggle for it
// in a View menu and in the status bar. The window decides, once it knows
// its screen, whether the pane starts shown.
QDockWidget *installPreview(QMainWindow &window, LumoraLogin &controller);
