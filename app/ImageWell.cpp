#include "app/ImageWell.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDir>
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
    static QString lastFolder = ImageWell::firstChooserFolder();
    const QString path = QFileDialog::getOpenFileName(parent, QCoreApplication::translate("Lumora", "Choose a Picture"),
                                                      lastFolder, imageFilter());
    if (!path.isEmpty())
        lastFolder = QFileInfo(path).absolutePath();
    return path;
}

// A button to assistive technology: its press action opens the chooser,
// as a click or Space does.
class ImageWellAccessible final : public QAccessibleWidget {
public:
    explicit ImageWellAccessible(ImageWell *well) : QAccessibleWidget(well, QAccessible::Button) {}

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (widget()->isEnabled() && !names.contains(pressAction()))
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString &actionName) override
    {
        if (actionName != pressAction()) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        // The chooser is modal: open it after the caller has its answer,
        // as a button's animated click does.
        QMetaObject::invokeMethod(static_cast<ImageWell *>(widget()), &ImageWell::choose, Qt::QueuedConnection);
    }

    QStringList keyBindingsForAction(const QString &actionName) const override
    {
        if (actionName == pressAction())
            return {QKeySequence(Qt::Key_Space).toString(QKeySequence::NativeText)};
        return QAccessibleWidget::keyBindingsForAction(actionName);
    }
};

QAccessibleInterface *imageWellInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("ImageWell") && object && object->isWidgetType())
        return new ImageWellAccessible(static_cast<ImageWell *>(object));
    return nullptr;
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
    static const bool installed = [] {
        QAccessible::installFactory(imageWellInterface);
        return true;
    }();
    Q_UNUSED(installed);
    setAccessibleDescription(pictureDescription());
    setToolTip(QCoreApplication::translate("Lumora", "Drop a picture here, or click to choose one."));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(&m_loader, &ThumbnailLoader::loaded, this, [this](const Image &image, const QImage &thumbnail) {
        if (image.isSameAs(m_image))
            showThumbnail(thumbnail);
    });
}

QString ImageWell::firstChooserFolder()
{
    // A folder that does not exist would be taken for a file name to type.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
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
    // is never scaled on a paint. Pixels in memory and small files are shown
    // at once; a big file is decoded on the loader, the window painting
    // "Loading…" meanwhile.
    const QSize bounds(kPreviewEdge, kPreviewEdge);
    const QSize size = image.isNull() || image.isDecoded() ? QSize() : image.size();
    if (size.isValid() && (size.width() > bounds.width() || size.height() > bounds.height())) {
        m_preview = QImage();
        m_loader.request(image, bounds);
    } else {
        m_loader.cancel();
        m_preview = image.thumbnail(bounds);
    }
    m_scaled = QPixmap();
    setAccessibleDescription(pictureDescription());
    update();
}

void ImageWell::showThumbnail(const QImage &thumbnail)
{
    m_preview = thumbnail;
    m_scaled = QPixmap();
    setAccessibleDescription(pictureDescription());
    update();
}

QString ImageWell::pictureDescription() const
{
    const QString name = QFileInfo(m_image.path()).fileName();
    if (isLoading())
        return QCoreApplication::translate("Lumora", "%1: %2 (loading)").arg(m_caption, name);
    if (m_preview.isNull()) {
        if (name.isEmpty())
            return QCoreApplication::translate("Lumora", "%1: none").arg(m_caption);
        return QCoreApplication::translate("Lumora", "%1: none (%2 cannot be read)").arg(m_caption, name);
    }
    if (name.isEmpty())
        return QCoreApplication::translate("Lumora", "%1: a picture without a file").arg(m_caption);
    return QCoreApplication::translate("Lumora", "%1: %2").arg(m_caption, name);
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
    if (!m_chooser || !isEnabled())
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
    // The hatching says "nothing here", which is not yet known while loading.
    if (!isLoading()) {
        QColor hatch = palette().color(QPalette::Mid);
        hatch.setAlpha(110);
        painter.fillRect(area, QBrush(hatch, Qt::BDiagPattern));
    }
    painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
    painter.drawRect(area.adjusted(0, 0, -1, -1));

    const QString text = isLoading() ? QCoreApplication::translate("Lumora", "Loading…")
                                     : QCoreApplication::translate("Lumora", "No image");
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
    if (!isEnabled() || path.isEmpty() || !QFileInfo(path).isFile()) {
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
    if (!isEnabled() || path.isEmpty()) {
        event->ignore();
        return;
    }
    if (offerFile(path))
        event->acceptProposedAction();
    else
        event->ignore();
}
