#pragma once

#include <QString>

// A disk image of the sample volume, as a Mac disk in a virtual machine has
// it: an Apple partition map and a journaled HFS+ volume, filled through
// libguestfs (whose appliance kernel can write HFS+).
namespace SampleImage {

enum class Format { Raw, Qcow2 };

struct Options {
    QString release = QStringLiteral("10.4.11");
    Format format = Format::Raw;
    quint64 volumeMiB = 512;
};

// Builds the sample volume folder, formats an image, copies the folder onto
// it with guestfish and, for qcow2, converts it with qemu-img. The image is
// written beside `path` under a temporary name and renamed into place only
// once complete and its volume still checks clean. One line of progress per
// step on standard error; false, with the reason there, on any failure.
[[nodiscard]] bool write(const QString &path, const QString &artworkFolder, const Options &options);

} // namespace SampleImage
