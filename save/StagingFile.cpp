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

bool copyWithoutReplacing(const QString &source, const QString &destination)
{
    QFile from(source);
    if (!from.open(QIODevice::ReadOnly))
        return false;
    const QFileInfo target(destination);
    QTemporaryFile copy(target.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!copy.open())
        return false;
    QByteArray block;
    while (!(block = from.read(1 << 20)).isEmpty()) {
        if (copy.write(block) != block.size())
            return false;
    }
    if (from.error() != QFileDevice::NoError || !copy.flush() || ::fsync(copy.handle()) != 0
        || !copy.setPermissions(from.permissions()))
        return false;
    // A link, unlike a rename, never replaces what is already there.
    if (::link(QFile::encodeName(copy.fileName()).constData(), QFile::encodeName(destination).constData()) != 0)
        return errno == EEXIST;
    return true;
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
    QImage pixels = image.pixels();
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
}

QByteArray jpegData(const Image &image)
{
    return encode(image.pixels(), "jpeg", 100);
}

} // namespace StagingFile
