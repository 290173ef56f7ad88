#pragma once

#include <QByteArray>
#include <QString>

class Image;

namespace StagingFile {

// Writes the whole of `data` to `path` through a temporary file in the same
// folder and a rename; false (and the old file untouched) on any failure,
// including empty data.
[[nodiscard]] bool writeAtomically(const QString &path, const QByteArray &data);

// The image encoded as TIFF, or nothing when it has no pixels. Both
// encodes are made once per image and kept with it (Image::encoded).
[[nodiscard]] QByteArray tiffData(const Image &image);

// The image encoded as JPEG at the encoder's highest quality, straight from
// the decoded pixels, or for a JPEG file not decoded yet from the file
// itself (the same bytes); nothing when it has no pixels.
[[nodiscard]] QByteArray jpegData(const Image &image);
// What jpegData() made for the image and keeps; empty when it made nothing
// yet. Never encodes.
[[nodiscard]] QByteArray keptJpegData(const Image &image);

} // namespace StagingFile
