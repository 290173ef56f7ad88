// The journal check on partitions laid out here byte by byte: each case is a
// state a Mac's volume can really be left in, or a header that lies about
// where things are. A wrong answer either lets a write be replayed over by
// the Mac's journal, or sends reads far outside the volume.

#include "platform/HfsPlusVolume.h"

#include <QTest>
#include <QtEndian>

using HfsPlusVolume::State;

namespace {

void put16(QByteArray &b, quint64 at, quint16 v) { qToBigEndian(v, b.data() + at); }
void put32(QByteArray &b, quint64 at, quint32 v) { qToBigEndian(v, b.data() + at); }
void put64(QByteArray &b, quint64 at, quint64 v) { qToBigEndian(v, b.data() + at); }

// A journaled volume of 64 blocks of 4096 bytes: volume header at 1024, the
// journal info block in block 1, a 32 KiB journal from block 2.
struct Partition {
    quint32 blockSize = 4096;
    quint32 totalBlocks = 64;
    quint16 signature = 0x482B; // 'H+'
    quint16 version = 4;
    quint32 attributes = (1u << 8) | (1u << 13); // unmounted, journaled
    quint32 journalInfoBlock = 1;
    quint32 journalFlags = 1; // in this volume
    quint64 journalOffset = 2 * 4096;
    quint64 journalSize = 8 * 4096;
    quint32 magic = 0x4A4E4C78; // 'JNLx'
    quint64 start = 512;
    quint64 end = 512;
    quint64 ringSize = 8 * 4096;
    bool littleEndian = false;
    bool spoilChecksum = false;
    quint64 wrapperOffset = 0; // non-zero: inside an HFS wrapper, from this byte

    QByteArray journalHeader() const
    {
        QByteArray h(44, '\0');
        const auto u32 = [&](int at, quint32 v) {
            littleEndian ? qToLittleEndian(v, h.data() + at) : qToBigEndian(v, h.data() + at);
        };
        const auto u64 = [&](int at, quint64 v) {
            littleEndian ? qToLittleEndian(v, h.data() + at) : qToBigEndian(v, h.data() + at);
        };
        u32(0, magic);
        u32(4, 0x12345678);
        u64(8, start);
        u64(16, end);
        u64(24, ringSize);
        u32(32, 4096); // block list header size
        u32(40, 512);  // journal header size
        // The journal's own checksum, over the header with its checksum field zero.
        quint32 sum = 0;
        for (char c : std::as_const(h))
            sum = (sum << 8) ^ (sum + quint8(c));
        u32(36, spoilChecksum ? ~sum + 1 : ~sum);
        return h;
    }

    QByteArray bytes() const
    {
        QByteArray v(qsizetype(blockSize) * totalBlocks, '\0');
        put16(v, 1024, signature);
        put16(v, 1026, version);
        put32(v, 1028, attributes);
        v.replace(1032, 4, "HFSJ");
        put32(v, 1036, journalInfoBlock);
        put32(v, 1064, blockSize);
        put32(v, 1068, totalBlocks);
        const quint64 jib = quint64(journalInfoBlock) * blockSize;
        if (jib + 180 <= quint64(v.size())) {
            put32(v, jib, journalFlags);
            put64(v, jib + 36, journalOffset);
            put64(v, jib + 44, journalSize);
        }
        if (journalOffset + 44 <= quint64(v.size()))
            v.replace(qsizetype(journalOffset), 44, journalHeader());
        if (!wrapperOffset)
            return v;
        // A classic volume of 512-byte blocks from sector 16 whose embedded
        // extent starts at its block wrapperOffset / 512 - 16.
        QByteArray wrapped(qsizetype(wrapperOffset), '\0');
        put16(wrapped, 1024, 0x4244);                            // 'BD'
        put32(wrapped, 1024 + 0x14, 512);                       // drAlBlkSiz
        put16(wrapped, 1024 + 0x1C, 16);                        // drAlBlSt
        put16(wrapped, 1024 + 0x7C, 0x482B);                    // drEmbedSigWord
        put16(wrapped, 1024 + 0x7E, quint16(wrapperOffset / 512 - 16));
        put16(wrapped, 1024 + 0x80, quint16(v.size() / 512));
        return wrapped + v;
    }
};

struct Reads {
    quint64 furthest = 0;
};

HfsPlusVolume::Info inspectBytes(const QByteArray &partition, Reads *reads)
{
    return HfsPlusVolume::inspect([&](quint64 offset, quint32 length) -> std::optional<QByteArray> {
        reads->furthest = std::max(reads->furthest, offset + length);
        if (offset > quint64(partition.size()) || length > partition.size() - offset)
            return std::nullopt;
        return partition.mid(qsizetype(offset), length);
    });
}

} // namespace

