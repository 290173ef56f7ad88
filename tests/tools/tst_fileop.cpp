// lumora-fileop, run for real on a throwaway volume: each operation with a
// plain file, a link (off the volume, on it, a loop), a FIFO and a folder
// in its final place, and with a folder on the way that is a link. Whatever
// happens, a host folder beside the volume stays exactly as it was.

#include "tests/fakes/FileBytes.h"
#include "tests/fakes/HostileVolume.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The login agent's images: a folder whose files the tool may change.
#define IMAGES "/System/Library/CoreServices/SecurityAgent.app/Contents/Resources"
const QString kShared = QStringLiteral("/Library/Application Support/Lumora");

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList &arguments, const QByteArray &input = {}, bool walk = false)
{
    QProcess process;
    if (walk) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMORA_FILEOP_LOOKUP"), QStringLiteral("walk"));
        process.setProcessEnvironment(env);
    }
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-fileop"), arguments);
    process.write(input);
    process.closeWriteChannel();
    ToolRun run;
    if (!process.waitForFinished(20000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

// A volume with one folder and one file in it, and a host folder beside it
// that links on the volume point at.
struct Place {
    QTemporaryDir dir;
    QString root() const { return dir.path() + QStringLiteral("/volume"); }
    QString host() const { return dir.path() + QStringLiteral("/host"); }
    QString onVolume(const QString &path) const { return root() + path; }
    // The volume path each operation is tried on.
    QString target = QStringLiteral(IMAGES "/MacOSX.tif");

    bool make()
    {
        return QDir().mkpath(onVolume(QStringLiteral(IMAGES "/Other"))) && QDir().mkpath(host())
               && QDir().mkpath(onVolume(QStringLiteral("/System/Library/CoreServices")))
               && writeBytes(onVolume(QStringLiteral("/System/Library/CoreServices/SystemVersion.plist")),
                             "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>ProductVersion</key>"
                             "<string>10.4.11</string></dict></plist>")
               && writeBytes(onVolume(QStringLiteral(IMAGES "/applelogo.tif")), "old file")
               && ::chmod(QFile::encodeName(onVolume(QStringLiteral(IMAGES "/applelogo.tif"))).constData(), 0640) == 0
               && writeBytes(onVolume(QStringLiteral(IMAGES "/Other/inside.tif")), "inside")
               && writeBytes(host() + QStringLiteral("/file.tif"), "host file");
    }

    // What stands at the target.
    bool lay(const QString &what)
    {
        const QString target = onVolume(this->target);
        if (what == QLatin1String("nothing"))
            return true;
        if (what == QLatin1String("file"))
            return writeBytes(target, "old target") && ::chmod(QFile::encodeName(target).constData(), 0604) == 0;
        if (what == QLatin1String("link off the volume"))
            return QFile::link(host() + QStringLiteral("/file.tif"), target);
        if (what == QLatin1String("link on the volume"))
            return QFile::link(QStringLiteral(IMAGES "/Other/inside.tif"), target);
        if (what == QLatin1String("link loop"))
            return QFile::link(QFileInfo(target).fileName(), target);
        if (what == QLatin1String("fifo"))
            return ::mkfifo(QFile::encodeName(target).constData(), 0644) == 0;
        if (what == QLatin1String("folder"))
            return QDir().mkdir(target);
        // The folder itself swapped for a link to the host folder.
        if (what == QLatin1String("folder is a link"))
            return QDir(onVolume(QStringLiteral(IMAGES))).removeRecursively()
                   && QFile::link(host(), onVolume(QStringLiteral(IMAGES)));
        return false;
    }
};

const QStringList kLayouts{QStringLiteral("nothing"),   QStringLiteral("file"),
                           QStringLiteral("link off the volume"), QStringLiteral("link on the volume"),
                           QStringLiteral("link loop"), QStringLiteral("fifo"),
                           QStringLiteral("folder"),    QStringLiteral("folder is a link")};

} // namespace

class TestFileOp : public QObject {
    Q_OBJECT

private slots:
    // Each operation against each thing in its final place: what it may do
    // and what it must refuse. `expected` is the exit status.
    void finalPlace_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("walk");
        // install and chmod want a regular file (install also takes none);
        // backup never replaces whatever is there; remove is for our own
        // hidden names only (checked below), so it is not in this table.
        const QMap<QString, QList<int>> outcomes{
            //                      nothing file off  on  loop fifo folder folder-link
            {QStringLiteral("install"), {0, 0, 1, 1, 1, 1, 1, 1}},
            {QStringLiteral("chmod"), {1, 0, 1, 1, 1, 1, 1, 1}},
            {QStringLiteral("backup"), {0, 0, 0, 0, 0, 0, 0, 1}},
            {QStringLiteral("move-out"), {1, 0, 1, 1, 1, 1, 1, 1}},
        };
        // The same with the kernel's lookup in the root and with the walk
        // of older kernels.
        for (bool walk : {false, true}) {
            for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it) {
                for (int i = 0; i < kLayouts.size(); ++i)
                    QTest::addRow("%s, %s%s", qPrintable(it.key()), qPrintable(kLayouts[i]), walk ? ", walk" : "")
                        << it.key() << kLayouts[i] << it.value()[i] << walk;
            }
        }
    }

    void finalPlace()
    {
        QFETCH(QString, operation);
        QFETCH(QString, layout);
        QFETCH(int, expected);
        QFETCH(bool, walk);
        Place p;
        if (operation == QLatin1String("backup"))
            p.target = QStringLiteral(IMAGES "/applelogo_Original.tif");
        else if (operation == QLatin1String("move-out"))
            p.target = QStringLiteral(IMAGES "/applelogo.png");
        QVERIFY(p.make());
        QVERIFY(p.lay(layout));
        const QString target = p.onVolume(p.target);
        const mode_t modeBefore = modeOf(target);
        const QByteArray bytesBefore = S_ISREG(modeBefore) ? readBytes(target) : QByteArray();
        const auto hostBefore = HostileVolume::checksums(p.host());

        QStringList arguments{QStringLiteral("--root"), p.root(), operation};
        if (operation == QLatin1String("chmod"))
            arguments << QStringLiteral("664");
        if (operation == QLatin1String("backup"))
            arguments << QStringLiteral(IMAGES "/applelogo.tif");
        arguments << p.target;
        const ToolRun run = runTool(arguments, "new content", walk);

        QCOMPARE(run.exitCode, expected);
        QCOMPARE(HostileVolume::checksums(p.host()), hostBefore);
        // No hidden file is left behind, whatever happened.
        if (layout != QLatin1String("folder is a link"))
            QCOMPARE(QDir(p.onVolume(QStringLiteral(IMAGES))).entryList({QStringLiteral(".*lumora-*")},
                                                                           QDir::AllEntries | QDir::Hidden),
                     QStringList());
        if (expected != 0) {
            // A clear message, and nothing changed.
            QVERIFY2(run.err.startsWith("lumora-fileop: ") && run.err.contains("nothing was changed"), run.err);
            QCOMPARE(modeOf(target), modeBefore);
            if (S_ISREG(modeBefore))
                QCOMPARE(readBytes(target), bytesBefore);
            if (layout != QLatin1String("folder is a link"))
                QCOMPARE(readBytes(p.onVolume(QStringLiteral(IMAGES "/Other/inside.tif"))), QByteArray("inside"));
            return;
        }
        if (operation == QLatin1String("install")) {
            QCOMPARE(readBytes(target), QByteArray("new content"));
            QCOMPARE(modeOf(target) & 0777, layout == QLatin1String("file") ? mode_t(0604) : mode_t(0644) & ~umaskNow());
        } else if (operation == QLatin1String("chmod")) {
            QCOMPARE(modeOf(target) & 0777, mode_t(0664));
        } else if (operation == QLatin1String("backup")) {
            // Made when nothing was there, with the file's mode; else the old one stays.
            if (layout == QLatin1String("nothing")) {
                QCOMPARE(readBytes(target), QByteArray("old file"));
                QCOMPARE(modeOf(target) & 0777, mode_t(0640));
            } else {
                QCOMPARE(modeOf(target), modeBefore);
            }
        } else if (operation == QLatin1String("move-out")) {
            QCOMPARE(run.out, bytesBefore);
            QVERIFY(!QFileInfo::exists(target));
        }
    }

    // Paths are the volume's: ".." stops at its root, absolute links start
    // there, so nothing reaches the host folder beside it.
    void pathsStayOnTheVolume_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("lands");
        QTest::newRow("climbing") << QStringLiteral("/../..") + kShared + QStringLiteral("/new.jpg")
                                  << kShared + QStringLiteral("/new.jpg");
        QTest::newRow("through a link to the host")
            << QStringLiteral("/Up") + kShared + QStringLiteral("/new.jpg") << kShared + QStringLiteral("/new.jpg");
    }

    void pathsStayOnTheVolume()
    {
        QFETCH(QString, path);
        QFETCH(QString, lands);
        Place p;
        QVERIFY(p.make());
        QVERIFY(QFile::link(QStringLiteral("../.."), p.onVolume(QStringLiteral("/Up"))));
        QVERIFY(QDir().mkpath(p.onVolume(kShared)));
        const auto hostBefore = HostileVolume::checksums(p.host());
        const ToolRun run = runTool({QStringLiteral("--root"), p.root(), QStringLiteral("install"), path}, "placed");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(readBytes(p.onVolume(lands)), QByteArray("placed"));
        QCOMPARE(HostileVolume::checksums(p.host()), hostBefore);
    }

    void makeFolder_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("expected");
        QTest::newRow("missing with its parent") << QStringLiteral("missing") << 0;
        QTest::newRow("already there") << QStringLiteral("there") << 0;
        QTest::newRow("a file in the way") << QStringLiteral("file") << 1;
        QTest::newRow("a link to the host in the way") << QStringLiteral("link") << 1;
    }

    void makeFolder()
    {
        QFETCH(QString, layout);
        QFETCH(int, expected);
        Place p;
        QVERIFY(p.make());
        const QString made = p.onVolume(QStringLiteral("/Library/Application Support"));
        QVERIFY(QDir().mkpath(p.onVolume(QStringLiteral("/Library"))));
        if (layout == QLatin1String("there"))
            QVERIFY(QDir().mkpath(made + QStringLiteral("/Lumora")));
        else if (layout == QLatin1String("file"))
            QVERIFY(writeBytes(made, "in the way"));
        else if (layout == QLatin1String("link"))
            QVERIFY(QFile::link(p.host(), made));
        const auto hostBefore = HostileVolume::checksums(p.host());
        const ToolRun run =
            runTool({QStringLiteral("--root"), p.root(), QStringLiteral("mkdir"), kShared});
        QCOMPARE(run.exitCode, expected);
        QCOMPARE(QFileInfo(made + QStringLiteral("/Lumora")).isDir(), expected == 0);
        QCOMPARE(HostileVolume::checksums(p.host()), hostBefore);
    }

    void removeTakesOnlyOurOwnFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("link");
        QTest::addColumn<int>("expected");
        QTest::newRow("our side file") << QStringLiteral(".file.tif.lumora-ab12cd34") << false << 0;
        QTest::newRow("our side file as a link") << QStringLiteral(".file.tif.lumora-ab12cd34") << true << 0;
        QTest::newRow("a temporary domain file") << QStringLiteral(".com.apple.loginwindow.plist.Ab12Cd") << false << 0;
        QTest::newRow("a file of the volume") << QStringLiteral("file.tif") << false << 1;
        QTest::newRow("a name of almost our shape") << QStringLiteral(".file.tif.lumora-short") << false << 1;
    }

    void removeTakesOnlyOurOwnFiles()
    {
        QFETCH(QString, name);
        QFETCH(bool, link);
        QFETCH(int, expected);
        Place p;
        QVERIFY(p.make());
        const QString path = p.onVolume(QStringLiteral(IMAGES "/") + name);
        if (link) {
            QVERIFY(QFile::link(p.host() + QStringLiteral("/file.tif"), path));
        } else if (!QFileInfo::exists(path)) {
            QVERIFY(writeBytes(path, "partial"));
        }
        const ToolRun run =
            runTool({QStringLiteral("--root"), p.root(), QStringLiteral("remove"), QStringLiteral(IMAGES "/") + name});
        QCOMPARE(run.exitCode, expected);
        QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), expected != 0);
        QCOMPARE(readBytes(p.host() + QStringLiteral("/file.tif")), QByteArray("host file"));
    }

    // Told to stop while it copies, it puts nothing in place and leaves no
    // hidden file.
    void stoppedInstallLeavesNothing()
    {
        Place p;
        QVERIFY(p.make());
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-fileop"),
                      {QStringLiteral("--root"), p.root(), QStringLiteral("install"), QStringLiteral(IMAGES "/applelogo.tif")});
        QVERIFY(process.waitForStarted());
        process.write(QByteArray(1 << 16, 'x'));
        const QString folder = p.onVolume(QStringLiteral(IMAGES));
        for (int i = 0; i < 500 && QDir(folder).entryList({QStringLiteral(".*lumora-*")}, QDir::Files | QDir::Hidden).isEmpty(); ++i)
            QTest::qWait(10);
        QCOMPARE(QDir(folder).entryList({QStringLiteral(".*lumora-*")}, QDir::Files | QDir::Hidden).size(), 1);
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(readBytes(p.onVolume(QStringLiteral(IMAGES "/applelogo.tif"))), QByteArray("old file"));
        QCOMPARE(QDir(folder).entryList({QStringLiteral(".*lumora-*")}, QDir::Files | QDir::Hidden), QStringList());
    }

    // The preference tool with a root looks the domain's folder up inside
    // the volume: a folder that is a link to the host leads nowhere.
    void preferenceWritesStayOnTheVolume_data()
    {
        QTest::addColumn<bool>("folderIsALink");
        QTest::newRow("plain folder") << false;
        QTest::newRow("folder is a link to the host") << true;
    }

    void preferenceWritesStayOnTheVolume()
    {
        QFETCH(bool, folderIsALink);
        Place p;
        QVERIFY(p.make());
        QVERIFY(writeBytes(p.host() + QStringLiteral("/domain.plist"),
                           "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>"));
        QVERIFY(QDir().mkpath(p.onVolume(QStringLiteral("/Library"))));
        if (folderIsALink)
            QVERIFY(QFile::link(p.host(), p.onVolume(QStringLiteral("/Library/Preferences"))));
        else
            QVERIFY(QDir().mkpath(p.onVolume(QStringLiteral("/Library/Preferences"))));
        const auto hostBefore = HostileVolume::checksums(p.host());
        QProcess tool;
        tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-defaults"),
                   {QStringLiteral("--root"), p.root(), QStringLiteral("write"),
                    QStringLiteral("/Library/Preferences/com.apple.loginwindow"),
                    QStringLiteral("Key"), QStringLiteral("value")});
        QVERIFY(tool.waitForFinished(20000));
        QCOMPARE(tool.exitCode(), folderIsALink ? 1 : 0);
        if (!folderIsALink)
            QVERIFY(readBytes(p.onVolume(QStringLiteral("/Library/Preferences/com.apple.loginwindow.plist")))
                        .startsWith("bplist00"));
        QCOMPARE(HostileVolume::checksums(p.host()), hostBefore);
    }

    // Either tool run as root by anyone: each request a save never makes is
    // refused with a message, and neither the host nor the volume changes.
    // ROOT stands for the volume, HOST for the host folder beside it.
    void refusesWhatNoSaveAsks_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments");
        const QString version = QStringLiteral("/System/Library/CoreServices/SystemVersion.plist");
        auto row = [](const char *name, const char *tool, const QStringList &arguments) {
            QTest::newRow(name) << QString::fromLatin1(tool) << arguments;
        };
        row("install, root /", "lumora-fileop", {"--root", "/", "install", "HOST/file.tif"});
        row("install, root a link to /", "lumora-fileop", {"--root", "HOST/slash", "install", "HOST/file.tif"});
        row("install, root a link to / inside a folder", "lumora-fileop",
            {"--root", "HOST/slash/", "install", "HOST/file.tif"});
        row("install, root without a system version", "lumora-fileop",
            {"--root", "HOST", "install", "/file.tif"});
        row("install over the system version", "lumora-fileop", {"--root", "ROOT", "install", version});
        row("install beside the images", "lumora-fileop", {"--root", "ROOT", "install", IMAGES "/other.tif"});
        row("chmod setuid", "lumora-fileop", {"--root", "ROOT", "chmod", "4777", IMAGES "/applelogo.tif"});
        row("chmod world-writable", "lumora-fileop", {"--root", "ROOT", "chmod", "666", IMAGES "/applelogo.tif"});
        row("chmod the system version", "lumora-fileop", {"--root", "ROOT", "chmod", "644", version});
        row("move-out the system version", "lumora-fileop", {"--root", "ROOT", "move-out", version});
        row("move-out the logo itself", "lumora-fileop", {"--root", "ROOT", "move-out", IMAGES "/applelogo.tif"});
        row("move-out a hard link to a host file", "lumora-fileop",
            {"--root", "ROOT", "move-out", IMAGES "/applelogo.gif"});
        row("chmod a hard link to a host file", "lumora-fileop", {"--root", "ROOT", "chmod", "664", IMAGES "/MacOSX.tif"});
        row("backup under another name", "lumora-fileop",
            {"--root", "ROOT", "backup", IMAGES "/applelogo.tif", IMAGES "/copy.tif"});
        row("backup of the system version", "lumora-fileop",
            {"--root", "ROOT", "backup", version, "/System/Library/CoreServices/SystemVersion_Original.plist"});
        row("mkdir elsewhere", "lumora-fileop", {"--root", "ROOT", "mkdir", "/Library/Elsewhere"});
        row("defaults, root /", "lumora-defaults", {"--root", "/", "write", "HOST/domain", "Key", "value"});
        row("defaults, root a link to /", "lumora-defaults",
            {"--root", "HOST/slash", "write", "HOST/domain", "Key", "value"});
        row("defaults, another domain", "lumora-defaults",
            {"--root", "ROOT", "write", "/Library/Preferences/other", "Key", "value"});
        row("defaults, the system version", "lumora-defaults",
            {"--root", "ROOT", "write", "/System/Library/CoreServices/SystemVersion", "Key", "value"});
    }

    void refusesWhatNoSaveAsks()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        Place p;
        QVERIFY(p.make());
        QVERIFY(QFile::link(QStringLiteral("/"), p.host() + QStringLiteral("/slash")));
        QVERIFY(writeBytes(p.host() + QStringLiteral("/domain.plist"),
                           "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>"));
        QVERIFY(QDir().mkpath(p.onVolume(QStringLiteral("/Library/Preferences"))));
        // Other names of a host file, planted on the volume.
        for (const char *name : {IMAGES "/applelogo.gif", IMAGES "/MacOSX.tif"})
            QVERIFY(::link(QFile::encodeName(p.host() + QStringLiteral("/file.tif")).constData(),
                           QFile::encodeName(p.onVolume(QString::fromLatin1(name))).constData())
                    == 0);
        for (QString &argument : arguments)
            argument.replace(QLatin1String("ROOT"), p.root()).replace(QLatin1String("HOST"), p.host());
        const auto hostBefore = HostileVolume::checksums(p.host());
        const auto volumeBefore = HostileVolume::checksums(p.root());

        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + tool, arguments);
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(20000));
        const QByteArray err = process.readAllStandardError();
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(err.startsWith(tool.toLatin1() + ": ") && err.contains("nothing was changed"), err);
        QCOMPARE(process.readAllStandardOutput(), QByteArray());
        QCOMPARE(HostileVolume::checksums(p.host()), hostBefore);
        QCOMPARE(HostileVolume::checksums(p.root()), volumeBefore);
    }

private:
    static mode_t umaskNow()
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
    }
};

QTEST_GUILESS_MAIN(TestFileOp)
#include "tst_fileop.moc"
