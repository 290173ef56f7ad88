// Saves made as root while an ordinary user who owns the volume's folders
// races them: a racer process of that user swaps the folders a save writes
// in, and the files it writes, for links to a decoy tree outside the volume,
// over and over. After every save the decoy must be as it was, none of its
// content may have reached the volume, and every setting the companion
// reports saved must be on the volume. Needs root (to make the user); the
// companion under test is the built one, or LUMORA_RACE_COMPANION.

#include "platform/Image.h"
#include "platform/LoginWindow.h"
#include "platform/PreferenceDomain.h"
#include "platform/Process.h"
#include "tests/fakes/CompanionRun.h"
#include "tests/fakes/FileBytes.h"
#include "tests/fakes/HostileVolume.h"
#include "tests/fakes/TestVolume.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kUser = "lumoraracer";
const QByteArray kMarker = "LUMORA-DECOY-SECRET";
const QString kResources = HostileVolume::kResourcesFolder;

void removeRacerUser()
{
    (void)Process::run("/usr/sbin/userdel", {"--force", kUser}, true);
}

struct RacerUserGuard {
    ~RacerUserGuard() { removeRacerUser(); }
};

QByteArray digest(const QString &path)
{
    QFileInfo info(path);
    if (!info.isFile() || info.isSymLink())
        return {};
    return QCryptographicHash::hash(readBytes(path), QCryptographicHash::Sha256);
}

// One of the two looks the saves switch between.
struct Look {
    QString name;
    QString logo, title, background; // input files
    QString message;
    QString hostInfo;
    QMap<QString, QByteArray> written; // volume path -> digest of what a save writes there
};

bool drawLook(Look &look, const QString &folder, QRgb colour, int size)
{
    QImage logo(size, size, QImage::Format_ARGB32);
    logo.fill(colour);
    QImage title(size * 3, size / 2, QImage::Format_ARGB32);
    title.fill(~colour | 0xff000000u);
    QImage background(size * 6, size * 4, QImage::Format_RGB32);
    background.fill(colour ^ 0x00808080u);
    look.logo = folder + QStringLiteral("/logo-%1.png").arg(look.name);
    look.title = folder + QStringLiteral("/title-%1.png").arg(look.name);
    look.background = folder + QStringLiteral("/background-%1.png").arg(look.name);
    return logo.save(look.logo) && title.save(look.title) && background.save(look.background);
}

// The host information only now and then: saving it ends with the login
// window's half-second pause.
QStringList setArguments(const Look &look, bool withHostInfo = true)
{
    QStringList arguments{QStringLiteral("set"), QStringLiteral("--logo"), look.logo, QStringLiteral("--title"),
                          look.title, QStringLiteral("--background"), look.background, QStringLiteral("--message"),
                          look.message};
    if (withHostInfo)
        arguments << QStringLiteral("--host-info") << look.hostInfo;
    return arguments;
}

// The settings a run reports saved, by their names.
QStringList savedSettings(const CompanionRun &run)
{
    QStringList saved;
    for (const QString &line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.endsWith(QLatin1String(": saved")))
            saved << line.chopped(int(qstrlen(": saved")));
    }
    return saved;
}

// The decoy: the folders and files a swapped link leads a save to, each
// file readable by root alone and holding the marker.
class Decoy {
public:
    explicit Decoy(const QString &path) : m_path(path) {}

