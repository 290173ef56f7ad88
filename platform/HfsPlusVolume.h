#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Whether an HFS+ partition may be written to from here: it must have been
// unmounted cleanly and its journal must hold nothing that a Mac would still
// replay at its next mount (changes written behind the journal's back would
// be overwritten by that replay). Pure parsing: the caller supplies the
// reads, so the same check runs on an image file, a device or a guest.
namespace HfsPlusVolume {

// Reads `length` bytes at `offset` from the start of the partition; nothing
// when it cannot (fewer bytes than asked for count as nothing too).
using ReadAt = std::function<std::optional<QByteArray>(quint64 offset, quint32 length)>;

enum class State {
    NotHfsPlus,          // no HFS+ volume header (or a plain HFS volume)
    Clean,               // not journaled, unmounted cleanly
    CleanJournaled,      // journaled, unmounted cleanly, journal empty
    NotUnmountedCleanly, // the unmounted bit is clear, or the volume is marked inconsistent
    JournalPending,      // the journal holds transactions not yet replayed
    Damaged,             // header fields that cannot be, or a journal that cannot be checked
};

struct Info {
    State state = State::NotHfsPlus;
    // Where the HFS+ volume starts in the partition: 0, or the place of the
    // volume embedded in an HFS wrapper.
    quint64 volumeOffset = 0;
    quint32 blockSize = 0;
    quint64 totalBlocks = 0;
    bool journaled = false;
    QByteArray lastMountedVersion; // "10.0", "HFSJ", "H+Lx", "fsck", ...
    // As the journal info block and the journal header give them: the
    // offset is from the start of the HFS+ volume, start and end from the
    // start of the journal.
    quint64 journalOffset = 0;
    quint64 journalSize = 0;
    quint64 journalStart = 0;
    quint64 journalEnd = 0;
    // One plain sentence for any state but Clean and CleanJournaled.
    QString reason;

    [[nodiscard]] bool safeToWrite() const { return state == State::Clean || state == State::CleanJournaled; }
};

[[nodiscard]] Info inspect(const ReadAt &read);

// The checksum a journal header carries: over its first 44 bytes with the
// checksum field zero. Shared with the formatter, which must write it.
[[nodiscard]] quint32 journalHeaderChecksum(const QByteArray &header);

// Seconds since 1904-01-01, the epoch of every date in an HFS+ volume.
[[nodiscard]] quint32 hfsDate(qint64 unixSeconds);

[[nodiscard]] QString stateName(State state);

} // namespace HfsPlusVolume
