// The companion on disk images, with real virtual machines (libguestfs):
// set, show and restore on the sample image in an Apple Partition Map, raw
// and qcow2, read back by an independent reader (7-Zip) and by the program;
// a volume whose journal holds a transaction is refused with the image's
// bytes unchanged; a save killed while its blocks go into the image leaves
// the old image once recovered. Each virtual machine costs 20-35 s with
// software emulation, so every start here is one that matters.

#include "platform/HfsPlusVolume.h"
#include "tools/HfsPlusFormat.h"

#include "tests/fakes/FileBytes.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString bin(const QString &name)
{
    return qEnvironmentVariable("LUMORA_BIN_DIR") + QLatin1Char('/') + name;
}

struct Ran {
    int code = -1;
    QString out;
    QString err;
};

Ran run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment = {})
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(10 * 60 * 1000))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

const QString kVolume = QStringLiteral("Macintosh HD");
const QString kLogo = QStringLiteral("System/Library/CoreServices/SecurityAgent.app/Contents/Resources/applelogo.tif");
const QString kDomain = QStringLiteral("Library/Preferences/com.apple.loginwindow.plist");

} // namespace

class LoginCtlImageTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_raw;
    QString m_qcow2;

    QProcessEnvironment environment(bool softwareEmulation = true) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (softwareEmulation)
            environment.insert(QStringLiteral("LUMORA_IMAGE_ACCEL"), QStringLiteral("tcg"));
        else
            environment.remove(QStringLiteral("LUMORA_IMAGE_ACCEL"));
        return environment;
    }

    Ran companion(const QStringList &arguments, bool softwareEmulation = true) const
    {
        return run(bin(QStringLiteral("lumora-loginctl")), arguments, environment(softwareEmulation));
    }

    // The image's files as 7-Zip reads them, in a fresh folder.
    QString extract(const QString &image, const QString &name)
    {
        const QString folder = m_dir.filePath(name);
        QDir(folder).removeRecursively();
        const Ran extracted = run(QStringLiteral("7zz"), {QStringLiteral("x"), QStringLiteral("-y"),
                                                         QStringLiteral("-o") + folder, image});
        return extracted.code == 0 ? folder + QLatin1Char('/') + kVolume + QLatin1Char('/') : QString();
    }

    // The raw bytes of an image whatever its format, for the journal check.
    QString asRaw(const QString &image)
    {
        if (!image.endsWith(QLatin1String(".qcow2")))
            return image;
        const QString raw = m_dir.filePath(QStringLiteral("converted.raw"));
        QFile::remove(raw);
        run(QStringLiteral("qemu-img"), {QStringLiteral("convert"), QStringLiteral("-O"), QStringLiteral("raw"), image, raw});
        return raw;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char *program : {"7zz", "qemu-img", "strace", "guestfish"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(program)).isEmpty(), program);
        m_raw = m_dir.filePath(QStringLiteral("sample.img"));
        m_qcow2 = m_dir.filePath(QStringLiteral("sample.qcow2"));
        const QString artwork = qEnvironmentVariable("LUMORA_BIN_DIR") + QStringLiteral("/resources");
        const Ran made = run(bin(QStringLiteral("lumora-sample-volume")),
                             {QStringLiteral("image"), m_raw, artwork}, environment());
        QVERIFY2(made.code == 0, qPrintable(made.err));
        const Ran converted = run(QStringLiteral("qemu-img"), {QStringLiteral("convert"), QStringLiteral("-O"),
                                                              QStringLiteral("qcow2"), m_raw, m_qcow2});
        QVERIFY2(converted.code == 0, qPrintable(converted.err));
    }

    // The first start finds out by itself whether hardware virtualisation
    // works; if it does not, the log says so once.
    void showReadsTheVolumeAndLeavesTheImageAlone()
    {
        const QByteArray before = fileDigest(m_raw);
        const Ran shown = companion({QStringLiteral("--image"), m_raw, QStringLiteral("show"), QStringLiteral("--json")},
                                    false);
        QVERIFY2(shown.code == 0, qPrintable(shown.err));
        const QJsonObject look = QJsonDocument::fromJson(shown.out.toUtf8()).object();
        QCOMPARE(look.value(QStringLiteral("release")).toString(), QStringLiteral("10.4.11"));
        QCOMPARE(look.value(QStringLiteral("message")).toString(), QStringLiteral("Welcome to the Lumora sample volume."));
        QVERIFY2(shown.err.count(QLatin1String("software emulation")) <= 1, qPrintable(shown.err));
        QCOMPARE(fileDigest(m_raw), before);
    }

    void setThenRestore_data()
    {
        QTest::addColumn<bool>("qcow2");
        QTest::newRow("raw with an Apple Partition Map") << false;
        QTest::newRow("qcow2") << true;
    }
    void setThenRestore()
    {
        QFETCH(bool, qcow2);
        const QString image = qcow2 ? m_qcow2 : m_raw;
        const QString newLogo = qEnvironmentVariable("LUMORA_BIN_DIR") + QStringLiteral("/resources/AppleTitle.tif");
        const QByteArray stockLogo =
            readBytes(qEnvironmentVariable("LUMORA_BIN_DIR") + QStringLiteral("/resources/AppleLogo.tif"));

        const Ran set = companion({QStringLiteral("--image"), image, QStringLiteral("set"), QStringLiteral("--message"),
                                   QStringLiteral("Set in an image"), QStringLiteral("--power-buttons"),
                                   QStringLiteral("hide"), QStringLiteral("--logo"), newLogo});
        QVERIFY2(set.code == 0, qPrintable(set.err));
        QVERIFY2(set.out.contains(QLatin1String("message: saved")), qPrintable(set.out));
        QVERIFY2(set.err.contains(QLatin1String("saved")), qPrintable(set.err));

        const QString files = extract(image, QStringLiteral("after-set"));
        QVERIFY(!files.isEmpty());
        QCOMPARE(readBytes(files + kLogo), readBytes(newLogo));
        const QByteArray domain = readBytes(files + kDomain);
        QVERIFY2(domain.contains("Set in an image"), domain.constData());
        QVERIFY(domain.contains("PowerOffDisabled"));
        const HfsPlusVolume::Info journal = HfsPlusFormat::inspectApmImage(asRaw(image));
        QCOMPARE(HfsPlusVolume::stateName(journal.state), HfsPlusVolume::stateName(HfsPlusVolume::State::CleanJournaled));
        QVERIFY(journal.journaled);
        if (qcow2)
            return; // the raw row goes on with restore; qcow2 saving is the same path from here

        const Ran restored = companion({QStringLiteral("--image"), image, QStringLiteral("restore")});
        QVERIFY2(restored.code == 0, qPrintable(restored.err));
        const QString back = extract(image, QStringLiteral("after-restore"));
        QCOMPARE(readBytes(back + kLogo), stockLogo);
        QVERIFY(!readBytes(back + kDomain).contains("PowerOffDisabled"));
        QCOMPARE(HfsPlusFormat::inspectApmImage(image).state, HfsPlusVolume::State::CleanJournaled);
    }

    // A Mac that stopped without replaying its journal: writing now would
    // be undone by that replay, so nothing is written.
    void aPendingJournalIsRefused()
    {
        const QString image = m_dir.filePath(QStringLiteral("dirty.img"));
        QFile::remove(image);
        QVERIFY(QFile::copy(m_raw, image));
        const HfsPlusVolume::Info clean = HfsPlusFormat::inspectApmImage(image);
        QCOMPARE(clean.state, HfsPlusVolume::State::CleanJournaled);
        {
            QFile file(image);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const qint64 at = static_cast<qint64>(HfsPlusFormat::kApmPartitionOffset + clean.volumeOffset
                                                  + clean.journalOffset);
            QVERIFY(file.seek(at));
            QByteArray header = file.read(44);
            const bool bigEndian = static_cast<unsigned char>(header[4]) == 0x12;
            const quint64 end = clean.journalStart + 4096;
            for (int i = 0; i < 8; ++i)
                header[16 + (bigEndian ? i : 7 - i)] = static_cast<char>((end >> (8 * (7 - i))) & 0xff);
            header.replace(36, 4, QByteArray(4, '\0'));
            const quint32 sum = HfsPlusVolume::journalHeaderChecksum(header);
            for (int i = 0; i < 4; ++i)
                header[36 + (bigEndian ? i : 3 - i)] = static_cast<char>((sum >> (8 * (3 - i))) & 0xff);
            QVERIFY(file.seek(at));
            file.write(header);
        }
        QCOMPARE(HfsPlusFormat::inspectApmImage(image).state, HfsPlusVolume::State::JournalPending);
        const QByteArray before = fileDigest(image);

        const Ran refused = companion({QStringLiteral("--image"), image, QStringLiteral("set"), QStringLiteral("--message"),
                                       QStringLiteral("never")});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.contains(QLatin1String("journal")), qPrintable(refused.err));
        QVERIFY2(refused.err.contains(QLatin1String("shut it down cleanly")), qPrintable(refused.err));
        QCOMPARE(fileDigest(image), before);
    }

    // Killed at its second write into the image: the next open puts the
    // image back as it was, and the volume is still clean.
    void aSaveKilledWhileWritingTheImageIsUndone()
    {
        const QString image = m_dir.filePath(QStringLiteral("killed.img"));
        QFile::remove(image);
        QVERIFY(QFile::copy(m_raw, image));
        const QByteArray before = fileDigest(image);
        const Ran killed = run(QStringLiteral("strace"),
                               {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                QStringLiteral("-P"), image, QStringLiteral("-e"), QStringLiteral("trace=pwrite64"),
                                QStringLiteral("-e"), QStringLiteral("inject=pwrite64:signal=SIGKILL:when=2"),
                                bin(QStringLiteral("lumora-loginctl")), QStringLiteral("--image"), image,
                                QStringLiteral("set"), QStringLiteral("--message"), QStringLiteral("cut short")},
                               environment());
        QVERIFY2(killed.code != 0, qPrintable(killed.err));
        QVERIFY2(!killed.out.contains(QLatin1String("saved")), qPrintable(killed.out));
        QVERIFY(fileDigest(image) != before); // the kill came mid-way, not before
        QVERIFY(QFileInfo::exists(QFileInfo(image).absolutePath() + QStringLiteral("/.killed.img.lumora-undo")));

        const Ran recovered = run(bin(QStringLiteral("lumora-image")), {QStringLiteral("recover"), image});
        QVERIFY2(recovered.code == 0, qPrintable(recovered.err));
        QCOMPARE(fileDigest(image), before);
        QCOMPARE(HfsPlusFormat::inspectApmImage(image).state, HfsPlusVolume::State::CleanJournaled);
        // No helper of the killed companion is left running.
        QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("pgrep"), {QStringLiteral("-f"), image}).out.trimmed().isEmpty(), 30000);
    }
};

QTEST_GUILESS_MAIN(LoginCtlImageTest)
#include "tst_loginctl_image.moc"