class TestHfsPlusVolume : public QObject {
    Q_OBJECT
private slots:
    void states_data()
    {
        QTest::addColumn<QByteArray>("partition");
        QTest::addColumn<State>("state");
        QTest::addColumn<QString>("reason");
        // What the partition really spans, even where it reads short.
        QTest::addColumn<qsizetype>("span");

        const auto row = [](const char *name, const Partition &p, State state, const QString &reason = {}) {
            const QByteArray bytes = p.bytes();
            QTest::newRow(name) << bytes << state << reason << bytes.size();
        };
        Partition p;
        row("clean, journaled, empty journal", p, State::CleanJournaled);

        p = {};
        p.attributes = 1u << 8;
        p.journalInfoBlock = 0;
        row("clean, not journaled", p, State::Clean);

        p = {};
        p.signature = 0x4858; // 'HX'
        p.version = 5;
        row("case-sensitive HFSX", p, State::CleanJournaled);

        p = {};
        p.attributes = 1u << 13;
        row("unmounted bit clear", p, State::NotUnmountedCleanly, QStringLiteral("not unmounted cleanly"));

        p = {};
        p.attributes |= 1u << 11;
        row("marked inconsistent", p, State::NotUnmountedCleanly, QStringLiteral("inconsistent"));

        p = {};
        p.end = 4096;
        row("journal start != end", p, State::JournalPending, QStringLiteral("not written yet"));

        p = {};
        p.start = 8192;
        p.end = 1024;
        row("journal wrapped around", p, State::JournalPending, QStringLiteral("not written yet"));

        p = {};
        p.attributes = 1u << 13;
        p.end = 4096;
        row("crashed with a pending journal", p, State::JournalPending, QStringLiteral("not written yet"));

        p = {};
        p.littleEndian = true;
        row("swapped-endian journal, empty", p, State::CleanJournaled);

        p = {};
        p.littleEndian = true;
        p.end = 4096;
        row("swapped-endian journal, pending", p, State::JournalPending, QStringLiteral("not written yet"));

        p = {};
        p.journalOffset = 64 * 4096;
        row("journal offset past the end", p, State::Damaged, QStringLiteral("outside the volume"));

        p = {};
        p.journalSize = ~quint64(0) - 4096;
        row("journal size wrapping around", p, State::Damaged, QStringLiteral("outside the volume"));

        p = {};
        p.journalInfoBlock = 64;
        row("journal info block past the end", p, State::Damaged, QStringLiteral("outside the volume"));

        p = {};
        p.journalFlags = 2;
        row("journal on another device", p, State::Damaged, QStringLiteral("another disk"));

        p = {};
        p.journalFlags = 0;
        row("journaled without a journal", p, State::Damaged, QStringLiteral("names no journal"));

        p = {};
        p.journalFlags = 1 | 4;
        p.magic = 0;
        p.end = 4096;
        row("journal still to be initialised", p, State::CleanJournaled);

        p = {};
        p.magic = 0x4A4E4C79;
        row("bad journal magic", p, State::Damaged, QStringLiteral("journal header is damaged"));

        p = {};
        p.spoilChecksum = true;
        row("bad journal checksum", p, State::Damaged, QStringLiteral("checksum"));

        p = {};
        p.end = 8 * 4096;
        row("journal end past the ring", p, State::Damaged, QStringLiteral("journal header is damaged"));

        p = {};
        p.ringSize = 16 * 4096;
        p.end = 12 * 4096;
        row("ring larger than the journal", p, State::Damaged, QStringLiteral("journal header is damaged"));

        p = {};
        p.blockSize = 3072;
        row("block size not a power of two", p, State::Damaged, QStringLiteral("impossible size"));

        p = {};
        p.version = 5;
        row("H+ with the HFSX version", p, State::Damaged, QStringLiteral("version"));

        p = {};
        p.signature = 0x0000;
        row("not HFS+", p, State::NotHfsPlus, QStringLiteral("no HFS+ volume"));

        p = {};
        p.signature = 0x4244;
        row("plain HFS", p, State::NotHfsPlus, QStringLiteral("Mac OS Standard"));

        p = {};
        p.wrapperOffset = 16 * 512 + 4 * 512;
        row("inside an HFS wrapper", p, State::CleanJournaled);

        p = {};
        p.wrapperOffset = 16 * 512 + 4 * 512;
        p.end = 4096;
        row("inside an HFS wrapper, pending", p, State::JournalPending, QStringLiteral("not written yet"));

        QTest::newRow("empty partition") << Partition{}.bytes().left(1000) << State::NotHfsPlus
                                         << QStringLiteral("could not be read") << qsizetype(1024 + 512);
        QTest::newRow("truncated before the journal") << Partition{}.bytes().left(2 * 4096 + 20) << State::Damaged
                                                      << QStringLiteral("could not be read") << Partition{}.bytes().size();
    }

