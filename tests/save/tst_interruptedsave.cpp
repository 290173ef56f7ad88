// Saves stopped at chosen steps and saves run at once, with real processes:
// the probe (lumora-loginctl on the recording runner, one of whose tool
// runs is a fake that stops half-way or waits) and lumora-loginctl itself.
// After each stop the next save must leave nothing hidden behind and give
// the same volume as a save that was never stopped.

#include "tests/save/SaveFixture.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace SaveTesting;

namespace {

// A volume's files apart from its history of looks, whose records are named
// by the time of each save; and the history's pictures alone.
QMap<QString, QByteArray> withoutHistory(QMap<QString, QByteArray> tree)
{
    tree.removeIf([](const auto &entry) { return entry.key().startsWith(QStringLiteral("Library/Application Support/Lumora/Looks")); });
    return tree;
}

QSet<QString> historyPictures(const QMap<QString, QByteArray> &tree)
{
    QSet<QString> pictures;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.key().startsWith(QStringLiteral("Library/Application Support/Lumora/Looks/picture-")))
            pictures.insert(it.key());
    }
    return pictures;
}

// The fake tool. HOLD_MODE partial: leaves half a hidden file as the tool
// would (the file tool: the first 4 KiB of its side file; the preference
// tool: its temporary domain file), says so, and waits for ever; after: runs
// the tool, then says so; gate: says so, waits until the test opens the
// gate, then runs the tool. Both tools take --root ROOT first.
const char kWrapper[] = R"(#!/bin/sh
tool="$1"; shift
announce() { echo $$ > "$HOLD_MARK.part" && mv "$HOLD_MARK.part" "$HOLD_MARK"; }
case "$HOLD_MODE" in
partial)
  case "$tool" in
    */lumora-fileop)
      if [ "$3" = install ]; then target="$4"; else target="$5"; fi
      head -c 4096 /dev/zero > "$2$(dirname "$target")/.$(basename "$target").lumora-stopped1" ;;
    *) t=$(mktemp "$2$(dirname "$4")/.com.apple.loginwindow.plist.XXXXXX") && echo partial > "$t" ;;
  esac
  announce; exec sleep 600 ;;
after) "$tool" "$@"; s=$?; announce; exit $s ;;
gate) announce; cat "$HOLD_GATE" > /dev/null; exec "$tool" "$@" ;;
esac
exit 70
)";

struct Started {
    pid_t pid = -1;
};

// Starts `program` in a process group of its own, so that a signal can go
// to it alone or to it and its tools together.
Started start(const QString &program, const QStringList &arguments, const QStringList &environment)
{
    QList<QByteArray> args{QFile::encodeName(program)};
    for (const QString &a : arguments)
        args << a.toUtf8();
    QList<QByteArray> env;
    for (const QString &e : environment)
        env << e.toUtf8();
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (QByteArray &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Started started;
    if (posix_spawn(&started.pid, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0)
        started.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return started;
}

// The raw wait status, or -1 when it has not ended in time (then killed).
int finish(pid_t pid, int timeoutMs = 60000)
{
    QElapsedTimer timer;
    timer.start();
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (timer.elapsed() > timeoutMs) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        QThread::msleep(5);
    }
    return status;
}

bool waitForFile(const QString &path, int timeoutMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo::exists(path)) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(2);
    }
    return true;
}

bool gone(pid_t pid)
{
    QElapsedTimer timer;
    timer.start();
    while (::kill(pid, 0) == 0 || errno != ESRCH) {
        if (timer.elapsed() > 10000)
            return false;
        QThread::msleep(5);
    }
    return true;
}

// Hidden files of ours anywhere on the volume.
QStringList hiddenLeftovers(const QString &root)
{
    static const QRegularExpression ours(
        QStringLiteral("^\\.(.+\\.lumora-[a-z0-9]{8}|com\\.apple\\.loginwindow\\.plist\\.[A-Za-z0-9]{6})$"));
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (ours.match(it.fileName()).hasMatch())
            found << path;
    }
    return found;
}

QString describe(int status)
{
    if (status == -1)
        return QStringLiteral("did not end");
    if (WIFSIGNALED(status))
        return QStringLiteral("signal %1").arg(WTERMSIG(status));
    return QStringLiteral("exit %1").arg(WEXITSTATUS(status));
}

} // namespace

