// The exact tools a save runs, in order, with their argument vectors, as
// the recording authorization double sees them. The double really runs
// each tool it lets through, so the volume changes as it would.

#include "tests/save/SaveFixture.h"

#include "controller/LookComparison.h"
#include "controller/SavedLooks.h"
#include "platform/Image.h"
#include "platform/LookFiles.h"
#include "tests/fakes/InstallRuns.h"
#include "tests/fakes/LogCapture.h"

#include <QImageReader>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

using namespace SaveTesting;
using Runs = QList<QStringList>;
using Answer = RecordingAuthorizationService::Answer;

namespace {


class RecordedSave : public SaveFixture {
public:
    explicit RecordedSave(const QString &release = QStringLiteral("10.4.11"))
        : SaveFixture({.release = release}, std::make_unique<RecordingAuthorizationService>())
    {
    }
    [[nodiscard]] QString tool() const { return staging().preferenceToolPath(); }
    using SaveFixture::staging;
    // A staging file by its name.
    [[nodiscard]] static QString staging(const QString &name)
    {
        return Staging::applicationSupportPath() + QLatin1Char('/') + name;
    }
    [[nodiscard]] static QString trash(const QString &name)
    {
        return Staging::applicationSupportPath() + QStringLiteral("/trash/") + name;
    }
    [[nodiscard]] QStringList defaultsRun(const QString &verb, const QString &key,
                                          const std::optional<QString> &value = std::nullopt) const
    {
        QStringList run{tool(), QStringLiteral("--root"), volume.root(), verb, LoginWindow::kDomain, key};
        if (value)
            run << *value;
        return run;
    }
    [[nodiscard]] Runs newPictureRuns() const
    {
        const QString installed = host(LoginWindow::kInstalledBackground);
        Runs runs = InstallRuns::copyIntoPlace(volume.root(), installed);
        return runs + Runs{defaultsRun(QStringLiteral("write"), LoginWindow::kDesktopPictureKey, LoginWindow::kInstalledBackground),
                fileRun({QStringLiteral("chmod"), QStringLiteral("664"), LoginWindow::kInstalledBackground})};
    }
    // What keeping the volume's look runs first, when a marked setting
    // differs from the volume: the history folder the first time, each of
    // its pictures not stored yet, then its record, named by the (fixed)
    // time of the save.
    [[nodiscard]] Runs keepLookRuns() const
    {
        const QList<MarkedSetting> marked = compareMarkedSettings(controller);
        if (std::all_of(marked.cbegin(), marked.cend(), [](const MarkedSetting &m) { return m.comparison.holds; }))
            return {};
        const QString folder = LookFiles::kFolder + QLatin1Char('/');
        Runs runs;
        if (!QFileInfo(host(LookFiles::kFolder)).isDir())
            runs << fileRun({QStringLiteral("mkdir"), LookFiles::kFolder});
        QSet<QString> stored;
        for (const QString &path : SavedLooks::current(controller).pictures) {
            const QString name = LookFiles::pictureName(QString::fromLatin1(
                QCryptographicHash::hash(readBytes(host(path)), QCryptographicHash::Sha256).toHex()));
            if (!QFileInfo::exists(host(folder + name)) && !stored.contains(name))
                runs << fileRun({QStringLiteral("install"), folder + name});
            stored.insert(name);
        }
        const qsizetype kept = QDir(host(LookFiles::kFolder)).entryList({QStringLiteral("look-*")}).size();
        const QString stamp = clock.now().toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
        const QString id = kept == 0 ? stamp : QStringLiteral("%1-%2").arg(stamp).arg(kept + 1);
        runs << fileRun({QStringLiteral("install"), folder + LookFiles::recordName(id)});
        return runs;
    }
    // The volume without the history a save writes into it (and the shared
    // folder, made as its parent; anything else in it still counts).
    [[nodiscard]] static QMap<QString, QByteArray> withoutHistory(QMap<QString, QByteArray> tree)
    {
        const QString looks = LookFiles::kFolder.mid(1);
        tree.removeIf([&looks](const auto &entry) { return entry.key().startsWith(looks); });
        tree.remove(LoginWindow::kSharedSupportFolder.mid(1));
        return tree;
    }
    [[nodiscard]] Runs imageRuns(const QString &destination, const QString &stagingName, bool firstSave) const
    {
        const QString file = host(destination);
        Runs runs;
        if (firstSave)
            runs += InstallRuns::backup(volume.root(), file, LumoraLogin::backupPathForPath(file));
        runs += InstallRuns::copyIntoPlace(volume.root(), file);
        Q_UNUSED(stagingName);
        return runs;
    }
    [[nodiscard]] QStringList fileRun(const QStringList &operation) const
    {
        return InstallRuns::fileOperation(volume.root(), operation);
    }
    // Another format of the logo taken off the volume into the trash.
    [[nodiscard]] QStringList moveOutRun(const QString &name) const
    {
        return fileRun({QStringLiteral("move-out"), QFileInfo(LoginWindow::kLogoFirstPlace).path() + QLatin1Char('/') + name});
    }
    [[nodiscard]] QString resource(const QString &name) const
    {
        return QFileInfo(host(LoginWindow::kLogoFirstPlace)).absolutePath() + QLatin1Char('/') + name;
    }
    void plant(const QString &name) const
    {
        QFile file(resource(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("other format");
    }
};

QString joined(const Runs &runs)
{
    QStringList lines;
    for (const QStringList &run : runs)
        lines << run.join(QLatin1String(" | "));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

// Compares the runs and, when they differ, shows both lists whole.
#define COMPARE_RUNS(actual, expected)                                                                       \
    do {                                                                                                     \
        const Runs a_ = (actual);                                                                            \
        const Runs e_ = (expected);                                                                          \
        QVERIFY2(a_ == e_, qPrintable(QStringLiteral("\nactual:\n%1\nexpected:\n%2").arg(joined(a_), joined(e_)))); \
    } while (false)

class TestSaveRuns : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void newPicture_data();
    void newPicture();
    void revert_data();
    void revert();
    void firstAndSecondLogoSave();
    void restoreThenSave_data();
    void restoreThenSave();
    void restoreThenDroppedPictureThenSave();
    void refusedWriteSetsNoMode();
    void failedCopyStopsTheImageSave_data();
    void failedCopyStopsTheImageSave();
    void cancelledPasswordRunsNothing();
    void messageArgument_data();
    void messageArgument();
    void emptyMessage();

private:
    QTemporaryDir m_home;
};

void TestSaveRuns::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    usePrivateHome(m_home);
}

void TestSaveRuns::init()
{
    QDir(Staging::applicationSupportPath()).removeRecursively();
}

void TestSaveRuns::newPicture_data()
{
    QTest::addColumn<QString>("release");
    QTest::newRow("10.3.9") << QStringLiteral("10.3.9");
    QTest::newRow("10.4.11") << QStringLiteral("10.4.11");
}

void TestSaveRuns::newPicture()
{
    QFETCH(QString, release);
    RecordedSave f(release);
    const QByteArray tigerDefault = readBytes(f.host(LoginWindow::kTigerDefaultBackground));
    f.controller.setBackground(Image::fromPixels(gradient(64, 48, 1)));
    const Runs keep = f.keepLookRuns();
    QVERIFY(!keep.isEmpty());
    QVERIFY(f.controller.save().succeeded());

    COMPARE_RUNS(f.recorder->runs(), keep + f.newPictureRuns());
    // One reference and one password for the whole save.
    QCOMPARE(f.recorder->creations(), 1);
    QCOMPARE(f.recorder->passwordRequests(), 1);
    QCOMPARE(readBytes(f.host(LoginWindow::kTigerDefaultBackground)), tigerDefault);
}

void TestSaveRuns::revert_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<bool>("defaultWritable");
    QTest::addColumn<bool>("privilegedCopy");
    QTest::newRow("10.3.9") << QStringLiteral("10.3.9") << true << false;
    QTest::newRow("no release") << QString() << true << false;
    QTest::newRow("10.4.11, default picture writable") << QStringLiteral("10.4.11") << true << false;
    QTest::newRow("10.4.11, default picture not writable") << QStringLiteral("10.4.11") << false << true;
}

void TestSaveRuns::revert()
{
    QFETCH(QString, release);
    QFETCH(bool, defaultWritable);
    QFETCH(bool, privilegedCopy);
    RecordedSave f(release);
    const QString tigerDefault = f.host(LoginWindow::kTigerDefaultBackground);
    const QByteArray tigerBefore = readBytes(tigerDefault);
    if (!defaultWritable) {
        // Tests run as root in CI, where no file mode keeps the user out;
        // a picture that is not there cannot be written by the user either.
        QVERIFY(QFile::remove(tigerDefault));
    }

    f.controller.setBackground(
        Image::referencingFile(f.volume.resources() + QStringLiteral("/AppleBackground.jpg")));
    f.controller.setShouldRevertBackground(true);
    Runs expected = f.keepLookRuns();
    QVERIFY(f.controller.save().succeeded());

    expected += f.defaultsRun(QStringLiteral("delete"), LoginWindow::kDesktopPictureKey);
    if (privilegedCopy)
        expected += InstallRuns::copyIntoPlace(f.volume.root(), tigerDefault);
    COMPARE_RUNS(f.recorder->runs(), expected);

    const bool tiger = release.startsWith(QLatin1String("10.4"));
    if (tiger) {
        // Rewritten from the stock picture, directly or through the copy.
        QCOMPARE(QImageReader(tigerDefault).size(), QSize(1024, 768));
        QVERIFY(readBytes(tigerDefault) != tigerBefore);
        // The picture it replaced is kept, without a tool of its own.
        if (defaultWritable)
            QCOMPARE(readBytes(LumoraLogin::backupPathForPath(tigerDefault)), tigerBefore);
    } else {
        QCOMPARE(readBytes(tigerDefault), tigerBefore);
    }
    // The staging file is gone once the picture is in place, and the shared
    // folder holds nothing but the history, if anything.
    QVERIFY(!QFileInfo::exists(RecordedSave::staging(QStringLiteral("background.jpg"))));
    const QStringList shared =
        QDir(f.host(LoginWindow::kSharedSupportFolder)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    QVERIFY2(shared.isEmpty() || shared == QStringList{QStringLiteral("Looks")}, qPrintable(shared.join(' ')));
}

void TestSaveRuns::firstAndSecondLogoSave()
{
    RecordedSave f;
    f.plant(QStringLiteral("applelogo.png"));
    f.plant(QStringLiteral("AppleLogo.png"));
    f.controller.setLogo(Image::fromPixels(pattern(32, 32, 2)));
    Runs expected = f.keepLookRuns();
    QVERIFY(f.controller.save().succeeded());

    expected += f.imageRuns(LoginWindow::kLogoFirstPlace, QStringLiteral("logo.tif"), true);
    expected.append(f.moveOutRun(QStringLiteral("applelogo.png")));
    COMPARE_RUNS(f.recorder->runs(), expected);
    QVERIFY(f.defaults.boolForKey(f.staging().backupMadeKey(PreferenceKeys::kMadeLogoBackup)));
    QVERIFY(!f.defaults.boolForKey(f.staging().backupMadeKey(PreferenceKeys::kMadeTitleBackup)));
    // Our staging copy is not kept once the logo is in place.
    QVERIFY(!QFileInfo::exists(RecordedSave::staging(QStringLiteral("logo.tif"))));

    // The second save makes no backup and moves only what has appeared since.
    f.plant(QStringLiteral("applelogo.gif"));
    f.controller.setLogo(Image::fromPixels(pattern(32, 32, 3)));
    const int before = int(f.recorder->runs().size());
    // Only the new logo and the record: the title is stored already.
    Runs second = f.keepLookRuns();
    QCOMPARE(second.size(), 2);
    QVERIFY(f.controller.save().succeeded());
    second += f.imageRuns(LoginWindow::kLogoFirstPlace, QStringLiteral("logo.tif"), false);
    second.append(f.moveOutRun(QStringLiteral("applelogo.gif")));
    QCOMPARE(readBytes(RecordedSave::trash(QStringLiteral("applelogo.gif"))), QByteArray("other format"));
    QVERIFY(!QFileInfo::exists(f.resource(QStringLiteral("applelogo.gif"))));
    COMPARE_RUNS(f.recorder->runs().mid(before), second);
    // The rights from the first save are still held.
    QCOMPARE(f.recorder->passwordRequests(), 1);
}

void TestSaveRuns::restoreThenSave_data()
{
    newPicture_data();
}

void TestSaveRuns::restoreThenSave()
{
    QFETCH(QString, release);
    RecordedSave f(release);
    f.controller.defaults();
    Runs expected = f.keepLookRuns();
    QVERIFY(f.controller.save().succeeded());

    // The volume's logo, title and 10.4 picture were never replaced (there is
    // no backup of them), so they are its stock look and stay as they are.
    expected.append(f.defaultsRun(QStringLiteral("delete"), LoginWindow::kDesktopPictureKey));
    expected.append(f.defaultsRun(QStringLiteral("delete"), LoginWindow::kMessageKey));
    expected.append(f.defaultsRun(QStringLiteral("write"), LoginWindow::kHostInfoKey, QStringLiteral("HostName")));
    COMPARE_RUNS(f.recorder->runs(), expected);
    QCOMPARE(f.clock.sleeps(), QList<qint64>({500000}));
}

void TestSaveRuns::restoreThenDroppedPictureThenSave()
{
    RecordedSave f;
    f.controller.defaults();
    f.controller.setBackground(Image::fromPixels(gradient(64, 48, 4)));
    Runs expected = f.keepLookRuns();
    QVERIFY(f.controller.save().succeeded());

    expected += f.newPictureRuns();
    expected.append(f.defaultsRun(QStringLiteral("delete"), LoginWindow::kMessageKey));
    expected.append(f.defaultsRun(QStringLiteral("write"), LoginWindow::kHostInfoKey, QStringLiteral("HostName")));
    COMPARE_RUNS(f.recorder->runs(), expected);
}

void TestSaveRuns::refusedWriteSetsNoMode()
{
    RecordedSave f;
    LogCapture log;
    const Image chosen = Image::fromPixels(gradient(64, 48, 5));
    f.controller.setBackground(chosen);
    const Runs keep = f.keepLookRuns();
    // The look is kept and the copy goes through; the preference write is refused.
    QList<std::int32_t> statuses(keep.size() + 1, AuthorizationService::kSuccess);
    statuses << AuthorizationService::kToolExecuteFailure;
    f.recorder->scriptLaunchStatus(statuses);
    const SaveReport report = f.controller.save();

    QCOMPARE(report.failed, QStringList({QStringLiteral("background")}));
    const Runs attempted = f.newPictureRuns();
    COMPARE_RUNS(f.recorder->runs(), keep + attempted.mid(0, 1));
    QStringList executed;
    for (const auto &call : f.recorder->calls()) {
        if (call.kind == QLatin1String("execute"))
            executed << call.values.first();
    }
    QCOMPARE(executed, QStringList(keep.size() + 1, InstallRuns::fileTool()) << f.tool());
    QCOMPARE(log.count(QStringLiteral("Failed to set defaults for new login background.")), 1);
    QCOMPARE(log.count(QStringLiteral("Failed to set privileges for new login background.")), 0);
    QCOMPARE(f.alerts.shown().size(), 1);
    QCOMPARE(f.alerts.shown().first().title, QStringLiteral("Command Failed"));
    QCOMPARE(f.alerts.beeps(), 1);
    // The copied file stays, with the mode the copy gave it; the login
    // window still shows its default picture, and the document keeps the
    // user's picture for the next Save.
    QVERIFY(QFileInfo::exists(f.host(LoginWindow::kInstalledBackground)));
    QCOMPARE(f.domainString(LoginWindow::kDesktopPictureKey), std::nullopt);
    QVERIFY(f.controller.background().isSameAs(chosen));
    QVERIFY(f.controller.backgroundDirty());
}

void TestSaveRuns::failedCopyStopsTheImageSave_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("backup refused")
        << QStringLiteral("backup")
        << QStringList({QStringLiteral("Authorization error -60031"), QStringLiteral("Unable to backup file for key Made logo backup"),
                        QStringLiteral("Failed to save new logo")});
    QTest::newRow("copy fails")
        << QStringLiteral("copy")
        << QStringList({QStringLiteral("Tool '%1' failed with exit status 1").arg(InstallRuns::fileTool()),
                        QStringLiteral("Tool '%1' said: lumora-fileop: %2: is a folder; nothing was changed")
                            .arg(InstallRuns::fileTool(), LoginWindow::kLogoFirstPlace),
                        QStringLiteral("Failed to save new logo")});
}

void TestSaveRuns::failedCopyStopsTheImageSave()
{
    QFETCH(QString, failure);
    QFETCH(QStringList, lines);
    RecordedSave f;
    f.plant(QStringLiteral("applelogo.png"));
    const QString logo = f.host(LoginWindow::kLogoFirstPlace);
    f.controller.setLogo(Image::fromPixels(pattern(32, 32, 6)));
    Runs expected = f.keepLookRuns();
    if (failure == QLatin1String("backup")) {
        // Without its backup the stock logo must not be replaced.
        QList<std::int32_t> statuses(expected.size(), AuthorizationService::kSuccess);
        f.recorder->scriptLaunchStatus(statuses << AuthorizationService::kToolExecuteFailure);
    } else {
        // The backup was made long ago, and a folder now stands where the
        // logo was: the tool refuses to put a file in its place.
        QVERIFY(QFile::copy(logo, LumoraLogin::backupPathForPath(logo)));
        QVERIFY(QFile::remove(logo));
        QVERIFY(QDir().mkdir(logo));
        expected += InstallRuns::copyIntoPlace(f.volume.root(), logo);
    }
    const auto before = snapshot(f.volume.root());
    LogCapture log;
    const SaveReport report = f.controller.save();

    QCOMPARE(report.failed, QStringList({QStringLiteral("logo")}));
    COMPARE_RUNS(f.recorder->runs(), expected);
    QCOMPARE(log.lines(), lines);
    // Nothing was replaced and no other format was moved away; only the
    // look that was to be replaced is kept.
    QCOMPARE(f.withoutHistory(snapshot(f.volume.root())), f.withoutHistory(before));
    QCOMPARE(SavedLooks::list(f.controller).size(), 1);
    QVERIFY(!QFileInfo::exists(RecordedSave::trash(QStringLiteral("applelogo.png"))));
}

void TestSaveRuns::cancelledPasswordRunsNothing()
{
    RecordedSave f;
    LogCapture log;
    f.recorder->scriptInteractive({Answer::Cancel, Answer::Cancel});
    const auto domainBefore = f.domain();
    f.view.type(QStringLiteral("Never written"));
    f.controller.setHostInfoTag(3);
    const SaveReport report = f.controller.save();

    QVERIFY(f.recorder->runs().isEmpty());
    QCOMPARE(report.failed, QStringList({QStringLiteral("message"), QStringLiteral("host information")}));
    // Asked once: after Cancel the host information fails without asking,
    // with the same lines in the log.
    QCOMPARE(f.recorder->passwordRequests(), 1);
    QCOMPARE(report.declined, SaveReport::Declined::Cancelled);
    // The first step asking is keeping the look the save would replace.
    QCOMPARE(log.count(QStringLiteral("User failed to authenticate for tools '%1' and '(null)'").arg(InstallRuns::fileTool())), 1);
    QCOMPARE(log.count(QStringLiteral("Failed to keep the look being replaced")), 1);
    QCOMPARE(log.count(QStringLiteral("User failed to authenticate for tools '%1' and '(null)'").arg(f.tool())), 2);
    QCOMPARE(log.count(QStringLiteral("Cancelled: no administrator password was given")), 3);
    QCOMPARE(log.count(QStringLiteral("Failed to save new message")), 1);
    QCOMPARE(log.count(QStringLiteral("Failed to save new host information")), 1);
    // Cancelling is the user's choice: no alert, no beep.
    QVERIFY(f.alerts.shown().isEmpty());
    QCOMPARE(f.alerts.beeps(), 0);
    QCOMPARE(f.domain(), domainBefore);
    // Nothing was written, and nothing the user gave is lost: both edits
    // wait, marked, for the next Save.
    QCOMPARE(f.controller.message(), QStringLiteral("Never written"));
    QCOMPARE(f.controller.hostInfoTag(), 3);
    QVERIFY(f.controller.messageDirty() && f.controller.hostInfoTagDirty() && f.controller.dirty());
}

void TestSaveRuns::messageArgument_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("argument");
    QTest::newRow("quote") << QStringLiteral("a\"b") << QStringLiteral("\"a\\\"b\"");
    QTest::newRow("backslash") << QStringLiteral("a\\b") << QStringLiteral("\"a\\\\b\"");
    QTest::newRow("trailing backslash") << QStringLiteral("x\\") << QStringLiteral("\"x\\\\\"");
    QTest::newRow("backslash then quote") << QStringLiteral("\\\"") << QStringLiteral("\"\\\\\\\"\"");
    QTest::newRow("lines") << QStringLiteral("one\ntwo") << QStringLiteral("\"one\ntwo\"");
    QTest::newRow("one space") << QStringLiteral(" ") << QStringLiteral("\" \"");
    QTest::newRow("leading dash") << QStringLiteral("-x") << QStringLiteral("\"-x\"");
}

