#include "tools/HfsPlusFormat.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace HfsPlusFormat {

namespace {

constexpr quint32 kNodeSize = 4096;
constexpr quint32 kJournalHeaderSize = 512;
constexpr quint32 kBlockListHeaderSize = 4096;
constexpr quint32 kRootParentId = 1;
constexpr quint32 kRootFolderId = 2;
constexpr quint32 kJournalInfoFileId = 16;
constexpr quint32 kJournalFileId = 17;
constexpr quint32 kFirstFreeId = 18;
constexpr quint32 kApmBlock = 512;
constexpr quint32 kApmMapBlocks = 63;

void put8(QByteArray &b, int at, quint8 v) { b[at] = char(v); }
void put16(QByteArray &b, int at, quint16 v) { qToBigEndian(v, b.data() + at); }
void put32(QByteArray &b, int at, quint32 v) { qToBigEndian(v, b.data() + at); }
void put64(QByteArray &b, int at, quint64 v) { qToBigEndian(v, b.data() + at); }
void putChars(QByteArray &b, int at, const char *text) { std::copy_n(text, qstrlen(text), b.data() + at); }

quint64 roundUp(quint64 value, quint64 unit) { return (value + unit - 1) / unit * unit; }

struct Extent {
    quint32 start = 0;
    quint32 blocks = 0;
};

// Where everything goes, in allocation blocks.
struct Layout {
    quint32 blockSize = 0;
    quint32 totalBlocks = 0;
    quint32 headBlocks = 0; // boot blocks and the volume header
    quint32 tailBlocks = 0; // the copy of the volume header and the last sector
    Extent allocation, extents, catalog, attributes, journalInfo, journal;
    quint32 nextFree = 0;
    [[nodiscard]] quint32 usedBlocks() const { return nextFree + tailBlocks; }
    [[nodiscard]] quint64 bytes(Extent e) const { return quint64(e.blocks) * blockSize; }
    [[nodiscard]] quint64 at(Extent e) const { return quint64(e.start) * blockSize; }
};

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

// The sizes a Mac would choose, roughly: the B-trees grow with the volume.
quint64 treeBytes(quint64 volumeBytes, quint64 divisor, quint64 maximum, quint32 blockSize)
{
    const quint64 unit = std::max<quint64>(blockSize, kNodeSize);
    return roundUp(std::clamp<quint64>(volumeBytes / divisor, 4 * kNodeSize, maximum), unit);
}

std::optional<Layout> planLayout(const Options &options, QString *error)
{
    const quint32 b = options.blockSize;
    if (b < 512 || b > 65536 || (b & (b - 1)) != 0) {
        fail(error, QStringLiteral("The block size must be a power of two from 512 to 65536."));
        return std::nullopt;
    }
    if (options.volumeBytes % b != 0 || options.volumeBytes / b > 0xFFFFFFFFull) {
        fail(error, QStringLiteral("The volume size must be a whole number of blocks, at most 2^32 of them."));
        return std::nullopt;
    }
    if (options.journalBytes < 512 * 1024 || options.journalBytes > (1ull << 30)) {
        fail(error, QStringLiteral("The journal must be from 512 KiB to 1 GiB."));
        return std::nullopt;
    }
    Layout l;
    l.blockSize = b;
    l.totalBlocks = quint32(options.volumeBytes / b);
    l.headBlocks = quint32(roundUp(1536, b) / b);
    l.tailBlocks = quint32(roundUp(1024, b) / b);
    const auto take = [&l](quint64 bytes) {
        const Extent e{l.nextFree, quint32(roundUp(bytes, l.blockSize) / l.blockSize)};
        l.nextFree += e.blocks;
        return e;
    };
    const quint64 v = options.volumeBytes;
    l.nextFree = l.headBlocks;
    l.allocation = take((quint64(l.totalBlocks) + 7) / 8);
    l.journalInfo = take(512);
    l.journal = take(options.journalBytes);
    l.extents = take(treeBytes(v, 1024, 8ull << 20, b));
    l.catalog = take(treeBytes(v, 128, 64ull << 20, b));
    l.attributes = take(treeBytes(v, 1024, 8ull << 20, b));
    // Room for at least as much data as metadata; anything smaller is no use.
    if (quint64(l.usedBlocks()) * 2 > l.totalBlocks) {
        fail(error, QStringLiteral("The volume is too small for its journal and catalog."));
        return std::nullopt;
    }
    return l;
}

QByteArray forkData(const Layout &l, Extent e, quint64 logicalSize)
{
    QByteArray f(80, '\0');
    put64(f, 0, logicalSize);
    put32(f, 8, quint32(l.bytes(e)));
    put32(f, 12, e.blocks);
    put32(f, 16, e.start);
    put32(f, 20, e.blocks);
    return f;
}

struct Name {
    QString text;
    [[nodiscard]] QByteArray uni() const // HFSUniStr255
    {
        QByteArray b(2 + 2 * text.size(), '\0');
        put16(b, 0, quint16(text.size()));
        for (int i = 0; i < text.size(); ++i)
            put16(b, 2 + 2 * i, text.at(i).unicode());
        return b;
    }
};

QByteArray catalogKey(quint32 parentId, const Name &name)
{
    const QByteArray uni = name.uni();
    QByteArray key(6, '\0');
    put16(key, 0, quint16(4 + uni.size()));
    put32(key, 2, parentId);
    return key + uni;
}

QByteArray threadRecord(qint16 type, quint32 parentId, const Name &name)
{
    QByteArray r(8, '\0');
    put16(r, 0, quint16(type));
    put32(r, 4, parentId);
    return r.left(8) + name.uni();
}

QByteArray permissions(quint32 owner, quint32 group, quint16 mode)
{
    QByteArray p(16, '\0');
    put32(p, 0, owner);
    put32(p, 4, group);
    put16(p, 10, mode);
    return p;
}

QByteArray folderRecord(quint32 id, quint32 valence, quint32 now)
{
    QByteArray r(88, '\0');
    put16(r, 0, 1); // kHFSPlusFolderRecord
    put32(r, 4, valence);
    put32(r, 8, id);
    for (int at = 12; at < 28; at += 4) // create, content, attribute, access; never backed up
        put32(r, at, now);
    // root:admin, drwxrwxr-t, as on a Mac's startup volume.
    r.replace(32, 16, permissions(0, 80, 041775));
    return r;
}

QByteArray fileRecord(quint32 id, const QByteArray &dataFork, quint32 now)
{
    QByteArray r(248, '\0');
    put16(r, 0, 2); // kHFSPlusFileRecord
    put32(r, 8, id);
    for (int at = 12; at < 28; at += 4)
        put32(r, at, now);
    r.replace(32, 16, permissions(0, 0, 0100400));
    // Finder info: type 'jrnl', creator 'hfs+', invisible.
    putChars(r, 48, "jrnl");
    putChars(r, 52, "hfs+");
    put16(r, 56, 0x4000);
    r.replace(88, 80, dataFork);
    return r;
}

// A node: descriptor, records, and their offsets from the end backwards.
QByteArray node(qint8 kind, quint8 height, quint32 next, const std::vector<QByteArray> &records)
{
    QByteArray n(kNodeSize, '\0');
    put32(n, 0, next);
    put8(n, 8, quint8(kind));
    put8(n, 9, height);
    put16(n, 10, quint16(records.size()));
    int at = 14;
    for (size_t i = 0; i < records.size(); ++i) {
        put16(n, int(kNodeSize - 2 * (i + 1)), quint16(at));
        n.replace(at, records[i].size(), records[i]);
        at += int(records[i].size());
    }
    put16(n, int(kNodeSize - 2 * (records.size() + 1)), quint16(at));
    return n;
}

struct Tree {
    quint64 bytes = 0;
    quint16 maxKeyLength = 0;
    quint32 attributes = 0; // kBTBigKeysMask 2, kBTVariableIndexKeysMask 4
    std::vector<QByteArray> leafRecords;
};

// The header node (and the one leaf, if any) of a B-tree.
QByteArray treeContents(const Tree &tree)
{
    const quint32 totalNodes = quint32(tree.bytes / kNodeSize);
    const bool hasLeaf = !tree.leafRecords.empty();
    const quint32 used = hasLeaf ? 2 : 1;

    QByteArray header(106, '\0');
    put16(header, 0, hasLeaf ? 1 : 0);             // treeDepth
    put32(header, 2, hasLeaf ? 1 : 0);             // rootNode
    put32(header, 6, quint32(tree.leafRecords.size()));
    put32(header, 10, hasLeaf ? 1 : 0);            // firstLeafNode
    put32(header, 14, hasLeaf ? 1 : 0);            // lastLeafNode
    put16(header, 18, quint16(kNodeSize));
    put16(header, 20, tree.maxKeyLength);
    put32(header, 22, totalNodes);
    put32(header, 26, totalNodes - used);
    put32(header, 32, quint32(tree.bytes));        // clumpSize
    put32(header, 38, tree.attributes);
    QByteArray map(int(kNodeSize) - 14 - 106 - 128 - 8, '\0');
    put8(map, 0, hasLeaf ? 0xC0 : 0x80);
    QByteArray contents = node(1, 0, 0, {header, QByteArray(128, '\0'), map});
    if (hasLeaf)
        contents += node(-1, 1, 0, tree.leafRecords);
    return contents;
}

QByteArray volumeHeader(const Layout &l, quint32 created, quint32 now,
                        const std::array<QByteArray, 4> &forks)
{
    QByteArray h(512, '\0');
    put16(h, 0, 0x482B);                          // 'H+'
    put16(h, 2, 4);
    put32(h, 4, (1u << 8) | (1u << 13));          // unmounted, journaled
    putChars(h, 8, "HFSJ");                       // last mounted by a journaling Mac
    put32(h, 12, l.journalInfo.start);
    put32(h, 16, created);                        // local time, unlike every other date
    put32(h, 20, now);                            // modifyDate
    put32(h, 28, now);                            // checkedDate
    put32(h, 32, 2);                              // fileCount: the journal's two files
    put32(h, 36, 0);                              // folderCount, the root not counted
    put32(h, 40, l.blockSize);
    put32(h, 44, l.totalBlocks);
    put32(h, 48, l.totalBlocks - l.usedBlocks()); // freeBlocks
    put32(h, 52, l.nextFree);
    put32(h, 56, 65536);                          // rsrcClumpSize
    put32(h, 60, 65536);                          // dataClumpSize
    put32(h, 64, kFirstFreeId);
    put32(h, 68, 1);                              // writeCount
    put64(h, 72, 1);                              // encodingsBitmap: MacRoman
    // Finder info words 6 and 7: the volume's unique identifier.
    put64(h, 80 + 24, QRandomGenerator::system()->generate64());
    int at = 112;
    for (const QByteArray &fork : forks) {
        h.replace(at, 80, fork);
        at += 80;
    }
    return h;
}

bool writeAt(QFileDevice &file, quint64 offset, const QByteArray &bytes, QString *error)
{
    if (!file.seek(qint64(offset)) || file.write(bytes) != bytes.size())
        return fail(error, QStringLiteral("Could not write %1: %2").arg(file.fileName(), file.errorString()));
    return true;
}

} // namespace

