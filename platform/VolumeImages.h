#pragma once

#include "platform/Image.h"
#include "platform/VolumeResolver.h"

#include <QString>

// Images of the volume, found the way the login window finds them: every
// path resolved within the volume, so a link on it never shows a picture
// of the host.
namespace VolumeImages {

// The host path an image of `volumePath` refers to: the file itself, every
// link followed within the volume; for a missing file, the part of its path
// that exists resolved and the rest as plain names; empty when the path
// leads nowhere on the volume.
[[nodiscard]] QString readablePath(const VolumeResolver &files, const QString &volumePath);

// The image at `volumePath`. When it does not decode and `tryingOtherFormats`
// is set, the first file in its folder with the same base name and any
// extension that decodes takes its place; if none does, the last one tried.
[[nodiscard]] Image load(const VolumeResolver &files, const QString &volumePath, bool tryingOtherFormats);

// What the login window shows for a logo or title: the first place in any
// format, else the second place (that file only, valid or not).
[[nodiscard]] Image loadFromPlaces(const VolumeResolver &files, const QString &first, const QString &second);

} // namespace VolumeImages
