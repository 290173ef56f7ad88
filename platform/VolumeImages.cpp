#include "platform/VolumeImages.h"

#include <algorithm>

namespace {

QString baseName(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

} // namespace

namespace VolumeImages {

QString readablePath(const VolumeResolver &files, const QString &volumePath)
{
    if (const auto found = files.resolve(volumePath))
        return *found;
    if (const auto missing = files.pathToCreate(volumePath))
        return *missing;
    return {};
}

Image load(const VolumeResolver &files, const QString &volumePath, bool tryingOtherFormats)
{
    Image image = Image::referencingFile(readablePath(files, volumePath));
    if (!tryingOtherFormats)
        return image;

    // The same picture may have been stored in another format under the
    // same base name; the first one that decodes takes its place.
    const int slash = volumePath.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash <= 0 ? QStringLiteral("/") : volumePath.left(slash);
    const QString base = baseName(volumePath.mid(slash + 1));
    const auto names = files.list(folder);
    if (!names)
        return image;
    // Only a file that could take its place makes the decode matter: a
    // background of tens of megapixels takes seconds to decode, and opening
    // a volume must not wait for it. Whether it decodes is found out, and
    // kept, by the first one to draw or save it.
    const bool replaceable = std::any_of(names->cbegin(), names->cend(), [&](const QString &name) {
        return baseName(name) == base && readablePath(files, folder + QLatin1Char('/') + name) != image.path();
    });
    if (!replaceable || image.isValid())
        return image;
    for (const QString &name : *names) {
        if (baseName(name) != base)
            continue;
        image = Image::referencingFile(readablePath(files, folder + QLatin1Char('/') + name));
        if (image.isValid())
            break;
    }
    return image;
}

Image loadFromPlaces(const VolumeResolver &files, const QString &first, const QString &second)
{
    Image image = load(files, first, true);
    if (!image.isValid())
        image = Image::referencingFile(readablePath(files, second));
    return image;
}

} // namespace VolumeImages