    bool make()
    {
        QDir(m_path).removeRecursively();
        const QStringList files{
            QStringLiteral("/Application Support/Lumora/login_background.jpg"),
            QStringLiteral("/Desktop Pictures/Aqua Blue.jpg"),
            QStringLiteral("/Desktop Pictures/Aqua Blue_Original.jpg"),
            QStringLiteral("/Resources/applelogo.tif"),
            QStringLiteral("/Resources/MacOSX.tif"),
            QStringLiteral("/Resources/applelogo_Original.tif"),
            QStringLiteral("/Resources/MacOSX_Original.tif"),
            QStringLiteral("/secret.jpg"),
        };
        for (const QString &file : files) {
            if (!QDir().mkpath(QFileInfo(m_path + file).path()) || !writeBytes(m_path + file, kMarker + ' ' + file.toUtf8())
                || ::chmod(QFile::encodeName(m_path + file).constData(), 0600) != 0)
                return false;
        }
        // A domain a preference write could go through: valid, and marked.
        const QString domain = m_path + QStringLiteral("/Preferences/com.apple.loginwindow.plist");
        if (!QDir().mkpath(QFileInfo(domain).path())
            || !writeBytes(domain, "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>LoginwindowText</key>"
                                   "<string>" + kMarker + "</string></dict></plist>")
            || ::chmod(QFile::encodeName(domain).constData(), 0600) != 0)
            return false;
        m_baseline = HostileVolume::checksums(m_path);
        return true;
    }
    [[nodiscard]] QString path(const QString &below) const { return m_path + below; }
    [[nodiscard]] bool unchanged() const { return HostileVolume::checksums(m_path) == m_baseline; }
    // What differs from how it was made, for the report.
    [[nodiscard]] QStringList changes() const
    {
        const QMap<QString, QByteArray> now = HostileVolume::checksums(m_path);
        QStringList changed;
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            if (m_baseline.value(it.key()) != it.value())
                changed << it.key();
        }
        for (auto it = m_baseline.cbegin(); it != m_baseline.cend(); ++it) {
            if (!now.contains(it.key()))
                changed << it.key() + QStringLiteral(" (gone)");
        }
        return changed;
    }

private:
    QString m_path;
    QMap<QString, QByteArray> m_baseline;
};

// Files on the volume that hold decoy content.
QStringList markedFiles(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileInfo().isSymLink() && readBytes(path).contains(kMarker))
            found << path;
    }
    return found;
}

} // namespace

