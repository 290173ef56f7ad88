#pragma once

#include <QList>
#include <QString>

#include <optional>

// Putting the blocks a save changed into a disk image so that the image is
// at every moment either exactly as it was or exactly as the save left it.
//
// The virtual machine that edits an image never writes the image itself: it
// writes a qcow2 overlay whose backing file is the image. Once its file
// system is cleanly unmounted, the overlay's own clusters are what changed.
// A raw image takes them through an undo file: the bytes they replace are
// written and synced first, beside the image, under a name that appears
// only when the undo file is whole; then the new bytes go in and are
// synced; then the undo file goes. Whoever opens the image next and finds an
// undo file puts its bytes back. A qcow2 image is copied, the overlay
// committed into the copy, and the copy renamed over the image.
namespace DiskImageCommit {

enum class Format {
    Raw,           // a whole disk or one volume, byte for byte
    Qcow2,         // QEMU's copy-on-write format
    CompressedDmg, // a compressed or read-only .dmg: never written
};

// What the file is, judged by its content, never its name. A raw image whose
// first bytes look like a qcow2 header is still taken for qcow2, as QEMU
// would; a .dmg with a "koly" trailer is compressed unless it is a plain
// read-write one (its data fork starts at 0 and is not chunked).
[[nodiscard]] std::optional<Format> detectFormat(const QString &image, QString *error);
[[nodiscard]] QString formatName(Format format); // "raw", "qcow2", "dmg"

// Where the undo file of an image lives: beside it, hidden, so it travels
// with the image. A block device keeps it in the user's data folder.
[[nodiscard]] QString undoPath(const QString &image);

// One stretch of the virtual disk that the overlay holds.
struct Range {
    quint64 start = 0;         // byte offset on the virtual disk
    quint64 length = 0;
    bool zero = false;         // reads as zeros
    quint64 overlayOffset = 0; // where its bytes lie in the overlay file (unless zero)
};

// The overlay's own stretches, from `qemu-img map`; nothing on failure.
[[nodiscard]] std::optional<QList<Range>> changedRanges(const QString &overlay, QString *error);

enum class Recovery {
    Nothing,    // no undo file: the image is as the last save left it
    RolledBack, // a save had been cut short; its bytes were put back
    Failed,     // an undo file that could not be applied: do not write the image
};
// Puts back the bytes of an interrupted save, and removes the parts of an
// undo file or copy that was never finished. Call with the image's lock held.
[[nodiscard]] Recovery recover(const QString &image, QString *error);

// Puts the overlay's changes into the image. False, with the image as it
// was (or, if the machine stops meanwhile, put back by the next recover()),
// when it cannot.
[[nodiscard]] bool commit(const QString &image, Format format, const QString &overlay, QString *error);

} // namespace DiskImageCommit
