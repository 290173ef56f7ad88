#include "save/StagingFile.h"

#include "platform/Image.h"

#include <QBuffer>
#include <QImageWriter>
#include <QSaveFile>

namespace StagingFile {

bool writeAtomically(const QString &path, const QByteArray &data, bool directWriteFallback)
{
    if (data.isEmpty())
        return false;
    QSaveFile file(path);
    file.setDirectWriteFallback(directWriteFallback);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

namespace {

QByteArray encode(const Image &image, const char *format, int quality)
{
    const QImage pixels = image.pixels();
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
    return encode(image, "tiff", -1);
}

QByteArray jpegData(const Image &image)
{
    return encode(image, "jpeg", 100);
}

} // namespace StagingFile
