// Staging paths, one-time backups, the shared support folder and file modes,
// on a throwaway volume with real copies and real modes.

#include "tests/fakes/FileBytes.h"
#include "platform/LoginWindow.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"
#include "privileged/Staging.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/InstallRuns.h"
#include "tests/fakes/LogCapture.h"
#include "tests/fakes/RecordingAuthorizationService.h"
#include "tests/fakes/TestVolume.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>

using Answer = RecordingAuthorizationService::Answer;

namespace {

// The staging of its own volume, preferences and recording runner.
struct Fixture {
    TestVolume volume;
    Volume onVolume = volume.volume();
    Bundle bundle = volume.bundle();
    FakeAlertPanel alerts;
    RecordingAuthorizationService *service = nullptr;
    std::unique_ptr<Authorization> authorization;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<Staging> staging;

    Fixture()
    {
        auto recording = std::make_unique<RecordingAuthorizationService>();
        service = recording.get();
        authorization = std::make_unique<Authorization>(std::move(recording), &alerts);
        defaults = std::make_unique<UserDefaults>(volume.scratch() + QStringLiteral("/prefs.ini"));
        staging = std::make_unique<Staging>(onVolume, bundle, defaults.get(), authorization.get());
    }
    [[nodiscard]] QString host(const QString &volumePath) const { return volume.hostPath(volumePath); }
};

} // namespace

