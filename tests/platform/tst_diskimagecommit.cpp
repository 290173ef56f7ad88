// A save's blocks go into a disk image whole or not at all: the image is
// compared with QEMU's own view of the overlay, and the commit is killed at
// each of its steps (strace injects SIGKILL at the system call) to see that
// what is left is always the old image or the new one.

#include "platform/DiskImageCommit.h"

#include "tests/fakes/FileBytes.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 kImageSize = 8 << 20;

QString helper()
{
    return qEnvironmentVariable("LUMORA_BIN_DIR") + QStringLiteral("/lumora-image");
}

struct Ran {
    int code = -1;
    bool crashed = false;
    QString err;
};

Ran run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    return {process.exitCode(), process.exitStatus() == QProcess::CrashExit,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// The virtual disk's bytes, whatever the file's format.
QByteArray diskDigest(const QString &path, const QString &format, const QString &scratch)
{
    if (format == QLatin1String("raw"))
        return fileDigest(path);
    QFile::remove(scratch);
    if (run(QStringLiteral("qemu-img"), {QStringLiteral("convert"), QStringLiteral("-f"), format, QStringLiteral("-O"),
                                          QStringLiteral("raw"), path, scratch})
            .code
        != 0)
        return {};
    return fileDigest(scratch);
}

} // namespace

class DiskImageCommitTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // An image of random bytes in `format`, an overlay on it with writes
    // as a virtual machine would make them, and both states' digests.
    struct Case {
        QString image, overlay;
        QByteArray before, after;
    };
    Case makeCase(const QString &format, const QStringList &writes)
    {
        Case made;
        const QString raw = path(QStringLiteral("source.raw"));
        QFile file(raw);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QByteArray bytes(kImageSize, Qt::Uninitialized);
        QRandomGenerator generator(7);
        generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        file.write(bytes);
        file.close();
        made.image = path(QStringLiteral("disk.") + format);
        made.overlay = path(QStringLiteral("overlay.qcow2"));
        QFile::remove(made.image);
        QFile::remove(made.overlay);
        if (format == QLatin1String("raw"))
            QFile::copy(raw, made.image);
        else
            run(QStringLiteral("qemu-img"), {QStringLiteral("convert"), QStringLiteral("-O"), format, raw, made.image});
        run(QStringLiteral("qemu-img"), {QStringLiteral("create"), QStringLiteral("-q"), QStringLiteral("-f"),
                                         QStringLiteral("qcow2"), QStringLiteral("-F"), format, QStringLiteral("-b"),
                                         made.image, made.overlay});
        QStringList io{QStringLiteral("-f"), QStringLiteral("qcow2")};
        for (const QString &write : writes)
            io << QStringLiteral("-c") << write;
        io << made.overlay;
        const Ran wrote = run(QStringLiteral("qemu-io"), io);
        if (wrote.code != 0)
            qWarning("qemu-io: %s", qPrintable(wrote.err));
        made.before = diskDigest(made.image, format, path(QStringLiteral("scratch.raw")));
        made.after = diskDigest(made.overlay, QStringLiteral("qcow2"), path(QStringLiteral("scratch.raw")));
        return made;
    }

    const QStringList m_writes{QStringLiteral("write -P 0xab 65536 4096"), QStringLiteral("write -z 1M 128k"),
                               QStringLiteral("write -P 0x11 3M 2M"), QStringLiteral("write -P 0x22 8384512 512")};

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char *program : {"qemu-img", "qemu-io", "strace"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(program)).isEmpty(), program);
    }

    void commitGivesExactlyTheOverlaysDisk_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("raw") << QStringLiteral("raw");
        QTest::newRow("qcow2") << QStringLiteral("qcow2");
    }
    void commitGivesExactlyTheOverlaysDisk()
    {
        QFETCH(QString, format);
        const Case made = makeCase(format, m_writes);
        QVERIFY(made.before != made.after);
        const Ran committed = run(helper(), {QStringLiteral("commit"), made.image, format, made.overlay});
        QVERIFY2(committed.code == 0, qPrintable(committed.err));
        QCOMPARE(diskDigest(made.image, format, path(QStringLiteral("scratch.raw"))), made.after);
        // Nothing of the commit is left beside the image.
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral(".disk.*")}, QDir::Hidden | QDir::Files), QStringList());
    }

    void anOverlayWithoutChangesLeavesTheImageAlone()
    {
        const Case made = makeCase(QStringLiteral("raw"), {});
        const QDateTime modified = QFileInfo(made.image).lastModified();
        QVERIFY(run(helper(), {QStringLiteral("commit"), made.image, QStringLiteral("raw"), made.overlay}).code == 0);
        QCOMPARE(fileDigest(made.image), made.before);
        QCOMPARE(QFileInfo(made.image).lastModified(), modified);
    }

    // Each row kills the commit at one system call; what is left after the
    // next open's recovery must be one of the two states, and for these
    // points, which one is known.
    void killedAtAnyStepLeavesOldOrNew_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("syscall");
        QTest::addColumn<QString>("pathSuffix"); // the file the call must touch
        QTest::addColumn<int>("when");
        QTest::addColumn<bool>("expectNew");
        QTest::newRow("writing the undo file") << "raw" << "pwrite64" << ".lumora-undo.partial" << 2 << false;
        QTest::newRow("syncing the undo file") << "raw" << "fsync" << ".lumora-undo.partial" << 1 << false;
        QTest::newRow("naming the undo file") << "raw" << "rename" << ".lumora-undo.partial" << 1 << false;
        QTest::newRow("first new block") << "raw" << "pwrite64" << "" << 1 << false;
        QTest::newRow("between new blocks") << "raw" << "pwrite64" << "" << 3 << false;
        QTest::newRow("syncing the image") << "raw" << "fsync" << "" << 1 << false;
        QTest::newRow("removing the undo file") << "raw" << "unlink" << ".lumora-undo" << 1 << false;
        QTest::newRow("qcow2: copying") << "qcow2" << "pwrite64" << ".lumora-new" << 2 << false;
        QTest::newRow("qcow2: replacing") << "qcow2" << "rename" << ".lumora-new" << 1 << false;
    }
    void killedAtAnyStepLeavesOldOrNew()
    {
        QFETCH(QString, format);
        QFETCH(QString, syscall);
        QFETCH(QString, pathSuffix);
        QFETCH(int, when);
        QFETCH(bool, expectNew);
        const Case made = makeCase(format, m_writes);
        const QString target = pathSuffix.isEmpty()
                                   ? made.image
                                   : path(QStringLiteral(".disk.%1%2").arg(format, pathSuffix));
        const Ran killed = run(QStringLiteral("strace"),
                               {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                QStringLiteral("-P"), target, QStringLiteral("-e"), QStringLiteral("trace=") + syscall,
                                QStringLiteral("-e"),
                                QStringLiteral("inject=%1:signal=SIGKILL:when=%2").arg(syscall).arg(when), helper(),
                                QStringLiteral("commit"), made.image, format, made.overlay});
        // strace reports the traced program's death by SIGKILL as its own.
        QVERIFY2(killed.crashed || killed.code != 0, "the commit was never stopped: the injection missed");

        const Ran recovered = run(helper(), {QStringLiteral("recover"), made.image});
        QVERIFY2(recovered.code == 0, qPrintable(recovered.err));
        const QByteArray now = diskDigest(made.image, format, path(QStringLiteral("scratch.raw")));
        QVERIFY2(now == made.before || now == made.after, "the image is neither the old one nor the new one");
        QCOMPARE(now, expectNew ? made.after : made.before);
        QVERIFY(!QFileInfo::exists(DiskImageCommit::undoPath(made.image)));
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral(".disk.*")}, QDir::Hidden | QDir::Files), QStringList());
        // And a commit after it all lands whole.
        QVERIFY(run(helper(), {QStringLiteral("commit"), made.image, format, made.overlay}).code == 0);
        QCOMPARE(diskDigest(made.image, format, path(QStringLiteral("scratch.raw"))), made.after);
    }

    // An undo file that does not check out is never applied nor removed.
    void aDamagedUndoFileIsKeptAndRefused()
    {
        const Case made = makeCase(QStringLiteral("raw"), m_writes);
        const QString undo = DiskImageCommit::undoPath(made.image);
        run(QStringLiteral("strace"), {QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                       QStringLiteral("-P"), made.image, QStringLiteral("-e"), QStringLiteral("trace=pwrite64"),
                                       QStringLiteral("-e"), QStringLiteral("inject=pwrite64:signal=SIGKILL:when=2"),
                                       helper(), QStringLiteral("commit"), made.image, QStringLiteral("raw"), made.overlay});
        QVERIFY(QFileInfo::exists(undo));
        QFile file(undo);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(100);
        const char flipped = static_cast<char>(file.peek(1).at(0) ^ 0xff);
        file.write(&flipped, 1);
        file.close();
        const QByteArray damaged = fileDigest(made.image);

        const Ran refused = run(helper(), {QStringLiteral("recover"), made.image});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.contains(QLatin1String("checksum")), qPrintable(refused.err));
        QVERIFY(QFileInfo::exists(undo));
        QCOMPARE(fileDigest(made.image), damaged);
    }

    void formatIsJudgedByContent_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("koly");
        QTest::addColumn<QString>("format");
        QByteArray apm(2048, '\0');
        apm[0] = 'E';
        apm[1] = 'R';
        apm[512] = 'P';
        apm[513] = 'M';
        QTest::newRow("qcow2 header") << QByteArray("QFI\xfb\0\0\0\3", 8) << false << "qcow2";
        QTest::newRow("partition map") << apm << false << "raw";
        QTest::newRow("read-write dmg: a partition map and a trailer") << apm << true << "raw";
        QTest::newRow("compressed dmg") << QByteArray(2048, 'x') << true << "dmg";
        QTest::newRow("blank disk") << QByteArray(2048, '\0') << false << "raw";
    }
    void formatIsJudgedByContent()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, koly);
        QFETCH(QString, format);
        QFile file(path(QStringLiteral("probe.dmg")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(head);
        file.write(QByteArray(65536, '\0'));
        if (koly)
            file.write(QByteArray("koly") + QByteArray(508, '\0'));
        file.close();
        QString error;
        const auto detected = DiskImageCommit::detectFormat(file.fileName(), &error);
        QVERIFY2(detected, qPrintable(error));
        QCOMPARE(DiskImageCommit::formatName(*detected), format);
    }
};

QTEST_GUILESS_MAIN(DiskImageCommitTest)
#include "tst_diskimagecommit.moc"