bool formatVolume(QFileDevice &file, quint64 offset, const Options &options, QString *error)
{
    const std::optional<Layout> planned = planLayout(options, error);
    if (!planned)
        return false;
    const Layout &l = *planned;
    // Names are kept decomposed; a colon is the Mac's path separator.
    const Name volumeName{options.volumeName.normalized(QString::NormalizationForm_D)};
    if (volumeName.text.isEmpty() || volumeName.text.size() > 255 || volumeName.text.contains(QLatin1Char(':'))
        || volumeName.text.contains(QChar(0)))
        return fail(error, QStringLiteral("The volume name must be 1 to 255 characters without a colon."));

    const qint64 nowSeconds = QDateTime::currentSecsSinceEpoch();
    const quint32 now = HfsPlusVolume::hfsDate(nowSeconds);
    const quint32 created =
        HfsPlusVolume::hfsDate(nowSeconds + QDateTime::currentDateTime().offsetFromUtc());

    // The catalog's one leaf, its records in key order: by parent, then name.
    const Name journalInfoName{QStringLiteral(".journal_info_block")};
    const Name journalName{QStringLiteral(".journal")};
    const auto record = [](const QByteArray &key, const QByteArray &data) { return key + data; };
    Tree catalog{l.bytes(l.catalog), 516, 6, {}};
    catalog.leafRecords = {
        record(catalogKey(kRootParentId, volumeName), folderRecord(kRootFolderId, 2, now)),
        record(catalogKey(kRootFolderId, {}), threadRecord(3, kRootParentId, volumeName)),
        record(catalogKey(kRootFolderId, journalName),
               fileRecord(kJournalFileId, forkData(l, l.journal, l.bytes(l.journal)), now)),
        record(catalogKey(kRootFolderId, journalInfoName),
               fileRecord(kJournalInfoFileId, forkData(l, l.journalInfo, l.bytes(l.journalInfo)), now)),
        record(catalogKey(kJournalInfoFileId, {}), threadRecord(4, kRootFolderId, journalInfoName)),
        record(catalogKey(kJournalFileId, {}), threadRecord(4, kRootFolderId, journalName)),
    };
    const Tree extents{l.bytes(l.extents), 10, 2, {}};
    const Tree attributes{l.bytes(l.attributes), 266, 6, {}};

    QByteArray bitmap(int(l.bytes(l.allocation)), '\0');
    const auto markUsed = [&bitmap](quint32 block) { bitmap[block / 8] = char(bitmap[block / 8] | (0x80 >> (block % 8))); };
    for (quint32 block = 0; block < l.nextFree; ++block)
        markUsed(block);
    for (quint32 block = l.totalBlocks - l.tailBlocks; block < l.totalBlocks; ++block)
        markUsed(block);

    QByteArray journalInfo(int(l.bytes(l.journalInfo)), '\0');
    put32(journalInfo, 0, 1); // the journal is in this volume
    put64(journalInfo, 36, l.at(l.journal));
    put64(journalInfo, 44, l.bytes(l.journal));

    // An empty journal, in a PowerPC Mac's byte order.
    QByteArray journalHeader(int(l.blockSize), '\0');
    put32(journalHeader, 0, 0x4A4E4C78);
    put32(journalHeader, 4, 0x12345678);
    put64(journalHeader, 8, kJournalHeaderSize);
    put64(journalHeader, 16, kJournalHeaderSize);
    put64(journalHeader, 24, l.bytes(l.journal));
    put32(journalHeader, 32, kBlockListHeaderSize);
    put32(journalHeader, 40, kJournalHeaderSize);
    put32(journalHeader, 36, HfsPlusVolume::journalHeaderChecksum(journalHeader));

    const QByteArray header = volumeHeader(
        l, created, now,
        {forkData(l, l.allocation, l.bytes(l.allocation)), forkData(l, l.extents, extents.bytes),
         forkData(l, l.catalog, catalog.bytes), forkData(l, l.attributes, attributes.bytes)});

    const auto padded = [](QByteArray bytes, quint64 size) {
        bytes.resize(qsizetype(size), '\0');
        return bytes;
    };
    const quint64 volumeEnd = offset + options.volumeBytes;
    if (quint64(file.size()) < volumeEnd && !file.resize(qint64(volumeEnd)))
        return fail(error, QStringLiteral("Could not make %1 large enough: %2").arg(file.fileName(), file.errorString()));
    return writeAt(file, offset, padded(QByteArray(1024, '\0') + header, l.headBlocks * quint64(l.blockSize)), error)
           && writeAt(file, offset + l.at(l.allocation), bitmap, error)
           && writeAt(file, offset + l.at(l.journalInfo), journalInfo, error)
           && writeAt(file, offset + l.at(l.journal), journalHeader, error)
           && writeAt(file, offset + l.at(l.extents), padded(treeContents(extents), extents.bytes), error)
           && writeAt(file, offset + l.at(l.catalog), padded(treeContents(catalog), catalog.bytes), error)
           && writeAt(file, offset + l.at(l.attributes), padded(treeContents(attributes), attributes.bytes), error)
           && writeAt(file, volumeEnd - quint64(l.tailBlocks) * l.blockSize,
                      padded(QByteArray(l.tailBlocks * qsizetype(l.blockSize) - 1024, '\0') + header, l.tailBlocks * quint64(l.blockSize)),
                      error);
}

