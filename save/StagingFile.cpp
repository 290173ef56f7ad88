#include "save/StagingFile.h"

#include "platform/Image.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>

#include <unistd.h>

namespace StagingFile {

bool writeAtomically(const QString &path, const QByteArray &data)
{
    if (data.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

namespace {

QByteArray encode(const QImage &pixels, const char *format, int quality)
{
    if (pixels.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(pixels))
        return {};
    return bytes;
}

} // namespace

QByteArray tiffData(const Image &image)
{
    return image.encoded(QByteArrayLiteral("tiff"), [](QImage pixels) {
        // Qt's TIFF writer keeps a colour table but not its transparency: a
        // palette logo with a transparent background would come back black.
        switch (pixels.format()) {
        case QImage::Format_Indexed8:
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
            pixels = pixels.convertToFormat(pixels.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                     : QImage::Format_RGB32);
            break;
        default:
            break;
        }
        return encode(pixels, "tiff", -1);
    });
}

QByteArray jpegData(const Image &image)
{
    constexpr int quality = 100;
    // A JPEG file goes straight from file to file, row by row, into the
    // same bytes the writer makes from its pixels.
    return image.encoded(
        QByteArrayLiteral("jpeg"), [](const QImage &pixels) { return encode(pixels, "jpeg", quality); },
        [](const QString &path) { return JpegTranscode::transcode(path, quality, Image::kAllocationLimitMiB); });
}

QByteArray keptJpegData(const Image &image)
{
    return image.keptEncoding(QByteArrayLiteral("jpeg"));
}

} // namespace StagingFile
