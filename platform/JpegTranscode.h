#pragma once

#include <QByteArray>
#include <QImage>
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

// JPEG bytes decoded straight into the pixels QImageReader would give
// (32-bit RGB, or 8-bit grey), without its row-by-row conversion. Null when
// they are not bytes this reproduces exactly (as for transcode()) or the
// decoder had anything to say about them: read those with QImageReader,
// unless `damaged` (when given) is set: the data is then cut short or
// damaged, and what QImageReader would make of it is partly made up.
[[nodiscard]] QImage decode(const QByteArray &bytes, int allocationLimitMiB, bool *damaged = nullptr);

} // namespace JpegTranscode
