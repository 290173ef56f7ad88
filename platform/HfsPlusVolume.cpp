#include "platform/HfsPlusVolume.h"

#include <QtEndian>

namespace HfsPlusVolume {

namespace {

constexpr quint64 kHeaderOffset = 1024;
constexpr quint32 kHeaderSize = 512;
constexpr quint16 kHfsPlusSignature = 0x482B; // 'H+'
constexpr quint16 kHfsxSignature = 0x4858;     // 'HX'
constexpr quint16 kHfsSignature = 0x4244;      // 'BD', also the wrapper of an embedded HFS+ volume
constexpr quint32 kUnmountedBit = 1u << 8;
constexpr quint32 kInconsistentBit = 1u << 11;
constexpr quint32 kJournaledBit = 1u << 13;
constexpr quint32 kJournalInFs = 1u << 0;
constexpr quint32 kJournalOnOtherDevice = 1u << 1;
constexpr quint32 kJournalNeedsInit = 1u << 2;
constexpr quint32 kJournalMagic = 0x4A4E4C78; // 'JNLx'
constexpr quint32 kJournalEndian = 0x12345678;
constexpr int kJournalHeaderBytes = 44;
constexpr int kJournalInfoBytes = 180;

quint16 be16(const QByteArray &b, int at) { return qFromBigEndian<quint16>(b.constData() + at); }
quint32 be32(const QByteArray &b, int at) { return qFromBigEndian<quint32>(b.constData() + at); }
quint64 be64(const QByteArray &b, int at) { return qFromBigEndian<quint64>(b.constData() + at); }

// Reads that never leave [0, limit) of the partition, whatever a header says.
std::optional<QByteArray> readWithin(const ReadAt &read, quint64 offset, quint32 length, quint64 limit)
{
    if (offset > limit || length > limit - offset)
        return std::nullopt;
    std::optional<QByteArray> bytes = read(offset, length);
    if (!bytes || quint64(bytes->size()) < length)
        return std::nullopt;
    return bytes;
}

Info refuse(Info info, State state, const QString &reason)
{
    info.state = state;
    info.reason = reason;
    return info;
}

bool isPowerOfTwo(quint64 value) { return value != 0 && (value & (value - 1)) == 0; }

} // namespace

quint32 journalHeaderChecksum(const QByteArray &header)
{
    QByteArray bytes = header.left(kJournalHeaderBytes);
    bytes.resize(kJournalHeaderBytes, '\0');
    std::fill_n(bytes.data() + 36, 4, '\0');
    quint32 sum = 0;
    for (char c : std::as_const(bytes))
        sum = (sum << 8) ^ (sum + quint8(c));
    return ~sum;
}

quint32 hfsDate(qint64 unixSeconds)
{
    // 1904-01-01 to 1970-01-01: 66 years with 17 leap days.
    constexpr qint64 kEpochDelta = 2082844800;
    return quint32(unixSeconds + kEpochDelta);
}

QString stateName(State state)
{
    switch (state) {
    case State::NotHfsPlus: return QStringLiteral("not HFS+");
    case State::Clean: return QStringLiteral("clean");
    case State::CleanJournaled: return QStringLiteral("clean, journaled");
    case State::NotUnmountedCleanly: return QStringLiteral("not unmounted cleanly");
    case State::JournalPending: return QStringLiteral("journal pending");
    case State::Damaged: return QStringLiteral("damaged");
    }
    return {};
}

Info inspect(const ReadAt &read)
{
    Info info;
    constexpr quint64 kUnbounded = ~quint64(0);
    std::optional<QByteArray> header = readWithin(read, kHeaderOffset, kHeaderSize, kUnbounded);
    if (!header)
        return refuse(info, State::NotHfsPlus, QStringLiteral("The volume header could not be read."));

    // An HFS wrapper: a classic volume whose one file is the HFS+ volume.
    // Everything below, the journal's offset included, is then relative to
    // that embedded volume.
    quint64 limit = kUnbounded;
    if (be16(*header, 0) == kHfsSignature) {
        if (be16(*header, 0x7C) != kHfsPlusSignature)
            return refuse(info, State::NotHfsPlus, QStringLiteral("The partition holds a Mac OS Standard (HFS) volume, not HFS+."));
        const quint32 wrapperBlockSize = be32(*header, 0x14);
        const quint64 firstBlockSector = be16(*header, 0x1C);
        const quint64 embeddedStart = be16(*header, 0x7E);
        const quint64 embeddedCount = be16(*header, 0x80);
        if (wrapperBlockSize == 0 || wrapperBlockSize % 512 != 0 || embeddedCount == 0)
            return refuse(info, State::Damaged, QStringLiteral("The HFS wrapper around the volume is damaged."));
        info.volumeOffset = firstBlockSector * 512 + embeddedStart * wrapperBlockSize;
        limit = embeddedCount * wrapperBlockSize;
        header = readWithin(read, info.volumeOffset + kHeaderOffset, kHeaderSize, kUnbounded);
        if (!header)
            return refuse(info, State::Damaged, QStringLiteral("The HFS+ volume inside the HFS wrapper could not be read."));
    }
    const quint64 base = info.volumeOffset;
    const auto readVolume = [&](quint64 offset, quint32 length, quint64 volumeBytes) {
        return readWithin([&](quint64 at, quint32 n) { return read(base + at, n); }, offset, length, volumeBytes);
    };

    const quint16 signature = be16(*header, 0);
    const quint16 version = be16(*header, 2);
    if (signature != kHfsPlusSignature && signature != kHfsxSignature)
        return refuse(info, State::NotHfsPlus, QStringLiteral("The partition holds no HFS+ volume."));
    const quint32 attributes = be32(*header, 4);
    info.lastMountedVersion = header->mid(8, 4);
    info.blockSize = be32(*header, 40);
    info.totalBlocks = be32(*header, 44);
    info.journaled = attributes & kJournaledBit;
    if ((signature == kHfsPlusSignature && version != 4) || (signature == kHfsxSignature && version != 5))
        return refuse(info, State::Damaged, QStringLiteral("The volume header has a version this program does not know."));
    if (info.blockSize < 512 || !isPowerOfTwo(info.blockSize) || info.totalBlocks == 0)
        return refuse(info, State::Damaged, QStringLiteral("The volume header gives an impossible size."));
    const quint64 volumeBytes = quint64(info.blockSize) * info.totalBlocks;
    if (volumeBytes > limit || volumeBytes < kHeaderOffset + kHeaderSize)
        return refuse(info, State::Damaged, QStringLiteral("The volume header gives a size that does not fit the partition."));

    if (info.journaled) {
        const quint32 infoBlock = be32(*header, 12);
        if (infoBlock == 0 || infoBlock >= info.totalBlocks)
            return refuse(info, State::Damaged, QStringLiteral("The volume header points at a journal outside the volume."));
        const std::optional<QByteArray> jib = readVolume(quint64(infoBlock) * info.blockSize, kJournalInfoBytes, volumeBytes);
        if (!jib)
            return refuse(info, State::Damaged, QStringLiteral("The volume's journal could not be read."));
        const quint32 flags = be32(*jib, 0);
        info.journalOffset = be64(*jib, 36);
        info.journalSize = be64(*jib, 44);
        if (flags & kJournalOnOtherDevice)
            return refuse(info, State::Damaged,
                          QStringLiteral("The volume's journal is kept on another disk, so it cannot be checked."));
        if (!(flags & kJournalInFs))
            return refuse(info, State::Damaged, QStringLiteral("The volume is marked journaled but names no journal."));
        if (info.journalOffset < kHeaderOffset + kHeaderSize || info.journalSize < kJournalHeaderBytes
            || info.journalOffset > volumeBytes || info.journalSize > volumeBytes - info.journalOffset)
            return refuse(info, State::Damaged, QStringLiteral("The volume's journal lies outside the volume."));
        // A journal still to be initialised holds nothing: the next mount
        // writes a fresh header over whatever is there.
        if (!(flags & kJournalNeedsInit)) {
            const std::optional<QByteArray> jh = readVolume(info.journalOffset, kJournalHeaderBytes, volumeBytes);
            if (!jh)
                return refuse(info, State::Damaged, QStringLiteral("The volume's journal could not be read."));
            // Written in the byte order of the Mac that wrote it last.
            const bool bigEndian = be32(*jh, 0) == kJournalMagic;
            const auto u32 = [&](int at) {
                return bigEndian ? qFromBigEndian<quint32>(jh->constData() + at)
                                 : qFromLittleEndian<quint32>(jh->constData() + at);
            };
            const auto u64 = [&](int at) {
                return bigEndian ? qFromBigEndian<quint64>(jh->constData() + at)
                                 : qFromLittleEndian<quint64>(jh->constData() + at);
            };
            if (u32(0) != kJournalMagic || u32(4) != kJournalEndian)
                return refuse(info, State::Damaged, QStringLiteral("The volume's journal header is damaged."));
            if (u32(36) != journalHeaderChecksum(*jh))
                return refuse(info, State::Damaged, QStringLiteral("The volume's journal header fails its checksum."));
            info.journalStart = u64(8);
            info.journalEnd = u64(16);
            const quint64 size = u64(24);
            const quint64 headerSize = u32(40);
            // The journal is a ring after its header; a replay must stay
            // inside the space the journal info block gives it.
            if (size > info.journalSize || headerSize < kJournalHeaderBytes || headerSize >= size
                || info.journalStart < headerSize || info.journalStart >= size || info.journalEnd < headerSize
                || info.journalEnd >= size)
                return refuse(info, State::Damaged, QStringLiteral("The volume's journal header is damaged."));
            if (info.journalStart != info.journalEnd)
                return refuse(info, State::JournalPending,
                              QStringLiteral("The volume's journal holds changes that were not written yet."));
        }
    }

    if (!(attributes & kUnmountedBit))
        return refuse(info, State::NotUnmountedCleanly, QStringLiteral("The volume was not unmounted cleanly."));
    if (attributes & kInconsistentBit)
        return refuse(info, State::NotUnmountedCleanly, QStringLiteral("The volume is marked as inconsistent."));
    info.state = info.journaled ? State::CleanJournaled : State::Clean;
    return info;
}

} // namespace HfsPlusVolume