    void states()
    {
        QFETCH(QByteArray, partition);
        QFETCH(State, state);
        QFETCH(QString, reason);
        QFETCH(qsizetype, span);

        Reads reads;
        const HfsPlusVolume::Info info = inspectBytes(partition, &reads);
        QCOMPARE(HfsPlusVolume::stateName(info.state), HfsPlusVolume::stateName(state));
        if (reason.isEmpty()) {
            QVERIFY2(info.reason.isEmpty(), qPrintable(info.reason));
            QVERIFY(info.safeToWrite());
        } else {
            QVERIFY2(info.reason.contains(reason, Qt::CaseInsensitive), qPrintable(info.reason));
            QVERIFY(info.reason.endsWith(QLatin1Char('.')));
            QVERIFY(!info.safeToWrite());
        }
        // Whatever the headers say, nothing past the partition is asked for.
        QVERIFY2(reads.furthest <= quint64(span),
                 qPrintable(QString::number(reads.furthest)));
    }

    // What the check reports besides the state, for the engineer's log.
    void fields()
    {
        Partition p;
        p.wrapperOffset = 16 * 512 + 4 * 512;
        p.end = 4096;
        Reads reads;
        const HfsPlusVolume::Info info = inspectBytes(p.bytes(), &reads);
        QCOMPARE(info.volumeOffset, quint64(20 * 512));
        QCOMPARE(info.blockSize, 4096u);
        QCOMPARE(info.totalBlocks, quint64(64));
        QVERIFY(info.journaled);
        QCOMPARE(info.lastMountedVersion, QByteArray("HFSJ"));
        QCOMPARE(info.journalOffset, quint64(2 * 4096));
        QCOMPARE(info.journalSize, quint64(8 * 4096));
        QCOMPARE(info.journalStart, quint64(512));
        QCOMPARE(info.journalEnd, quint64(4096));
    }
};

QTEST_GUILESS_MAIN(TestHfsPlusVolume)
#include "tst_hfsplusvolume.moc"
