#include "preview/SavedPictures.h"

#include "preview/HostLine.h"
#include "preview/LoginScreenRenderer.h"
#include "save/StagingFile.h"

#include <QBuffer>
#include <QImageReader>

namespace SavedPictures {

QImage asSaved(const QImage &pixels, Picture which)
{
    const Image image = Image::fromPixels(pixels);
    QByteArray bytes = which == Picture::Background ? StagingFile::jpegData(image) : StagingFile::tiffData(image);
    if (bytes.isEmpty())
        return {};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, which == Picture::Background ? "jpeg" : "tiff");
    reader.setAllocationLimit(Image::kAllocationLimitMiB);
    return reader.read();
}

QImage prepare(const PictureSource &source, Picture which)
{
    const QImage pixels = source.image.pixels();
    return source.asSaved ? asSaved(pixels, which) : pixels;
}

PreviewScene prepareScene(const LookSources &sources, const Volume &volume, const Clock *clock)
{
    PreviewScene scene;
    scene.logo = prepare(sources.logo, Picture::Logo);
    scene.title = prepare(sources.title, Picture::Title);
    scene.background = prepare(sources.background, Picture::Background);
    scene.message = sources.message;
    scene.hostLine = HostLine::resolve(volume, sources.hostInfoTag, clock).text;
    return scene;
}

} // namespace SavedPictures