bool writeApmImage(const QString &path, const Options &options, QString *error)
{
    if (options.volumeBytes % kApmBlock != 0 || options.volumeBytes / kApmBlock > 0xFFFFFFFFull - 64)
        return fail(error, QStringLiteral("The volume does not fit an Apple partition map."));
    const quint32 partitionBlocks = quint32(options.volumeBytes / kApmBlock);
    const quint32 diskBlocks = 1 + kApmMapBlocks + partitionBlocks;

    QByteArray ddm(kApmBlock, '\0');
    putChars(ddm, 0, "ER");
    put16(ddm, 2, kApmBlock);
    put32(ddm, 4, diskBlocks);
    const auto entry = [](quint32 start, quint32 blocks, const char *name, const char *type, quint32 status) {
        QByteArray e(kApmBlock, '\0');
        putChars(e, 0, "PM");
        put32(e, 4, 2); // entries in the map
        put32(e, 8, start);
        put32(e, 12, blocks);
        putChars(e, 16, name);
        putChars(e, 48, type);
        put32(e, 84, blocks); // pmDataCnt: all of it holds data
        put32(e, 88, status);
        return e;
    };
    // Valid, allocated, and for the volume also in use, readable, writable.
    const QByteArray map = entry(1, kApmMapBlocks, "Apple", "Apple_partition_map", 0x3)
                           + entry(1 + kApmMapBlocks, partitionBlocks, "Apple_HFS_Untitled_1", "Apple_HFS", 0x40000033);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(error, QStringLiteral("Could not create %1: %2").arg(path, file.errorString()));
    bool ok = file.resize(qint64(diskBlocks) * kApmBlock)
              || fail(error, QStringLiteral("Could not make %1 large enough: %2").arg(path, file.errorString()));
    ok = ok && writeAt(file, 0, ddm + map, error) && formatVolume(file, kApmPartitionOffset, options, error);
    if (ok && (!file.flush() || file.error() != QFileDevice::NoError))
        ok = fail(error, QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
    if (!ok) {
        file.close();
        file.remove();
        return false;
    }
    file.close();
    return true;
}

HfsPlusVolume::Info inspectApmImage(const QString &path)
{
    QFile file(path);
    const auto readAt = [&file](quint64 offset, quint32 length) -> std::optional<QByteArray> {
        if (!file.seek(qint64(offset)))
            return std::nullopt;
        QByteArray bytes = file.read(length);
        if (bytes.size() != qsizetype(length))
            return std::nullopt;
        return bytes;
    };
    HfsPlusVolume::Info none;
    if (!file.open(QIODevice::ReadOnly)) {
        none.reason = QStringLiteral("The image could not be opened.");
        return none;
    }
    const std::optional<QByteArray> ddm = readAt(0, kApmBlock);
    if (!ddm || !ddm->startsWith("ER")) {
        none.reason = QStringLiteral("The image has no Apple partition map.");
        return none;
    }
    // The first Apple_HFS partition of the map.
    const std::optional<QByteArray> first = readAt(kApmBlock, kApmBlock);
    const quint32 entries = first && first->startsWith("PM") ? qFromBigEndian<quint32>(first->constData() + 4) : 0;
    for (quint32 i = 1; i <= std::min<quint32>(entries, kApmMapBlocks); ++i) {
        const std::optional<QByteArray> e = readAt(quint64(i) * kApmBlock, kApmBlock);
        if (!e || !e->startsWith("PM"))
            break;
        if (qstrncmp(e->constData() + 48, "Apple_HFS", 32) != 0)
            continue;
        const quint64 start = quint64(qFromBigEndian<quint32>(e->constData() + 8)) * kApmBlock;
        const quint64 length = quint64(qFromBigEndian<quint32>(e->constData() + 12)) * kApmBlock;
        return HfsPlusVolume::inspect([&](quint64 offset, quint32 n) -> std::optional<QByteArray> {
            if (offset > length || n > length - offset)
                return std::nullopt;
            return readAt(start + offset, n);
        });
    }
    none.reason = QStringLiteral("The image's partition map has no Apple_HFS partition.");
    return none;
}

} // namespace HfsPlusFormat