void TestSaveRuns::messageArgument()
{
    QFETCH(QString, message);
    QFETCH(QString, argument);
    RecordedSave f;
    f.view.type(message);
    const Runs keep = f.keepLookRuns();
    QVERIFY(f.controller.save().succeeded());
    COMPARE_RUNS(f.recorder->runs(), keep + Runs({f.defaultsRun(QStringLiteral("write"), LoginWindow::kMessageKey, argument)}));
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), message);
}

void TestSaveRuns::emptyMessage()
{
    // With a message on the volume, clearing it deletes the key ...
    RecordedSave f;
    f.view.type(QString());
    const Runs keep = f.keepLookRuns();
    QVERIFY(f.controller.save().succeeded());
    COMPARE_RUNS(f.recorder->runs(), keep + Runs({f.defaultsRun(QStringLiteral("delete"), LoginWindow::kMessageKey)}));
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), std::nullopt);

    // ... and without one, nothing runs at all, nor is a look kept.
    f.view.type(QString());
    QVERIFY(f.keepLookRuns().isEmpty());
    QVERIFY(f.controller.save().succeeded());
    QCOMPARE(f.recorder->runs().size(), keep.size() + 1);
}

QTEST_GUILESS_MAIN(TestSaveRuns)
#include "tst_saveruns.moc"
