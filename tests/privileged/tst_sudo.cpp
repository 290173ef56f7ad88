// The sudo back end against the real sudo. Needs root (to make a throwaway
// user with a password and a sudoers entry that asks for it) and sudo;
// elsewhere it skips. The user and the entry go away even when a check fails.

#include "platform/Process.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kUser = "lumoraprobe";
const QString kSudoers = QStringLiteral("/etc/sudoers.d/lumora-probe");

void removeProbeUser()
{
    (void)Process::run("/usr/sbin/userdel", {"--force", kUser}, true);
    QFile::remove(kSudoers);
}

// Removes the user and the sudoers entry however the test leaves.
struct ProbeUserGuard {
    ~ProbeUserGuard() { removeProbeUser(); }
};

} // namespace

class TestSudo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanupTestCase() { removeProbeUser(); }

    void realSudoAsksOnceAndForgetsOnReset()
    {
        if (::geteuid() != 0)
            QSKIP("the real sudo test needs root to create a throwaway user; run the tests as root (as CI does)");
        for (const char *tool : {"/usr/bin/sudo", "/usr/sbin/useradd", "/usr/sbin/userdel", "/usr/sbin/chpasswd"}) {
            if (!QFileInfo(QString::fromLatin1(tool)).isExecutable())
                QSKIP(qPrintable(QStringLiteral("the real sudo test needs %1").arg(QLatin1String(tool))));
        }
        const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-sudo-probe");
        QVERIFY(QFileInfo(probe).isExecutable());

        removeProbeUser(); // a leftover of an interrupted run
        ProbeUserGuard guard;
        const QByteArray password = "Lp-" + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
        QVERIFY(Process::run("/usr/sbin/useradd", {"--no-create-home", "--shell", "/bin/sh", kUser}, true)
                    .succeeded());
        const auto chpasswd = Process::spawnWithInput("/usr/sbin/chpasswd", {}, kUser + ':' + password + '\n', true);
        QVERIFY(chpasswd);
        QVERIFY(Process::waitFor(*chpasswd).succeeded());
        {
            QFile entry(kSudoers);
            QVERIFY(entry.open(QIODevice::WriteOnly));
            entry.write(kUser + " ALL=(root) ALL\n");
        }
        QVERIFY(QFile::setPermissions(kSudoers, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        if (QFileInfo(QStringLiteral("/usr/sbin/visudo")).isExecutable())
            QVERIFY(Process::run("/usr/sbin/visudo", {"-c", "-q", "-f", QFile::encodeName(kSudoers)}, true)
                        .succeeded());

        const passwd *account = ::getpwnam(kUser.constData());
        QVERIFY(account);
        const uid_t uid = account->pw_uid;
        const gid_t gid = account->pw_gid;

        // Everything the probe touches is in a folder it can use.
        QTemporaryDir dir(QStringLiteral("/tmp/lumora-sudo-XXXXXX"));
        QVERIFY(dir.isValid());
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
        const QString source = dir.filePath(QStringLiteral("source"));
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("payload") == 7);
        }
        QVERIFY(::chmod(QFile::encodeName(source).constData(), 0644) == 0);
        const QString localProbe = dir.filePath(QStringLiteral("lumora-sudo-probe"));
        QVERIFY(QFile::copy(probe, localProbe));
        QVERIFY(::chmod(QFile::encodeName(localProbe).constData(), 0755) == 0);

        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("USER"), QString::fromLatin1(kUser));
        env.insert(QStringLiteral("LOGNAME"), QString::fromLatin1(kUser));
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        // No terminal, the user's own ids: as the window runs from a desktop.
        process.setChildProcessModifier([uid, gid] {
            ::setsid();
            if (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(125);
        });
        process.start(localProbe, {QStringLiteral("not-the-password"), QString::fromLatin1(password), source,
                                   dir.path()});
        QVERIFY(process.waitForFinished(120000));
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray err = process.readAllStandardError();
        qInfo().noquote() << "probe said:\n" + QString::fromLocal8Bit(out).trimmed();
        if (!err.isEmpty())
            qInfo().noquote() << "probe stderr:\n" + QString::fromLocal8Bit(err).trimmed();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(!out.contains("FAILED"), out.constData());
        QCOMPARE(out.count("ok "), 6);
        QCOMPARE(process.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSudo)
#include "tst_sudo.moc"
