#pragma once

#include "platform/HfsPlusVolume.h"

#include <QString>

class QFileDevice;

// Empty journaled HFS+ volumes, as a Mac with 10.3 or 10.4 formats them, for
// disk images of a sample system: Debian has no formatter of its own.
namespace HfsPlusFormat {

struct Options {
    quint64 volumeBytes = 512ull << 20; // a multiple of blockSize
    QString volumeName = QStringLiteral("Macintosh HD");
    quint32 blockSize = 4096;           // a power of two, 512 to 65536
    quint64 journalBytes = 8ull << 20;  // rounded up to whole blocks
};

// Where the HFS+ partition starts in an image from writeApmImage: after the
// driver descriptor block and a 63-block partition map.
inline constexpr quint64 kApmPartitionOffset = 64 * 512;

// Formats `options.volumeBytes` of `file` from byte `offset` (the file grows
// as needed) as an empty journaled volume: volume header and its copy at the
// end, allocation bitmap, extents, catalog and attributes B-trees, journal
// info block and an empty journal. Every metadata byte is written, so stale
// contents elsewhere in the range cannot show through.
[[nodiscard]] bool formatVolume(QFileDevice &file, quint64 offset, const Options &options, QString *error);

// Writes a whole-disk image with an Apple Partition Map whose second
// partition ("Apple_HFS", exactly the volume's size) is an empty journaled
// HFS+ volume. The file is sparse; on failure it is removed.
[[nodiscard]] bool writeApmImage(const QString &path, const Options &options, QString *error);

// Checks the HFS+ volume of the second partition of an image from
// writeApmImage (a raw image with an Apple Partition Map).
[[nodiscard]] HfsPlusVolume::Info inspectApmImage(const QString &path);

} // namespace HfsPlusFormat
