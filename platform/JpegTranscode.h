#pragma once

#include <QByteArray>
#include <QString>

// Re-encoding a JPEG file without holding its pixels: rows go from the
// decoder to the encoder as they come, the two running side by side. The
// bytes are exactly those Qt's writer makes from what QImageReader (turning
// the picture upright) reads from the file, so a picture compares equal
// however it was encoded. A file it cannot reproduce exactly (a colour
// profile, comments, a turned picture, CMYK, a file the decoder complains
// about) is left to that reader and writer.
namespace JpegTranscode {

enum class Outcome {
    Encoded,
    // The decoder refused the file, or had to make up rows of it: the file
    // is cut short or its data is damaged.
    Unreadable,
    // Not one this can reproduce exactly; decode and encode it as usual.
    NotHandled,
};

struct Result {
    Outcome outcome = Outcome::NotHandled;
    QByteArray bytes;
};

// The file at `path` encoded as a baseline JPEG at `quality` (0 to 100).
// `allocationLimitMiB` is the reader's limit: a picture whose pixels would
// exceed it is left to the reader, which refuses it.
[[nodiscard]] Result transcode(const QString &path, int quality, int allocationLimitMiB);

} // namespace JpegTranscode
