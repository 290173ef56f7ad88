// The formatter, judged by the journal check and by 7-Zip (an independent
// reader of HFS+ in Apple partition maps), without a virtual machine. The
// faults it would catch: a volume a Mac or Linux would refuse (no copy of
// the header where the kernel looks, a partition of the wrong size), a
// journal that would not read as empty, metadata written at the wrong place
// or not at all over old contents, and options accepted that cannot work.

#include "tools/HfsPlusFormat.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAll());
    return result;
}

QByteArray readAt(const QString &path, qint64 offset, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    return file.read(length);
}

// 7-Zip's listing of an image, or why there is none.
Run list(const QString &image)
{
    const QString sevenZip = QStandardPaths::findExecutable(QStringLiteral("7zz"));
    if (sevenZip.isEmpty())
        return {-2, QStringLiteral("7zz not found (Debian package 7zip)")};
    return run(sevenZip, {QStringLiteral("l"), image});
}

} // namespace

class TestHfsPlusFormat : public QObject {
    Q_OBJECT
private slots:
    void image_data()
    {
        QTest::addColumn<quint64>("volumeMiB");
        QTest::addColumn<quint32>("blockSize");
        QTest::addColumn<quint64>("journalMiB");
        QTest::addColumn<QString>("name");
        QTest::newRow("defaults") << quint64(512) << 4096u << quint64(8) << QStringLiteral("Macintosh HD");
        QTest::newRow("512-byte blocks") << quint64(64) << 512u << quint64(1) << QStringLiteral("Macintosh HD");
        QTest::newRow("64 KiB blocks") << quint64(256) << 65536u << quint64(8) << QStringLiteral("Macintosh HD");
        QTest::newRow("accented name") << quint64(32) << 4096u << quint64(1) << QStringLiteral("Disque de Zoé");
        QTest::newRow("a bitmap of several blocks")
            << quint64(2048) << 4096u << quint64(16) << QStringLiteral("Big");
    }

    void image()
    {
        QFETCH(quint64, volumeMiB);
        QFETCH(quint32, blockSize);
        QFETCH(quint64, journalMiB);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("disk.img"));
        HfsPlusFormat::Options options;
        options.volumeBytes = volumeMiB << 20;
        options.blockSize = blockSize;
        options.journalBytes = journalMiB << 20;
        options.volumeName = name;
        QString error;
        QVERIFY2(HfsPlusFormat::writeApmImage(path, options, &error), qPrintable(error));

        const HfsPlusVolume::Info info = HfsPlusFormat::inspectApmImage(path);
        QVERIFY2(info.state == HfsPlusVolume::State::CleanJournaled, qPrintable(info.reason));
        QCOMPARE(info.blockSize, blockSize);
        QCOMPARE(info.totalBlocks * blockSize, volumeMiB << 20);
        QCOMPARE(info.journalSize, journalMiB << 20);
        QCOMPARE(info.lastMountedVersion, QByteArray("HFSJ"));

        // The partition map as Linux reads it: the driver descriptor, then
        // the map's entries from block 1, the volume in the second, exactly
        // as long as the volume so that the kernel finds the copy of the
        // header 1024 bytes before the partition's end.
        const QByteArray ddm = readAt(path, 0, 512);
        QCOMPARE(ddm.left(2), QByteArray("ER"));
        QCOMPARE(qFromBigEndian<quint16>(ddm.constData() + 2), quint16(512));
        const QByteArray entry = readAt(path, 2 * 512, 512);
        QCOMPARE(entry.left(2), QByteArray("PM"));
        QCOMPARE(QByteArray(entry.constData() + 48), QByteArray("Apple_HFS"));
        const quint64 start = quint64(qFromBigEndian<quint32>(entry.constData() + 8)) * 512;
        const quint64 length = quint64(qFromBigEndian<quint32>(entry.constData() + 12)) * 512;
        QCOMPARE(start, HfsPlusFormat::kApmPartitionOffset);
        QCOMPARE(length, volumeMiB << 20);
        QCOMPARE(quint64(QFileInfo(path).size()), start + length);
        QCOMPARE(quint64(qFromBigEndian<quint32>(ddm.constData() + 4)) * 512, start + length);
        const QByteArray header = readAt(path, qint64(start) + 1024, 512);
        QCOMPARE(header.left(2), QByteArray("H+"));
        QCOMPARE(readAt(path, qint64(start + length) - 1024, 512), header);

