#pragma once

#include "app/ThumbnailLoader.h"
#include "platform/Image.h"

#include <QFrame>
#include <QImage>
#include <QPixmap>

#include <functional>

class QMimeData;

// A picture the user can replace: shows an image (or a placeholder when it
// does not decode, and "Loading…" while a big one decodes off the GUI thread), takes a dropped image file, and opens a file chooser
// when clicked. It only reports new pictures; the window hands them to the
// controller and shows whatever the controller then holds. To assistive
// technology it is a button whose press opens the same chooser as a click,
// and its description names the picture it shows.
class ImageWell final : public QFrame {
    Q_OBJECT
public:
    explicit ImageWell(const QString &caption, QWidget *parent = nullptr);

    void setImage(const Image &image);
    [[nodiscard]] const Image &image() const { return m_image; }
    // True while the shown image decodes; false for the placeholder.
    [[nodiscard]] bool showsPicture() const { return !m_preview.isNull(); }
    // True while a big picture is being decoded for display.
    [[nodiscard]] bool isLoading() const { return m_loader.isLoading(); }
    // The size of the decode kept for painting.
    [[nodiscard]] QSize previewSize() const { return m_preview.size(); }

    // Replaces the file chooser (tests script it). It returns a host path,
    // or an empty string when the user cancelled.
    using Chooser = std::function<QString(QWidget *parent)>;
    void setChooser(Chooser chooser) { m_chooser = std::move(chooser); }
    // Where the first file chooser of a session opens: the Pictures folder
    // where there is one, else the home folder.
    [[nodiscard]] static QString firstChooserFolder();

    // Opens the chooser and offers what the user picked; nothing while the
    // well is disabled (a save runs, or the folder cannot be edited).
    void choose();
    // What the well shows, in words: the picture's file name, or none.
    [[nodiscard]] QString pictureDescription() const;
    // Offers a file as the new picture: emits imageChosen for a file that
    // decodes, imageRefused for anything else. Returns whether it was taken.
    bool offerFile(const QString &hostPath);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The largest preview kept in memory; big pictures are decoded at this
    // size, never in full just to be painted.
    static constexpr int kPreviewEdge = 1024;

signals:
    void imageChosen(const Image &image);
    void imageRefused(const QString &hostPath);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    [[nodiscard]] static QString droppedFile(const QMimeData *mime);
    [[nodiscard]] QRect pictureRect() const;
    void paintPlaceholder(QPainter &painter, const QRect &area);
    void showThumbnail(const QImage &thumbnail);

    QString m_caption;
    Image m_image;
    QImage m_preview;       // decoded at most kPreviewEdge on a side
    QPixmap m_scaled;       // m_preview fitted to the current size
    bool m_dragHover = false;
    Chooser m_chooser;
    ThumbnailLoader m_loader;
};
