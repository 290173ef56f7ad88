#include "preview/SavedPictures.h"

#include "preview/HostLine.h"
#include "preview/LoginScreenRenderer.h"
#include "save/StagingFile.h"

#include "platform/JpegTranscode.h"
#include "platform/VolumeResolver.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

namespace SavedPictures {

QImage asSaved(const Image &image, Picture which)
{
    QByteArray bytes = which == Picture::Background ? StagingFile::jpegData(image) : StagingFile::tiffData(image);
    if (bytes.isEmpty())
        return {};
    if (which == Picture::Background) {
        if (QImage decoded = JpegTranscode::decode(bytes, Image::kAllocationLimitMiB); !decoded.isNull())
            return decoded;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, which == Picture::Background ? "jpeg" : "tiff");
    reader.setAllocationLimit(Image::kAllocationLimitMiB);
    return reader.read();
}

QImage asSaved(const QImage &pixels, Picture which)
{
    return asSaved(Image::fromPixels(pixels), which);
}

QImage prepare(const PictureSource &source, Picture which)
{
    // A new picture goes to the encoder as it is (its file, when it has
    // one, so the encoder may read it its own way), not decoded first.
    return source.asSaved ? asSaved(source.image, which) : source.image.pixels();
}

QStringList userNames(const Volume &volume)
{
    constexpr int kShown = 4;
    const VolumeResolver files(volume);
    const auto names = files.list(QStringLiteral("/Users"));
    QStringList users;
    if (!names)
        return users;
    for (const QString &name : *names) {
        if (users.size() == kShown)
            break;
        if (name.startsWith(QLatin1Char('.')) || name == QLatin1String("Shared"))
            continue;
        const auto folder = files.resolve(QStringLiteral("/Users/") + name);
        if (folder && QFileInfo(*folder).isDir())
            users << name;
    }
    return users;
}

PreviewScene prepareScene(const LookSources &sources, const Volume &volume, const Clock *clock)
{
    PreviewScene scene;
    scene.logo = prepare(sources.logo, Picture::Logo);
    scene.title = prepare(sources.title, Picture::Title);
    scene.background = prepare(sources.background, Picture::Background);
    scene.message = sources.message;
    scene.hostLine = HostLine::resolve(volume, sources.hostInfoTag, clock).text;
    scene.nameAndPassword = sources.nameAndPassword;
    scene.powerButtons = sources.powerButtons;
    scene.inputMenu = sources.inputMenu;
    if (!scene.nameAndPassword)
        scene.userNames = userNames(volume);
    return scene;
}

} // namespace SavedPictures