class TestStaging : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        // Each case starts without the per-user support folder or its parent.
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).removeRecursively();
    }

    void tempFilePath_data()
    {
        QTest::addColumn<std::optional<QString>>("name");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("no name") << std::optional<QString>() << QStringLiteral("image");
        QTest::newRow("logo") << std::optional<QString>(QStringLiteral("logo.tif")) << QStringLiteral("logo.tif");
    }

    void tempFilePath()
    {
        QFETCH(std::optional<QString>, name);
        QFETCH(QString, fileName);
        Fixture f;
        QVERIFY(f.volume.isValid());
        LogCapture log;
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                               + QStringLiteral("/Lumora Login");
        QCOMPARE(Staging::applicationSupportPath(), folder);
        // Missing parents are created too.
        QCOMPARE(f.staging->tempFilePathWithName(name), folder + QLatin1Char('/') + fileName);
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(!QFileInfo::exists(folder + QLatin1Char('/') + fileName));
        QVERIFY(log.lines().isEmpty());
        QVERIFY(f.service->calls().isEmpty());
    }

    void tempFilePathLeavesAPlainFileAlone()
    {
        Fixture f;
        const QString folder = Staging::applicationSupportPath();
        QVERIFY(QDir().mkpath(QFileInfo(folder).path()));
        QVERIFY(writeBytes(folder, "not a folder"));
        LogCapture log;
        QCOMPARE(f.staging->tempFilePathWithName(QStringLiteral("title.tif")), folder + QStringLiteral("/title.tif"));
        QCOMPARE(readBytes(folder), QByteArray("not a folder"));
        QVERIFY(log.lines().isEmpty());
    }

    void backupPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("backup");
        QTest::newRow("logo") << LoginWindow::kLogoFirstPlace
                              << QStringLiteral("/System/Library/CoreServices/SecurityAgent.app/Contents/Resources/"
                                                "applelogo_Original.tif");
        QTest::newRow("title") << QStringLiteral("/x/MacOSX.tif") << QStringLiteral("/x/MacOSX_Original.tif");
        QTest::newRow("several dots") << QStringLiteral("/x/a.b.tif") << QStringLiteral("/x/a.b_Original.tif");
        QTest::newRow("dot only in folder") << QStringLiteral("/x.app/file") << QStringLiteral("/x.app/file_Original");
    }

    void backupPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, backup);
        QCOMPARE(Staging::backupPathForPath(path), backup);
    }

    // The key turns YES only when the backup is in place; otherwise the
    // next save tries again and the stock image is not replaced.
    void backupFile_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<bool>("keyAfter");
        QTest::addColumn<int>("runs");
        QTest::addColumn<QStringList>("logLines");
        const QString unable = QStringLiteral("Unable to backup file for key Made logo backup");
        // The volume is the record: a stored key does not stand for a backup
        // that is not there (a re-imaged volume, another disk at that place).
        QTest::newRow("key YES, no backup on the volume") << "key yes" << true << true << 1 << QStringList{};
        QTest::newRow("backup already there") << "backup present" << true << true << 0 << QStringList{};
        QTest::newRow("no file to back up") << "no file" << true << true << 0 << QStringList{};
        QTest::newRow("copied with rights") << "copy" << true << true << 1 << QStringList{};
        QTest::newRow("copied without rights") << "copy without rights" << true << true << 0 << QStringList{};
        QTest::newRow("dialog cancelled")
            << "cancel" << false << false << 0
            << QStringList{QStringLiteral("User failed to authenticate for tools '%1' and '(null)'").arg(InstallRuns::fileTool()),
                           QStringLiteral("Cancelled: no administrator password was given"), unable};
        QTest::newRow("launch refused") << "refused" << false << false << 0
                                        << QStringList{QStringLiteral("Authorization error -60031"), unable};
        QTest::newRow("folder in the file's place")
            << "not a file" << false << false << 1
            << QStringList{QStringLiteral("Tool '%1' failed with exit status 1").arg(InstallRuns::fileTool()),
                           QStringLiteral("Tool '%1' said: lumora-fileop: %2: is a folder; nothing was changed")
                               .arg(InstallRuns::fileTool(), LoginWindow::kLogoFirstPlace),
                           unable};
    }

    void backupFile()
    {
        QFETCH(QString, situation);
        QFETCH(bool, inPlace);
        QFETCH(bool, keyAfter);
        QFETCH(int, runs);
        QFETCH(QStringList, logLines);

        Fixture f;
        QVERIFY(f.volume.isValid());
        // The stock logo: the tool backs up nothing but what a save replaces.
        const QString volumePath = LoginWindow::kLogoFirstPlace;
        const QString file = f.host(volumePath);
        const QString backup = f.host(QFileInfo(volumePath).path() + QStringLiteral("/applelogo_Original.tif"));
        const QByteArray stock = readBytes(f.host(LoginWindow::kLogoFirstPlace));
        QVERIFY(!stock.isEmpty());
        QVERIFY(writeBytes(file, stock));
        bool withRights = true;

        if (situation == QLatin1String("key yes"))
            f.defaults->setBool(f.staging->backupMadeKey(PreferenceKeys::kMadeLogoBackup), true);
        else if (situation == QLatin1String("backup present"))
            QVERIFY(writeBytes(backup, "older backup"));
        else if (situation == QLatin1String("no file"))
            QVERIFY(QFile::remove(file));
        else if (situation == QLatin1String("copy without rights"))
            withRights = false;
        else if (situation == QLatin1String("cancel"))
            f.service->scriptInteractive({Answer::Cancel});
        else if (situation == QLatin1String("refused"))
            f.service->scriptLaunchStatus({AuthorizationService::kToolExecuteFailure});
        else if (situation == QLatin1String("not a file")) {
            // Only a regular file is backed up, even by root.
            QVERIFY(QFile::remove(file));
            QVERIFY(QDir().mkdir(file));
        }

        LogCapture log;
        QCOMPARE(f.staging->backupFile(volumePath, withRights, PreferenceKeys::kMadeLogoBackup), inPlace);
        QCOMPARE(f.defaults->boolForKey(f.staging->backupMadeKey(PreferenceKeys::kMadeLogoBackup)), keyAfter);
        QCOMPARE(f.service->runs().size(), runs);
        QCOMPARE(log.lines(), logLines);

        if (situation == QLatin1String("copy") || situation == QLatin1String("key yes")) {
            QCOMPARE(f.service->runs(), InstallRuns::backup(f.volume.root(), file, backup));
            QCOMPARE(readBytes(backup), stock);
        } else if (situation == QLatin1String("copy without rights")) {
            QCOMPARE(readBytes(backup), stock);
            QVERIFY(f.service->calls().isEmpty());
        } else if (situation == QLatin1String("backup present")) {
            QCOMPARE(readBytes(backup), QByteArray("older backup"));
        } else if (!inPlace) {
            QVERIFY(!QFileInfo::exists(backup));
        }

        // A failed attempt is tried again at the next save.
        if (!inPlace) {
            f.service->scriptLaunchStatus({});
            f.service->scriptInteractive({});
            if (situation == QLatin1String("not a file")) {
                QVERIFY(QDir().rmdir(file));
                QVERIFY(writeBytes(file, stock));
            }
            QVERIFY(f.staging->backupFile(volumePath, true, PreferenceKeys::kMadeLogoBackup));
            QCOMPARE(readBytes(backup), stock);
            QVERIFY(f.defaults->boolForKey(f.staging->backupMadeKey(PreferenceKeys::kMadeLogoBackup)));
        }
        // Whatever happened, nothing is left beside the file but the backup.
        QCOMPARE(QDir(QFileInfo(file).path()).entryList({QStringLiteral(".*lumora-*")}, QDir::AllEntries | QDir::Hidden),
                 QStringList());
    }

    void sharedSupportFolder_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QList<QStringList>>("runs");
        QTest::addColumn<QStringList>("logLines");
        QTest::newRow("already there") << "present" << true << QList<QStringList>{} << QStringList{};
        QTest::newRow("user can create it") << "creatable" << true << QList<QStringList>{} << QStringList{};
        QTest::newRow("needs its parents too") << "parent missing" << true << QList<QStringList>{{QStringLiteral("<mkdir>")}}
                                               << QStringList{};
        QTest::newRow("plain file in the way")
            << "file" << false << QList<QStringList>{{QStringLiteral("<mkdir>")}}
            << QStringList{QStringLiteral("Tool '%1' failed with exit status 1").arg(InstallRuns::fileTool()),
                           QStringLiteral("Tool '%1' said: lumora-fileop: /Library/Application Support/Lumora: a file "
                                          "stands where a folder must be; nothing was changed")
                               .arg(InstallRuns::fileTool()),
                           QStringLiteral("Unable to create directory at /Library/Application Support/Lumora")};
    }

    void sharedSupportFolder()
    {
        QFETCH(QString, situation);
        QFETCH(bool, exists);
        QFETCH(QList<QStringList>, runs);
        QFETCH(QStringList, logLines);
        Fixture f;
        const QString folder = f.host(LoginWindow::kSharedSupportFolder);
        QDir(folder).removeRecursively();
        if (situation == QLatin1String("present"))
            QVERIFY(QDir().mkpath(folder));
        else if (situation == QLatin1String("parent missing"))
            QVERIFY(QDir(QFileInfo(folder).path()).removeRecursively());
        else if (situation == QLatin1String("file"))
            QVERIFY(writeBytes(folder, "in the way"));
        for (QStringList &run : runs) {
            if (run == QStringList{QStringLiteral("<mkdir>")})
                run = InstallRuns::fileOperation(f.volume.root(), {QStringLiteral("mkdir"), LoginWindow::kSharedSupportFolder});
        }

        LogCapture log;
        QCOMPARE(f.staging->createApplicationSupportPath(), exists);
        QCOMPARE(QFileInfo(folder).isDir(), exists);
        QCOMPARE(f.service->runs(), runs);
        QCOMPARE(log.lines(), logLines);
        QCOMPARE(f.service->passwordRequests(), runs.isEmpty() ? 0 : 1);
    }

    void setMode()
    {
        Fixture f;
        const QString file = f.host(LoginWindow::kInstalledBackground);
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(writeBytes(file, "jpeg"));
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        LogCapture log;
        QVERIFY(f.staging->setMode(QStringLiteral("664"), LoginWindow::kInstalledBackground));
        QCOMPARE(f.service->runs(), (QList<QStringList>{InstallRuns::fileOperation(
                                        f.volume.root(), {QStringLiteral("chmod"), QStringLiteral("664"),
                                                          LoginWindow::kInstalledBackground})}));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0664));
        QVERIFY(log.lines().isEmpty());

        // chmod of a missing file fails, and that is reported.
        QVERIFY(!f.staging->setMode(QStringLiteral("664"), QStringLiteral("/nowhere.jpg")));
        QCOMPARE(log.lines().last(), QStringLiteral("Failed to set privileges for new login background."));
    }

    // What the runner sees for one backup, the copy over the stock image and
    // a mode change: one password, each tool after the previous has ended.
    void backupCopyChmodSequence()
    {
        Fixture f;
        const QString staging = f.staging->tempFilePathWithName(QStringLiteral("logo.tif"));
        QVERIFY(writeBytes(staging, "new logo"));
        const QString logo = f.host(LoginWindow::kLogoFirstPlace);
        const QByteArray stock = readBytes(logo);

        QVERIFY(f.staging->backupFile(LoginWindow::kLogoFirstPlace, true, PreferenceKeys::kMadeLogoBackup));
        QVERIFY(f.staging->copyIntoPlace(staging, logo));
        QVERIFY(f.staging->setMode(QStringLiteral("664"), LoginWindow::kLogoFirstPlace));

        const QString backup = f.host(Staging::backupPathForPath(LoginWindow::kLogoFirstPlace));
        QList<QStringList> expected = InstallRuns::backup(f.volume.root(), logo, backup);
        expected += InstallRuns::copyIntoPlace(f.volume.root(), logo);
        expected.append(InstallRuns::fileOperation(f.volume.root(), {QStringLiteral("chmod"), QStringLiteral("664"),
                                                                     LoginWindow::kLogoFirstPlace}));
        QCOMPARE(f.service->runs(), expected);
        QCOMPARE(f.service->passwordRequests(), 1);
        QCOMPARE(readBytes(backup), stock);
        QCOMPARE(readBytes(logo), QByteArray("new logo"));
    }

    void backupKeysArePerVolume()
    {
        // One user and one preferences file, two volumes edited in turn.
        Fixture a;
        Fixture b;
        const Staging onB(b.onVolume, b.bundle, a.defaults.get(), b.authorization.get());
        const QString key = PreferenceKeys::kMadeLogoBackup;
        QVERIFY(a.staging->backupFile(LoginWindow::kLogoFirstPlace, true, key));
        QVERIFY(a.defaults->boolForKey(a.staging->backupMadeKey(key)));

        // The backup made on the first says nothing about the second.
        const QString logoB = b.host(LoginWindow::kLogoFirstPlace);
        QVERIFY(!a.defaults->boolForKey(onB.backupMadeKey(key)));
        QVERIFY(onB.backupFile(LoginWindow::kLogoFirstPlace, true, key));
        QCOMPARE(readBytes(Staging::backupPathForPath(logoB)), readBytes(logoB));
        QVERIFY(a.defaults->boolForKey(onB.backupMadeKey(key)));

        // On the system itself the key is stored under its own name.
        const Volume root(QStringLiteral("/"));
        const Staging onRoot(root, a.bundle, a.defaults.get(), a.authorization.get());
        QCOMPARE(onRoot.backupMadeKey(key), key);
    }

    void copyIntoPlace_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("new file") << QStringLiteral("new");
        QTest::newRow("file with its own mode") << QStringLiteral("mode");
        QTest::newRow("link within the volume") << QStringLiteral("link");
        QTest::newRow("link off the volume") << QStringLiteral("outside");
    }

    void copyIntoPlace()
    {
        QFETCH(QString, situation);
        Fixture f;
        const QString source = f.volume.scratch() + QStringLiteral("/source.tif");
        QVERIFY(writeBytes(source, "new contents"));
        // A picture a save writes: the tool writes nothing else.
        const QString destination = f.host(LoginWindow::kTigerDefaultBackground);
        QFile::remove(destination);
        const QString elsewhere = f.volume.scratch() + QStringLiteral("/elsewhere.jpg");
        QList<QStringList> expected = InstallRuns::copyIntoPlace(f.volume.root(), destination);
        if (situation == QLatin1String("mode")) {
            QVERIFY(writeBytes(destination, "old contents"));
            QVERIFY(::chmod(QFile::encodeName(destination).constData(), 0640) == 0);
        } else if (situation == QLatin1String("link")) {
            // As on the Mac, the copy goes where the link leads on the
            // volume, and the link stays.
            const QString target = f.host(QStringLiteral("/Library/Desktop Pictures/target.jpg"));
            QVERIFY(writeBytes(target, "old contents"));
            QVERIFY(QFile::link(QStringLiteral("/Library/Desktop Pictures/target.jpg"), destination));
            expected = InstallRuns::copyIntoPlace(f.volume.root(), target);
        } else if (situation == QLatin1String("outside")) {
            // A link to a host file leads nowhere on the volume: nothing is
            // run, and the host file is left alone.
            QVERIFY(writeBytes(elsewhere, "not ours"));
            QVERIFY(QFile::link(elsewhere, destination));
            QVERIFY(!f.staging->copyIntoPlace(source, destination));
            QVERIFY(f.service->runs().isEmpty());
            QCOMPARE(readBytes(elsewhere), QByteArray("not ours"));
            return;
        }

        QVERIFY(f.staging->copyIntoPlace(source, destination));
        QCOMPARE(f.service->runs(), expected);
        const QString written = situation == QLatin1String("link")
                                    ? f.host(QStringLiteral("/Library/Desktop Pictures/target.jpg"))
                                    : destination;
        QCOMPARE(readBytes(written), QByteArray("new contents"));
        QCOMPARE(QFileInfo(destination).isSymLink(), situation == QLatin1String("link"));
        if (situation == QLatin1String("mode")) {
            struct stat status {};
            QVERIFY(::stat(QFile::encodeName(destination).constData(), &status) == 0);
            QCOMPARE(status.st_mode & 0777, mode_t(0640));
        }
        QCOMPARE(QDir(QFileInfo(destination).path()).entryList({QStringLiteral(".*lumora-*")}, QDir::AllEntries | QDir::Hidden),
                 QStringList());
    }

    void leftoversOfStoppedSavesAreRemoved()
    {
        Fixture f;
        const QString resources = QFileInfo(f.host(LoginWindow::kLogoFirstPlace)).absolutePath();
        const QString preferences = QFileInfo(f.host(LoginWindow::kDomain)).absolutePath();
        const QString shared = f.host(LoginWindow::kSharedSupportFolder);
        QVERIFY(QDir().mkpath(shared));
        const QStringList litter{
            resources + QStringLiteral("/.applelogo.tif.lumora-a1b2c3d4"),
            resources + QStringLiteral("/.applelogo_Original.tif.lumora-zz99zz99"),
            shared + QStringLiteral("/.login_background.jpg.lumora-0000abcd"),
            preferences + QStringLiteral("/.com.apple.loginwindow.plist.Xy12Zq"),
        };
        // Not ours, or not of the shape we make: never touched.
        const QStringList kept{
            resources + QStringLiteral("/.applelogo.tif.lumora-short"),
            resources + QStringLiteral("/applelogo.tif.lumora-a1b2c3d4"),
            preferences + QStringLiteral("/.com.apple.loginwindow.plist.lock"),
            preferences + QStringLiteral("/.com.apple.finder.plist.Xy12Zq"),
        };
        for (const QString &path : litter + kept)
            QVERIFY(writeBytes(path, "partial"));
        // A link of that name goes (not what it points at); a folder stays.
        const QString target = f.volume.scratch() + QStringLiteral("/target");
        QVERIFY(writeBytes(target, "not ours"));
        const QString link = resources + QStringLiteral("/.MacOSX.tif.lumora-11112222");
        QVERIFY(QFile::link(target, link));
        const QString folder = resources + QStringLiteral("/.applelogo.tif.lumora-33334444");
        QVERIFY(QDir().mkdir(folder));
        // A tool that still writes its file keeps it.
        const QString busy = preferences + QStringLiteral("/.com.apple.loginwindow.plist.Busy01");
        QProcess writer;
        writer.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec 3>\"$1\"; echo open; exec sleep 60"),
                                                 QStringLiteral("sh"), busy});
        QVERIFY(writer.waitForReadyRead(10000));

        LogCapture log;
        QCOMPARE(f.staging->removeLeftovers(), litter.size() + 1);
        for (const QString &path : litter)
            QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
        QVERIFY(!QFileInfo(link).isSymLink());
        QCOMPARE(readBytes(target), QByteArray("not ours"));
        for (const QString &path : kept)
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(QFileInfo::exists(busy));
        QCOMPARE(log.count(QStringLiteral("Removed %1, left by an interrupted save").arg(litter.first())), 1);
        // All went without administrator rights: the folders are ours here.
        QVERIFY(f.service->runs().isEmpty());

        writer.kill();
        writer.waitForFinished();
        QCOMPARE(f.staging->removeLeftovers(), 1);
        QVERIFY(!QFileInfo::exists(busy));
    }
};

QTEST_GUILESS_MAIN(TestStaging)
#include "tst_staging.moc"
