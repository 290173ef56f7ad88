#include "platform/Image.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <atomic>
#include <mutex>

struct Image::State {
    QString path;
    // A save decodes on its worker while the window may draw the same
    // image; the first decode is made once, under this lock.
    mutable std::mutex mutex;
    mutable bool decoded = false;
    mutable QImage pixels;
    // The size of pixels let go of by release().
    mutable QSize releasedSize;
    // The file was encoded straight from itself, in full: it is a picture,
    // though its pixels were never held.
    mutable bool encodedFromFile = false;
    // One encode at a time, apart from the decode's lock so that a long
    // encode does not hold up drawing.
    mutable std::mutex encodeMutex;
    mutable QByteArray encodedFormat;
    mutable QByteArray encodedBytes;
};

namespace {

std::atomic<long> s_encodes{0};
std::function<void(const QString &)> s_decodeObserver;

// Only a regular file (or a link to one) is opened for decoding: opening a
// FIFO waits for a writer and a device may never end, so anything else at
// the path is simply not a picture.
bool isDecodable(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

void prepareReader(QImageReader &reader)
{
    reader.setAllocationLimit(Image::kAllocationLimitMiB);
    reader.setAutoTransform(true);
}

// The file's pixels as QImageReader gives them. A JPEG file is decoded by
// libjpeg directly, which also tells a file cut short or damaged (whose
// missing part the reader would fill in grey) from a whole one: that one
// is no picture.
QImage decodeFile(const QString &path)
{
    QFile file(path);
    char signature[2];
    if (file.open(QIODevice::ReadOnly) && file.peek(signature, 2) == 2 && uchar(signature[0]) == 0xFF
        && uchar(signature[1]) == 0xD8 && file.size() <= qint64(Image::kAllocationLimitMiB) * 1024 * 1024) {
        bool damaged = false;
        QImage pixels = JpegTranscode::decode(file.readAll(), Image::kAllocationLimitMiB, &damaged);
        if (!pixels.isNull() || damaged)
            return pixels;
    }
    QImageReader reader(path);
    prepareReader(reader);
    return reader.read();
}

} // namespace

Image Image::referencingFile(const QString &hostPath)
{
    Image image;
    image.d = std::make_shared<State>();
    image.d->path = hostPath;
    return image;
}

Image Image::fromPixels(const QImage &pixels)
{
    Image image;
    image.d = std::make_shared<State>();
    image.d->decoded = true;
    image.d->pixels = pixels;
    return image;
}

QString Image::path() const
{
    return d ? d->path : QString();
}

QImage Image::pixels() const
{
    if (!d)
        return {};
    std::lock_guard lock(d->mutex);
    if (!d->decoded) {
        d->decoded = true;
        if (isDecodable(d->path)) {
            d->pixels = decodeFile(d->path);
            if (s_decodeObserver)
                s_decodeObserver(d->path);
        }
        d->releasedSize = QSize();
    }
    return d->pixels;
}

bool Image::isValid() const
{
    if (!d)
        return false;
    {
        std::lock_guard lock(d->mutex);
        if (!d->decoded && d->encodedFromFile)
            return true;
    }
    return !pixels().isNull();
}

bool Image::isDecoded() const
{
    if (!d)
        return false;
    std::lock_guard lock(d->mutex);
    return d->decoded || d->path.isEmpty();
}

QSize Image::size() const
{
    if (!d)
        return {};
    {
        std::lock_guard lock(d->mutex);
        if (d->decoded)
            return d->pixels.size();
        if (d->releasedSize.isValid())
            return d->releasedSize;
    }
    if (!isDecodable(d->path))
        return {};
    QImageReader reader(d->path);
    prepareReader(reader);
    return reader.size();
}

QImage Image::thumbnail(const QSize &bounds) const
{
    if (!d)
        return {};
    {
        std::lock_guard lock(d->mutex);
        if (d->decoded || d->path.isEmpty()) {
            if (d->pixels.isNull())
                return {};
            return d->pixels.size().boundedTo(bounds) == d->pixels.size()
                       ? d->pixels
                       : d->pixels.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
    }
    if (!isDecodable(d->path))
        return {};
    QImageReader reader(d->path);
    prepareReader(reader);
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > bounds.width() || full.height() > bounds.height()))
        reader.setScaledSize(full.scaled(bounds, Qt::KeepAspectRatio));
    return reader.read();
}

QByteArray Image::encoded(const QByteArray &format, const std::function<QByteArray(const QImage &)> &encode,
                          const std::function<JpegTranscode::Result(const QString &)> &fromFile) const
{
    if (!d)
        return {};
    std::lock_guard lock(d->encodeMutex);
    if (d->encodedFormat == format && !d->encodedBytes.isEmpty())
        return d->encodedBytes;
    bool fileOnly = false;
    {
        std::lock_guard pixelsLock(d->mutex);
        fileOnly = !d->decoded && isDecodable(d->path);
    }
    if (fromFile && fileOnly) {
        JpegTranscode::Result result = fromFile(d->path);
        if (result.outcome == JpegTranscode::Outcome::Encoded && !result.bytes.isEmpty()) {
            ++s_encodes;
            if (s_decodeObserver)
                s_decodeObserver(d->path);
            std::lock_guard pixelsLock(d->mutex);
            d->encodedFromFile = true;
            d->encodedFormat = format;
            d->encodedBytes = result.bytes;
            return result.bytes;
        }
        if (result.outcome == JpegTranscode::Outcome::Unreadable) {
            // Not decoded again by the reader, which would make up the
            // missing part of a cut-off file.
            std::lock_guard pixelsLock(d->mutex);
            if (!d->decoded) {
                d->decoded = true;
                d->pixels = QImage();
            }
            return {};
        }
    }
    const QImage source = pixels();
    if (source.isNull())
        return {};
    QByteArray bytes = encode(source);
    ++s_encodes;
    if (!bytes.isEmpty()) {
        d->encodedFormat = format;
        d->encodedBytes = bytes;
    }
    return bytes;
}

QByteArray Image::keptEncoding(const QByteArray &format) const
{
    if (!d)
        return {};
    std::lock_guard lock(d->encodeMutex);
    return d->encodedFormat == format ? d->encodedBytes : QByteArray();
}

void Image::release() const
{
    if (!d || d->path.isEmpty())
        return;
    std::lock_guard lock(d->mutex);
    if (!d->decoded)
        return;
    d->releasedSize = d->pixels.size();
    d->pixels = QImage();
    d->decoded = false;
}

void Image::setDecodeObserver(std::function<void(const QString &)> observer)
{
    s_decodeObserver = std::move(observer);
}

long Image::encodeCount()
{
    return s_encodes.load();
}