class TestSaveRace : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanupTestCase() { removeRacerUser(); }

    void racedSavesStayOnTheVolume()
    {
        if (::geteuid() != 0)
            QSKIP("the race test needs root, to make the racing user and to save as root (as CI does)");
        for (const char *tool : {"/usr/sbin/useradd", "/usr/sbin/userdel", "/bin/chown"}) {
            if (!QFileInfo(QString::fromLatin1(tool)).isExecutable())
                QSKIP(qPrintable(QStringLiteral("the race test needs %1").arg(QLatin1String(tool))));
        }
        const QString binaries = QCoreApplication::applicationDirPath();
        const QString companion = qEnvironmentVariableIsSet("LUMORA_RACE_COMPANION")
                                      ? qEnvironmentVariable("LUMORA_RACE_COMPANION")
                                      : binaries + QStringLiteral("/lumora-loginctl");
        const QString racerProgram = binaries + QStringLiteral("/lumora-racer");
        QVERIFY(QFileInfo(companion).isExecutable());
        QVERIFY(QFileInfo(racerProgram).isExecutable());
        const int wantedSaves = qEnvironmentVariableIsSet("LUMORA_RACE_SAVES")
                                    ? qEnvironmentVariableIntValue("LUMORA_RACE_SAVES")
                                    : 300;
        const qint64 timeLimitMs = 150000;

        removeRacerUser();
        RacerUserGuard guard;
        QVERIFY(Process::run("/usr/sbin/useradd", {"--no-create-home", "--shell", "/bin/sh", kUser}, true).succeeded());
        const passwd *account = ::getpwnam(kUser.constData());
        QVERIFY(account);
        const uid_t uid = account->pw_uid;
        const gid_t gid = account->pw_gid;

        QTemporaryDir work(QStringLiteral("/tmp/lumora-race-XXXXXX"));
        QVERIFY(work.isValid());
        QVERIFY(::chmod(QFile::encodeName(work.path()).constData(), 0755) == 0);
        Decoy decoy(work.filePath(QStringLiteral("decoy")));
        QVERIFY(decoy.make());

        Look looks[2] = {{QStringLiteral("A"), {}, {}, {}, QStringLiteral("Race A"), QStringLiteral("SystemBuild"), {}},
                         {QStringLiteral("B"), {}, {}, {}, QStringLiteral("Race B"), QStringLiteral("IPAddress"), {}}};
        QVERIFY(drawLook(looks[0], work.path(), 0xffc03020u, 48));
        QVERIFY(drawLook(looks[1], work.path(), 0xff2050d0u, 56));

        // What each look writes, from saves nobody races.
        const QStringList images{LoginWindow::kLogoFirstPlace, LoginWindow::kTitleFirstPlace,
                                 LoginWindow::kInstalledBackground};
        {
            TestVolume reference;
            QVERIFY(reference.isValid());
            const CompanionSetup setup{companion, work.filePath(QStringLiteral("reference-home")), reference.resources(),
                                       reference.root()};
            for (Look &look : looks) {
                const CompanionRun run = runCompanion(setup, setArguments(look));
                QVERIFY2(run.exitCode == 0, qPrintable(run.err));
                for (const QString &image : images)
                    look.written.insert(image, digest(reference.hostPath(image)));
            }
        }

        TestVolume volume;
        QVERIFY(volume.isValid());
        const QString root = volume.root();
        QVERIFY(::chmod(QFile::encodeName(QFileInfo(root).path()).constData(), 0755) == 0);
        QVERIFY(Process::run("/bin/chown", {"-R", QByteArray::number(uid) + ':' + QByteArray::number(gid),
                                            QFile::encodeName(root)}, true)
                    .succeeded());
        const CompanionSetup setup{companion, work.filePath(QStringLiteral("home")), volume.resources(), root};

        // Each folder a save writes in, and each file it writes, against
        // the decoy's counterpart; links alternately absolute and climbing.
        const QList<QPair<QString, QString>> swaps{
            {HostileVolume::kSupportFolder, decoy.path(QStringLiteral("/Application Support"))},
            {QStringLiteral("/Library/Desktop Pictures"), decoy.path(QStringLiteral("/Desktop Pictures"))},
            {kResources, decoy.path(QStringLiteral("/Resources"))},
            {QStringLiteral("/Library/Preferences"), decoy.path(QStringLiteral("/Preferences"))},
            {LoginWindow::kInstalledBackground, decoy.path(QStringLiteral("/secret.jpg"))},
            {LoginWindow::kLogoFirstPlace, decoy.path(QStringLiteral("/Resources/applelogo.tif"))},
            {LoginWindow::kTigerDefaultBackground, decoy.path(QStringLiteral("/Desktop Pictures/Aqua Blue.jpg"))},
        };
        QStringList racerArguments;
        for (int i = 0; i < swaps.size(); ++i) {
            const auto aim = i % 2 ? HostileVolume::Aim::Climbing : HostileVolume::Aim::Absolute;
            racerArguments << root + swaps[i].first << HostileVolume::linkTarget(swaps[i].second, aim);
        }
        // The racer runs from a folder its user may enter.
        const QString racerCopy = work.filePath(QStringLiteral("lumora-racer"));
        QVERIFY(QFile::copy(racerProgram, racerCopy));
        QVERIFY(::chmod(QFile::encodeName(racerCopy).constData(), 0755) == 0);
        QProcess racer;
        racer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        racer.setWorkingDirectory(work.path());
        racer.setChildProcessModifier([uid, gid] {
            if (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(125);
        });
        racer.start(racerCopy, racerArguments);
        QVERIFY(racer.waitForStarted());
        while (racer.state() == QProcess::Running && !racer.read(1).startsWith('R'))
            racer.waitForReadyRead(1000);
        const qint64 racerPid = racer.processId();
        auto pauseRacer = [&] {
            ::kill(pid_t(racerPid), SIGUSR1);
            while (racer.state() == QProcess::Running && !racer.read(1).startsWith('P'))
                racer.waitForReadyRead(1000);
        };
        pauseRacer();

        int saves = 0, reachedOutside = 0, disclosures = 0, settingsSaved = 0, settingsNotSaved = 0;
        QStringList savedButMissing;
        QElapsedTimer timer;
        timer.start();
        for (; saves < wantedSaves && timer.elapsed() < timeLimitMs; ++saves) {
            // A, B, A, the stock look, B, B with the host information: every
            // save changes something.
            const int turn = saves % 6;
            const bool restore = turn == 3;
            const Look &look = looks[turn == 1 || turn >= 4 ? 1 : 0];
            const QStringList arguments = restore ? QStringList{QStringLiteral("restore")} : setArguments(look, turn == 5);
            ::kill(pid_t(racerPid), SIGUSR2);
            const CompanionRun run = runCompanion(setup, arguments);
            pauseRacer();
            QVERIFY2(racer.state() == QProcess::Running, "the racer stopped");
            QVERIFY2(run.exitCode == 0 || run.exitCode == 1, qPrintable(run.err));

            const QStringList saved = savedSettings(run);
            settingsSaved += int(saved.size());
            settingsNotSaved += int(run.err.count(QStringLiteral(": not saved")));
            if (!decoy.unchanged()) {
                ++reachedOutside;
                qInfo().noquote() << QStringLiteral("save %1 (%2) changed the decoy: %3")
                                         .arg(saves)
                                         .arg(arguments.first())
                                         .arg(decoy.changes().join(QStringLiteral(", ")));
                QVERIFY(decoy.make());
            }
            const QStringList marked = markedFiles(root);
            if (!marked.isEmpty()) {
                ++disclosures;
                for (const QString &file : marked)
                    QFile::remove(file);
            }
            if (restore)
                continue;
            // What was reported saved is on the volume: in its place, or
            // moved aside there by the racer after the save put it in place.
            const QMap<QString, QString> imageOf{{QStringLiteral("logo"), LoginWindow::kLogoFirstPlace},
                                                 {QStringLiteral("title"), LoginWindow::kTitleFirstPlace},
                                                 {QStringLiteral("background"), LoginWindow::kInstalledBackground}};
            for (const QString &setting : saved) {
                if (imageOf.contains(setting)) {
                    const QString place = volume.hostPath(imageOf[setting]);
                    const QByteArray expected = look.written[imageOf[setting]];
                    bool found = digest(place) == expected;
                    const QStringList aside = QDir(QFileInfo(place).path())
                                                  .entryList({QFileInfo(place).fileName() + QStringLiteral(".racer*")},
                                                             QDir::Files | QDir::Hidden);
                    for (const QString &name : aside)
                        found = found || digest(QFileInfo(place).path() + QLatin1Char('/') + name) == expected;
                    if (!found)
                        savedButMissing << QStringLiteral("%1 (save %2)").arg(setting).arg(saves);
                } else {
                    const auto domain = persistentDomainForName(volume.volume(), LoginWindow::kDomain);
                    const QString key = setting == QLatin1String("message") ? LoginWindow::kMessageKey
                                                                            : LoginWindow::kHostInfoKey;
                    const QString value = setting == QLatin1String("message") ? look.message : look.hostInfo;
                    if (!domain || domain->value(key).toString() != value)
                        savedButMissing << QStringLiteral("%1 (save %2)").arg(setting).arg(saves);
                }
            }
        }
        ::kill(pid_t(racerPid), SIGTERM);
        QVERIFY(racer.waitForFinished(10000));

        qInfo().noquote() << QStringLiteral("race: %1 saves in %2 s; %3 settings saved, %4 not saved; saves that "
                                            "changed the decoy: %5; saves that brought decoy content onto the "
                                            "volume: %6; settings reported saved but not on the volume: %7")
                                 .arg(saves)
                                 .arg(double(timer.elapsed()) / 1000.0, 0, 'f', 1)
                                 .arg(settingsSaved)
                                 .arg(settingsNotSaved)
                                 .arg(reachedOutside)
                                 .arg(disclosures)
                                 .arg(savedButMissing.size());
        QVERIFY2(saves >= 60, "too few saves in the time given to mean anything");
        // The race let some settings through, so the checks above looked at something.
        QVERIFY(settingsSaved > 0);
        QCOMPARE(reachedOutside, 0);
        QCOMPARE(disclosures, 0);
        QVERIFY2(savedButMissing.isEmpty(), qPrintable(savedButMissing.join(QStringLiteral(", "))));
    }
};

QTEST_GUILESS_MAIN(TestSaveRace)
#include "tst_saverace.moc"