        const Run listing = list(path);
        if (listing.exitCode == -2)
            QSKIP(qPrintable(listing.out));
        QVERIFY2(listing.exitCode == 0, qPrintable(listing.out));
        QVERIFY2(listing.out.contains(QLatin1String("Type = HFS")), qPrintable(listing.out));
        QVERIFY2(!listing.out.contains(QLatin1String("ERROR"), Qt::CaseInsensitive)
                     && !listing.out.contains(QLatin1String("WARNING"), Qt::CaseInsensitive),
                 qPrintable(listing.out));
        // The journal's two files, hidden from the Finder, in the root folder.
        const QString stored = name.normalized(QString::NormalizationForm_D);
        const QString shown = listing.out.contains(stored) ? stored : name;
        QVERIFY2(listing.out.contains(shown + QLatin1String("/.journal\n"))
                     && listing.out.contains(shown + QLatin1String("/.journal_info_block\n")),
                 qPrintable(listing.out));
        QVERIFY2(listing.out.contains(QLatin1String("2 files, 1 folders")), qPrintable(listing.out));
    }

    void refused_data()
    {
        QTest::addColumn<quint64>("volumeBytes");
        QTest::addColumn<quint32>("blockSize");
        QTest::addColumn<quint64>("journalBytes");
        QTest::addColumn<QString>("name");
        const quint64 mib = 1 << 20;
        QTest::newRow("not whole blocks") << 64 * mib + 512 << 4096u << 8 * mib << QStringLiteral("Mac");
        QTest::newRow("block size not a power of two") << 60 * mib << 3072u << 8 * mib << QStringLiteral("Mac");
        QTest::newRow("block size too small") << 64 * mib << 256u << 8 * mib << QStringLiteral("Mac");
        QTest::newRow("too small for its journal") << 8 * mib << 4096u << 8 * mib << QStringLiteral("Mac");
        QTest::newRow("journal too small") << 64 * mib << 4096u << 4096ull << QStringLiteral("Mac");
        QTest::newRow("more than 2^32 blocks") << (quint64(1) << 41) << 512u << 8 * mib << QStringLiteral("Mac");
        QTest::newRow("empty name") << 64 * mib << 4096u << 8 * mib << QString();
        QTest::newRow("colon in the name") << 64 * mib << 4096u << 8 * mib << QStringLiteral("Mac:HD");
        QTest::newRow("name too long") << 64 * mib << 4096u << 8 * mib << QString(256, QLatin1Char('x'));
    }

    void refused()
    {
        QFETCH(quint64, volumeBytes);
        QFETCH(quint32, blockSize);
        QFETCH(quint64, journalBytes);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("disk.img"));
        HfsPlusFormat::Options options{volumeBytes, name, blockSize, journalBytes};
        QString error;
        QVERIFY(!HfsPlusFormat::writeApmImage(path, options, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY2(!QFile::exists(path), "a refused image is left behind");
    }

    // Formatting over old contents, in the middle of a larger file: the
    // bytes around the volume stay, and nothing of the old contents shows
    // through in the volume.
    void overOldContents()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("disk.bin"));
        const qint64 before = 3 << 20;
        const qint64 volume = 16 << 20;
        const qint64 after = 1 << 20;
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(QByteArray(before + volume + after, char(0xA5))), before + volume + after);
        }
        HfsPlusFormat::Options options;
        options.volumeBytes = quint64(volume);
        options.journalBytes = 1 << 20;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QString error;
        QVERIFY2(HfsPlusFormat::formatVolume(file, quint64(before), options, &error), qPrintable(error));
        file.close();
        QCOMPARE(QFileInfo(path).size(), before + volume + after);
        QCOMPARE(readAt(path, 0, before), QByteArray(before, char(0xA5)));
        QCOMPARE(readAt(path, before + volume, after), QByteArray(after, char(0xA5)));

        const QString alone = dir.filePath(QStringLiteral("volume.bin"));
        QFile out(alone);
        QVERIFY(out.open(QIODevice::WriteOnly));
        const QByteArray bytes = readAt(path, before, volume);
        QCOMPARE(out.write(bytes), volume);
        out.close();
        const HfsPlusVolume::Info info = HfsPlusVolume::inspect([&](quint64 offset, quint32 length) {
            return offset + length <= quint64(bytes.size()) ? std::optional(bytes.mid(qsizetype(offset), length))
                                                            : std::nullopt;
        });
        QVERIFY2(info.state == HfsPlusVolume::State::CleanJournaled, qPrintable(info.reason));

        const Run listing = list(alone);
        if (listing.exitCode == -2)
            QSKIP(qPrintable(listing.out));
        QVERIFY2(listing.exitCode == 0, qPrintable(listing.out));
        QVERIFY2(listing.out.contains(QLatin1String("2 files, 1 folders")), qPrintable(listing.out));
        QVERIFY2(!listing.out.contains(QLatin1String("ERROR"), Qt::CaseInsensitive), qPrintable(listing.out));
    }

    // The image subcommand refuses what it cannot do before it writes
    // anything or starts a virtual machine.
    void imageArguments_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("unknown format") << QStringList{QStringLiteral("--format"), QStringLiteral("vmdk")};
        QTest::newRow("size not a number") << QStringList{QStringLiteral("--size"), QStringLiteral("big")};
        QTest::newRow("size zero") << QStringList{QStringLiteral("--size"), QStringLiteral("0")};
        QTest::newRow("size without a value") << QStringList{QStringLiteral("--size")};
        QTest::newRow("two releases") << QStringList{QStringLiteral("10.4.11"), QStringLiteral("10.3.9")};
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast")};
    }

    void imageArguments()
    {
        QFETCH(QStringList, extra);
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("disk.img"));
        const Run result = run(qEnvironmentVariable("LUMORA_BIN_DIR") + QStringLiteral("/lumora-sample-volume"),
                               QStringList{QStringLiteral("image"), image, dir.path()} + extra);
        QCOMPARE(result.exitCode, 64);
        QVERIFY2(result.out.contains(QLatin1String("usage:")), qPrintable(result.out));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestHfsPlusFormat)
#include "tst_hfsplusformat.moc"
