#include "app/ImageWell.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardPaths>
#include <QUrl>

namespace {

QString imageFilter()
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    return QCoreApplication::translate("Lumora", "Images") + QStringLiteral(" (") + patterns.join(QLatin1Char(' '))
        + QStringLiteral(")");
}

QString chooseWithDialog(QWidget *parent)
{
    // One folder for all three wells: pictures for a login window usually
    // come from the same place.
    static QString lastFolder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString path = QFileDialog::getOpenFileName(parent, QCoreApplication::translate("Lumora", "Choose a Picture"),
                                                      lastFolder, imageFilter());
    if (!path.isEmpty())
        lastFolder = QFileInfo(path).absolutePath();
    return path;
}

} // namespace

ImageWell::ImageWell(const QString &caption, QWidget *parent)
    : QFrame(parent), m_caption(caption), m_chooser(chooseWithDialog)
{
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAccessibleName(caption);
    setToolTip(QCoreApplication::translate("Lumora", "Drop a picture here, or click to choose one."));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize ImageWell::sizeHint() const
{
    return {200, 150};
}

QSize ImageWell::minimumSizeHint() const
{
    return {96, 64};
}

void ImageWell::setImage(const Image &image)
{
    m_image = image;
    // Decoded once per picture at a bounded size: a 32-megapixel background
    // is never scaled on a paint.
    m_preview = image.thumbnail(QSize(kPreviewEdge, kPreviewEdge));
    m_scaled = QPixmap();
    update();
}

bool ImageWell::offerFile(const QString &hostPath)
{
    // Only regular files: a FIFO or a device would block the decoder.
    const QFileInfo info(hostPath);
    if (!info.isFile() || !info.isReadable()) {
        emit imageRefused(hostPath);
        return false;
    }
    Image image = Image::referencingFile(info.absoluteFilePath());
    // The decode is bounded and is kept with the image, so the save that
    // follows does not read the file again. A big picture takes a moment.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool valid = image.isValid();
    QApplication::restoreOverrideCursor();
    if (!valid) {
        emit imageRefused(hostPath);
        return false;
    }
    emit imageChosen(image);
    return true;
}

void ImageWell::choose()
{
    if (!m_chooser)
        return;
    const QString path = m_chooser(window());
    if (!path.isEmpty())
        offerFile(path);
}

QString ImageWell::droppedFile(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return {};
    return urls.first().toLocalFile();
}

QRect ImageWell::pictureRect() const
{
    return contentsRect().adjusted(6, 6, -6, -6);
}

void ImageWell::resizeEvent(QResizeEvent *event)
{
    m_scaled = QPixmap();
    QFrame::resizeEvent(event);
}

void ImageWell::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = pictureRect();
    if (m_preview.isNull()) {
        paintPlaceholder(painter, area);
    } else {
        const qreal ratio = devicePixelRatioF();
        const QSize fitted = m_preview.size().scaled(area.size(), Qt::KeepAspectRatio);
        // Never enlarge a small logo into a blur; fit large pictures.
        const QSize target = m_preview.width() <= area.width() && m_preview.height() <= area.height()
                                 ? m_preview.size()
                                 : fitted;
        if (m_scaled.isNull() || m_scaled.size() != target * ratio) {
            m_scaled = QPixmap::fromImage(
                m_preview.scaled(target * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation));
            m_scaled.setDevicePixelRatio(ratio);
        }
        const QSize shown = m_scaled.deviceIndependentSize().toSize();
        const QPoint origin(area.x() + (area.width() - shown.width()) / 2,
                            area.y() + (area.height() - shown.height()) / 2);
        painter.drawPixmap(origin, m_scaled);
    }
    if (m_dragHover || hasFocus()) {
        QPen pen(palette().color(QPalette::Highlight), m_dragHover ? 3 : 1);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(contentsRect().adjusted(1, 1, -2, -2));
    }
}

void ImageWell::paintPlaceholder(QPainter &painter, const QRect &area)
{
    QColor hatch = palette().color(QPalette::Mid);
    hatch.setAlpha(110);
    painter.fillRect(area, QBrush(hatch, Qt::BDiagPattern));
    painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
    painter.drawRect(area.adjusted(0, 0, -1, -1));

    const QString text = QCoreApplication::translate("Lumora", "No image");
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-8, -4, 8, 4);
    const QRect label(area.center() - box.center(), box.size());
    painter.fillRect(label, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(label, Qt::AlignCenter, text);
}

void ImageWell::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        choose();
        return;
    }
    QFrame::mouseReleaseEvent(event);
}

void ImageWell::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        choose();
        return;
    }
    QFrame::keyPressEvent(event);
}

void ImageWell::dragEnterEvent(QDragEnterEvent *event)
{
    // Decoding waits for the drop; here only the kind of thing is checked.
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_dragHover = true;
    update();
}

void ImageWell::dragLeaveEvent(QDragLeaveEvent *event)
{
    m_dragHover = false;
    update();
    QFrame::dragLeaveEvent(event);
}

void ImageWell::dropEvent(QDropEvent *event)
{
    m_dragHover = false;
    update();
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    if (offerFile(path))
        event->acceptProposedAction();
    else
        event->ignore();
}