class TestInterruptedSave : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_probe;
    QString m_loginctl;
    QString m_wrapper;
    QStringList m_setArguments;
    QMap<QString, QByteArray> m_uninterrupted;

    QString work(const QString &name) const { return m_work.filePath(name); }

    QStringList environment(const TestVolume &volume, const QString &home, const QStringList &extra = {}) const
    {
        return QStringList{QStringLiteral("PATH=/usr/bin:/bin"),
                           QStringLiteral("LUMORA_AUTH=direct"),
                           QStringLiteral("LUMORA_SYSTEM_ROOT=") + volume.root(),
                           QStringLiteral("LUMORA_RESOURCES=") + volume.resources(),
                           QStringLiteral("HOME=") + home,
                           QStringLiteral("XDG_DATA_HOME=") + home + QStringLiteral("/data"),
                           QStringLiteral("XDG_CONFIG_HOME=") + home + QStringLiteral("/config"),
                           QStringLiteral("QT_QPA_PLATFORM=offscreen")}
               + extra;
    }

    int save(const TestVolume &volume, const QString &home, const QStringList &arguments)
    {
        const Started probe = start(m_probe, arguments, environment(volume, home));
        return probe.pid < 0 ? -1 : finish(probe.pid);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_work.isValid());
        QVERIFY(QDir().mkpath(work(QStringLiteral("tmp"))));
        m_probe = QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-save-probe");
        m_loginctl = QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-loginctl");
        QVERIFY(QFileInfo(m_probe).isExecutable());
        QVERIFY(QFileInfo(m_loginctl).isExecutable());
        m_wrapper = work(QStringLiteral("fake-tool"));
        QVERIFY(writeBytes(m_wrapper, kWrapper));
        QVERIFY(QFile::setPermissions(m_wrapper, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                     | QFileDevice::ExeOwner));
        QVERIFY(pattern(64, 40, 1).save(work(QStringLiteral("logo.png"))));
        QVERIFY(gradient(640, 480, 2).save(work(QStringLiteral("background.jpg")), "JPEG", 95));
        m_setArguments = {QStringLiteral("set"), QStringLiteral("--logo"), work(QStringLiteral("logo.png")),
                          QStringLiteral("--background"), work(QStringLiteral("background.jpg")),
                          QStringLiteral("--message"), QStringLiteral("Stopped \"once\""),
                          QStringLiteral("--host-info"), QStringLiteral("IPAddress")};

        // What the volume looks like after the same save, never stopped.
        TestVolume reference;
        QVERIFY(reference.isValid());
        const int status = save(reference, reference.scratch() + QStringLiteral("/home"), m_setArguments);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(describe(status)));
        m_uninterrupted = snapshot(reference.root());
        QVERIFY(m_uninterrupted.contains(QStringLiteral("Library/Application Support/Lumora/login_background.jpg")));
    }

    void stoppedAtAStep_data()
    {
        QTest::addColumn<QString>("run");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("group");

        const QList<std::tuple<const char *, QString, QString>> steps{
            {"backup", QStringLiteral("/lumora-fileop --root .* backup .*/applelogo_Original\\.tif$"),
             QStringLiteral("partial")},
            {"hidden image copy", QStringLiteral("/lumora-fileop --root .* install .*/applelogo\\.tif$"),
             QStringLiteral("partial")},
            {"hidden background copy", QStringLiteral("/lumora-fileop --root .* install .*/login_background\\.jpg$"),
             QStringLiteral("partial")},
            {"temporary domain file", QStringLiteral("lumora-defaults --root .* write .* LoginwindowText "),
             QStringLiteral("partial")},
            {"pause", QStringLiteral("lumora-defaults --root .* write .* AdminHostInfo "), QStringLiteral("after")},
        };
        const QList<std::tuple<const char *, int, bool>> signals_{
            {"SIGTERM", SIGTERM, false}, {"SIGINT to the group", SIGINT, true}, {"SIGHUP", SIGHUP, false},
            {"SIGKILL", SIGKILL, false}, {"SIGKILL to the group", SIGKILL, true},
        };
        for (const auto &[step, run, mode] : steps) {
            for (const auto &[name, signal, group] : signals_)
                QTest::addRow("%s, %s", step, name) << run << mode << signal << group;
        }
    }

    void stoppedAtAStep()
    {
        QFETCH(QString, run);
        QFETCH(QString, mode);
        QFETCH(int, signal);
        QFETCH(bool, group);
        TestVolume volume;
        QVERIFY(volume.isValid());
        const QString home = volume.scratch() + QStringLiteral("/home");
        const QString mark = volume.scratch() + QStringLiteral("/held");
        const Started probe = start(m_probe, m_setArguments,
                                    environment(volume, home,
                                                {QStringLiteral("LUMORA_PROBE_HOLD=") + run,
                                                 QStringLiteral("LUMORA_PROBE_WRAPPER=") + m_wrapper,
                                                 QStringLiteral("HOLD_MODE=") + mode,
                                                 QStringLiteral("HOLD_MARK=") + mark}));
        QVERIFY(probe.pid > 0);
        if (!waitForFile(mark)) {
            ::kill(-probe.pid, SIGKILL);
            finish(probe.pid);
            QFAIL("the save never reached the step");
        }
        const pid_t tool = pid_t(readBytes(mark).trimmed().toInt());
        QVERIFY(tool > 0);
        if (mode == QLatin1String("partial"))
            QVERIFY(!hiddenLeftovers(volume.root()).isEmpty());

        QCOMPARE(::kill(group ? -probe.pid : probe.pid, signal), 0);
        const int status = finish(probe.pid);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == signal, qPrintable(describe(status)));

        if (signal != SIGKILL) {
            // The step was undone or finished, its tool ended, the locks let go.
            QCOMPARE(hiddenLeftovers(volume.root()), QStringList());
            QVERIFY(gone(tool));
            QVERIFY(!QFileInfo::exists(home + QStringLiteral("/data/Lumora Login/save.lock")));
            QVERIFY(!QFileInfo::exists(volume.hostPath(LoginWindow::kSharedSupportFolder)
                                       + QStringLiteral("/save.lock")));
        } else if (!group) {
            ::kill(tool, SIGKILL); // the fake waits for ever; a real tool would end
        }

        const int next = save(volume, home, m_setArguments);
        QVERIFY2(WIFEXITED(next) && WEXITSTATUS(next) == 0, qPrintable(describe(next)));
        QCOMPARE(hiddenLeftovers(volume.root()), QStringList());
        // As if never stopped; the look the stopped save replaced is kept
        // (and the one it left half-changed, if it changed anything).
        const auto after = snapshot(volume.root());
        QCOMPARE(withoutHistory(after), withoutHistory(m_uninterrupted));
        QVERIFY(historyPictures(after).contains(historyPictures(m_uninterrupted)));
        QVERIFY(!historyPictures(m_uninterrupted).isEmpty());
    }

    void twoHomesOneVolume()
    {
        // One save holds the volume at its message write; a second user's
        // save of another setting waits its turn, and both land.
        TestVolume volume;
        QVERIFY(volume.isValid());
        const QString gate = volume.scratch() + QStringLiteral("/gate");
        const QString mark = volume.scratch() + QStringLiteral("/held");
        QVERIFY(::mkfifo(QFile::encodeName(gate).constData(), 0600) == 0);
        const Started first = start(m_probe, {QStringLiteral("set"), QStringLiteral("--message"), QStringLiteral("From A")},
                                    environment(volume, volume.scratch() + QStringLiteral("/a"),
                                                {QStringLiteral("LUMORA_PROBE_HOLD=lumora-defaults --root .* write .* LoginwindowText "),
                                                 QStringLiteral("LUMORA_PROBE_WRAPPER=") + m_wrapper,
                                                 QStringLiteral("HOLD_MODE=gate"), QStringLiteral("HOLD_MARK=") + mark,
                                                 QStringLiteral("HOLD_GATE=") + gate}));
        QVERIFY(first.pid > 0);
        QVERIFY(waitForFile(mark));
        const Started second = start(m_loginctl, {QStringLiteral("set"), QStringLiteral("--host-info"), QStringLiteral("2")},
                                     environment(volume, volume.scratch() + QStringLiteral("/b")));
        QVERIFY(second.pid > 0);
        QThread::msleep(1500);
        int status = 0;
        QCOMPARE(::waitpid(second.pid, &status, WNOHANG), 0); // still waiting for its turn

        const int fd = ::open(QFile::encodeName(gate).constData(), O_WRONLY);
        QVERIFY(fd >= 0);
        ::close(fd);
        const int a = finish(first.pid);
        const int b = finish(second.pid);
        QVERIFY2(WIFEXITED(a) && WEXITSTATUS(a) == 0, qPrintable(describe(a)));
        QVERIFY2(WIFEXITED(b) && WEXITSTATUS(b) == 0, qPrintable(describe(b)));
        const auto domain = persistentDomainForName(volume.volume(), LoginWindow::kDomain);
        QVERIFY(domain);
        QCOMPARE(stringValue(*domain, LoginWindow::kMessageKey), QStringLiteral("From A"));
        QCOMPARE(stringValue(*domain, LoginWindow::kHostInfoKey), QStringLiteral("IPAddress"));
    }

    void lockOfAnotherMachine_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("ageDays");
        QTest::addColumn<bool>("blocks");
        QTest::newRow("user lock in a shared home, a month old") << "user" << 30 << false;
        QTest::newRow("volume lock, two days old") << "volume" << 2 << false;
        QTest::newRow("volume lock, in use") << "volume" << 0 << true;
    }

    void lockOfAnotherMachine()
    {
        QFETCH(QString, where);
        QFETCH(int, ageDays);
        QFETCH(bool, blocks);
        TestVolume volume;
        QVERIFY(volume.isValid());
        const QString home = volume.scratch() + QStringLiteral("/home");
        const QString folder = where == QLatin1String("user") ? home + QStringLiteral("/data/Lumora Login")
                                                              : volume.hostPath(LoginWindow::kSharedSupportFolder);
        QVERIFY(QDir().mkpath(folder));
        const QString lock = folder + QStringLiteral("/save.lock");
        // A save killed on another machine: its process cannot be asked about.
        QVERIFY(writeBytes(lock, "4242\nlumora-loginctl\nfar-away.example.org\n"));
        QFile file(lock);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-ageDays), QFileDevice::FileModificationTime));
        file.close();

        QProcess process;
        process.setProcessEnvironment([&] {
            QProcessEnvironment env;
            for (const QString &e : environment(volume, home))
                env.insert(e.section(QLatin1Char('='), 0, 0), e.section(QLatin1Char('='), 1));
            return env;
        }());
        process.start(m_loginctl, {QStringLiteral("set"), QStringLiteral("--message"), QStringLiteral("Took its turn")});
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        const auto message = stringValue(persistentDomainForName(volume.volume(), LoginWindow::kDomain).value_or(QVariantMap()),
                                         LoginWindow::kMessageKey);
        if (blocks) {
            QCOMPARE(process.exitCode(), 1);
            // The message says which file to look at.
            QVERIFY2(err.contains(QStringLiteral("(it holds %1)").arg(lock)), qPrintable(err));
            QVERIFY(message != QStringLiteral("Took its turn"));
            QVERIFY(QFileInfo::exists(lock));
        } else {
            QVERIFY2(process.exitCode() == 0, qPrintable(err));
            QCOMPARE(message, QStringLiteral("Took its turn"));
            QVERIFY(!QFileInfo::exists(lock));
        }
    }

    // A save killed at once after making a lock file leaves it empty (or
    // naming a process that is gone); the next save takes it over at once,
    // rather than wait for it to age.
    void lockOfAKilledSave_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QByteArray>("content");
        const QByteArray gone = "2147483646\nlumora-loginctl\n" + QSysInfo::machineHostName().toUtf8() + '\n';
        QTest::newRow("user lock, empty") << "user" << QByteArray();
        QTest::newRow("volume lock, empty") << "volume" << QByteArray();
        QTest::newRow("settings lock, empty") << "settings" << QByteArray();
        QTest::newRow("volume lock of a process gone") << "volume" << gone;
        QTest::newRow("user lock of a process gone") << "user" << gone;
    }

    void lockOfAKilledSave()
    {
        QFETCH(QString, where);
        QFETCH(QByteArray, content);
        TestVolume volume;
        QVERIFY(volume.isValid());
        const QString home = volume.scratch() + QStringLiteral("/home");
        const QString lock = where == QLatin1String("user")
                                 ? home + QStringLiteral("/data/Lumora Login/save.lock")
                             : where == QLatin1String("volume")
                                 ? volume.hostPath(LoginWindow::kSharedSupportFolder) + QStringLiteral("/save.lock")
                                 : home + QStringLiteral("/config/Lumora/Lumora Login.ini.lock");
        QVERIFY(QDir().mkpath(QFileInfo(lock).path()));
        QVERIFY(writeBytes(lock, content));

        QElapsedTimer timer;
        timer.start();
        // A new logo also notes its backup in the settings, through their lock.
        const int status = save(volume, home,
                                {QStringLiteral("set"), QStringLiteral("--logo"), work(QStringLiteral("logo.png")),
                                 QStringLiteral("--message"), QStringLiteral("Took its turn")});
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(describe(status)));
        QVERIFY2(timer.elapsed() < 8000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(stringValue(persistentDomainForName(volume.volume(), LoginWindow::kDomain).value_or(QVariantMap()),
                             LoginWindow::kMessageKey),
                 QStringLiteral("Took its turn"));
    }
};

QTEST_GUILESS_MAIN(TestInterruptedSave)
#include "tst_interruptedsave.moc"
