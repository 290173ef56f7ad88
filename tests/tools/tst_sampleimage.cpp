// lumora-sample-volume image for real: it starts libguestfs appliances
// (about 15 to 35 s each), so it runs in the image stage only. Faults it
// would catch: files that do not arrive byte for byte, a release argument
// dropped, a journal or unmounted bit left dirty by the Linux driver, a
// half-written image left under the final name, a qcow2 that is not one,
// and a filled image that Linux can no longer write to cleanly.

#include "tools/HfsPlusFormat.h"

#include "platform/LoginWindow.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(600000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString tool() { return qEnvironmentVariable("LUMORA_BIN_DIR") + QStringLiteral("/lumora-sample-volume"); }

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// One file out of the HFS+ volume of an image, through 7-Zip.
QByteArray extract(const QString &image, const QString &pathOnVolume, const QString &into)
{
    const QString inside = QStringLiteral("Macintosh HD") + pathOnVolume;
    const Run x = run(QStandardPaths::findExecutable(QStringLiteral("7zz")),
                      {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + into, image, inside});
    if (x.exitCode != 0)
        return "(7zz failed: " + x.out + x.err + ")";
    return contents(into + QLatin1Char('/') + inside);
}

} // namespace

class TestSampleImage : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_artwork;
    QString m_folder;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        for (const char *program : {"guestfish", "7zz", "qemu-img"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(program))));
        }
        QVERIFY(m_dir.isValid());
        m_artwork = path(QStringLiteral("artwork"));
        m_folder = path(QStringLiteral("folder"));
        QCOMPARE(run(tool(), {QStringLiteral("artwork"), m_artwork}).exitCode, 0);
        // The folder volume that the image must hold, byte for byte.
        QCOMPARE(run(tool(), {QStringLiteral("volume"), m_folder, m_artwork, QStringLiteral("10.3.9")}).exitCode, 0);
    }

    void rawImage()
    {
        const QString image = path(QStringLiteral("disk.img"));
        const Run made = run(tool(), {QStringLiteral("image"), image, m_artwork, QStringLiteral("10.3.9"),
                                      QStringLiteral("--size"), QStringLiteral("64")});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        // One line of progress per step.
        QVERIFY2(made.err.contains("guestfish") && made.err.contains("Wrote"), made.err.constData());

        const HfsPlusVolume::Info info = HfsPlusFormat::inspectApmImage(image);
        QVERIFY2(info.state == HfsPlusVolume::State::CleanJournaled, qPrintable(info.reason));
        qInfo("last mounted by %s", info.lastMountedVersion.constData());

        const QString out = path(QStringLiteral("extracted"));
        for (const QString &file : {LoginWindow::kVersionFile, LoginWindow::kLogoFirstPlace, LoginWindow::kDomain + QStringLiteral(".plist")}) {
            const QByteArray expected = contents(m_folder + file);
            QVERIFY(expected.size() > 100);
            QVERIFY2(extract(image, file, out) == expected, qPrintable(file));
        }
        // Nothing left beside the image under a temporary name.
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden), QStringList());
    }

    // After the fill, Linux can still write the volume and leave it clean,
    // as the application will when it saves.
    void writableAfterwards()
    {
        const QString image = path(QStringLiteral("disk.img"));
        if (!QFile::exists(image))
            QSKIP("needs the image of rawImage()");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!environment.contains(QStringLiteral("LIBGUESTFS_BACKEND")))
            environment.insert(QStringLiteral("LIBGUESTFS_BACKEND"), QStringLiteral("direct"));
        if (!environment.contains(QStringLiteral("LIBGUESTFS_BACKEND_SETTINGS")))
            environment.insert(QStringLiteral("LIBGUESTFS_BACKEND_SETTINGS"), QStringLiteral("force_tcg"));
        const Run wrote = run(QStandardPaths::findExecutable(QStringLiteral("guestfish")),
                              {QStringLiteral("--rw"), QStringLiteral("--format=raw"), QStringLiteral("-a"), image,
                               QStringLiteral("-m"), QStringLiteral("/dev/sda2:/:force"), QStringLiteral("write"),
                               QStringLiteral("/Library/Preferences/written-later.txt"), QStringLiteral("written later"),
                               QStringLiteral(":"), QStringLiteral("umount-all")},
                              environment);
        QVERIFY2(wrote.exitCode == 0, wrote.err.constData());
        const HfsPlusVolume::Info info = HfsPlusFormat::inspectApmImage(image);
        QVERIFY2(info.state == HfsPlusVolume::State::CleanJournaled, qPrintable(info.reason));
        QCOMPARE(extract(image, QStringLiteral("/Library/Preferences/written-later.txt"), path(QStringLiteral("later"))),
                 QByteArray("written later"));
        // The files from before are still there.
        QCOMPARE(extract(image, LoginWindow::kVersionFile, path(QStringLiteral("later"))),
                 contents(m_folder + LoginWindow::kVersionFile));
    }

    void qcow2Image()
    {
        const QString image = path(QStringLiteral("disk.qcow2"));
        const Run made = run(tool(), {QStringLiteral("image"), image, m_artwork, QStringLiteral("--format"),
                                      QStringLiteral("qcow2"), QStringLiteral("--size"), QStringLiteral("48"),
                                      QStringLiteral("10.3.9")});
        QVERIFY2(made.exitCode == 0, made.err.constData());
        const Run info = run(QStandardPaths::findExecutable(QStringLiteral("qemu-img")),
                             {QStringLiteral("info"), QStringLiteral("--output=json"), image});
        QCOMPARE(info.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(info.out).object();
        QCOMPARE(json.value(QStringLiteral("format")).toString(), QStringLiteral("qcow2"));
        QCOMPARE(json.value(QStringLiteral("virtual-size")).toInteger(),
                 qint64(HfsPlusFormat::kApmPartitionOffset + (48 << 20)));
        // 7-Zip reads qcow2 too: the same volume is inside.
        QCOMPARE(extract(image, LoginWindow::kVersionFile, path(QStringLiteral("from-qcow2"))),
                 contents(m_folder + LoginWindow::kVersionFile));
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSampleImage)
#include "tst_sampleimage.moc"
