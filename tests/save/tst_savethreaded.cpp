// Saving on a worker thread (SaveRunner), with the password asked again
// after a wrong one, and what a save leaves in the document when one of
// its steps fails.

#include "controller/SaveRunner.h"
#include "controller/SavedLooks.h"
#include "platform/SudoAuthorizationService.h"
#include "tests/fakes/FakeSudo.h"
#include "tests/fakes/LogCapture.h"
#include "tests/fakes/RecordingAuthorizationService.h"
#include "tests/fakes/ScriptedPasswordPrompt.h"
#include "tests/save/SaveFixture.h"

#include <QImageReader>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using Answers = QList<std::optional<QByteArray>>;
Q_DECLARE_METATYPE(Answers)

namespace {

const QString kSorry = QStringLiteral("Sorry, try again.");

struct Outcome {
    SaveReport report;
    QStringList logLines;
};

// Save through the runner and wait for it, the GUI thread's loop turning.
Outcome saveOnWorker(LumoraLogin &controller)
{
    SaveRunner runner(controller);
    QSignalSpy finished(&runner, &SaveRunner::finished);
    if (!runner.start() || !finished.wait(30000))
        return {};
    return {finished.first().at(0).value<SaveReport>(), finished.first().at(1).toStringList()};
}

QString picture(const TestVolume &volume, const QString &name, int seed)
{
    const QString path = volume.scratch() + QLatin1Char('/') + name;
    SaveTesting::pattern(40 + seed, 30, seed).save(path, "PNG");
    return path;
}

} // namespace

class TestSaveThreaded : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qRegisterMetaType<SaveReport>();
    }

    void passwordTries_data();
    void passwordTries();
    void failedStepKeepsItsEditOthersReload();
};

// The logo and the message to save, through the sudo back end with a
// stand-in sudo whose password is "right".
void TestSaveThreaded::passwordTries_data()
{
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<QStringList>("complaints"); // one per time the user was asked
    QTest::addColumn<QStringList>("failed");
    QTest::addColumn<int>("checks");             // passwords sudo was given
    QTest::addColumn<int>("declined");           // SaveReport::Declined

    const int no = int(SaveReport::Declined::No);
    const int cancelled = int(SaveReport::Declined::Cancelled);
    const int wrong = int(SaveReport::Declined::WrongPassword);
    QTest::newRow("wrong, wrong, right: one request, every tool runs")
        << Answers{"wrong", "wrong", "right"} << QStringList{QString(), kSorry, kSorry} << QStringList() << 3 << no;
    // The user said no: the message fails too, without asking again.
    QTest::newRow("three wrong: the logo fails, the message is not asked for")
        << Answers{"wrong", "bad", "worse", "right"} << QStringList{QString(), kSorry, kSorry}
        << QStringList{"logo", "message"} << 3 << wrong;
    QTest::newRow("cancel: asked once, every step fails")
        << Answers{std::nullopt, std::nullopt} << QStringList{QString()} << QStringList{"logo", "message"} << 0
        << cancelled;
    QTest::newRow("wrong then cancel: the step fails at once, the rest is not asked for")
        << Answers{"wrong", std::nullopt, "right"} << QStringList{QString(), kSorry}
        << QStringList{"logo", "message"} << 1 << cancelled;
}

void TestSaveThreaded::passwordTries()
{
    QFETCH(Answers, answers);
    QFETCH(QStringList, complaints);
    QFETCH(QStringList, failed);
    QFETCH(int, checks);
    QFETCH(int, declined);

    FakeSudo sudo("right");
    QVERIFY(sudo.isValid());
    ScriptedPasswordPrompt prompt;
    prompt.script(answers);
    SaveFixture f({}, std::make_unique<SudoAuthorizationService>(&prompt, sudo.path()));
    LogCapture log;
    int authenticated = 0;
    connect(&f.authorization, &Authorization::UserAuthenticatedNotification, this, [&] { ++authenticated; });

    const QString logo = picture(f.volume, QStringLiteral("logo.png"), 3);
    f.controller.setLogo(Image::referencingFile(logo));
    f.controller.setMessage(QStringLiteral("Authorised use only"));
    const Outcome outcome = saveOnWorker(f.controller);

    QCOMPARE(outcome.report.attempted, (QStringList{"logo", "message"}));
    QCOMPARE(outcome.report.failed, failed);
    QCOMPARE(prompt.complaints(), complaints);
    QCOMPARE(sudo.checks(), checks);
    QCOMPARE(int(outcome.report.declined), declined);
    // A request that fails says so once, with the runner's line; retries
    // within it log nothing.
    // Keeping the look the save replaces asks first, and fails with them.
    const QString refused = QStringLiteral("User failed to authenticate for tools '");
    int refusals = 0;
    for (const QString &line : outcome.logLines)
        refusals += line.startsWith(refused) ? 1 : 0;
    QCOMPARE(refusals, int(failed.size()) + (failed.isEmpty() ? 0 : 1));
    QVERIFY(f.alerts.shown().isEmpty());
    QCOMPARE(f.alerts.beeps(), 0);
    QCOMPARE(authenticated, failed.size() == 2 ? 0 : 1);
    const bool logoSaved = !failed.contains(QStringLiteral("logo"));
    QCOMPARE(QImageReader(f.host(LoginWindow::kLogoFirstPlace)).size() == QSize(43, 30), logoSaved);
    QCOMPARE(f.domainString(LoginWindow::kMessageKey) == QStringLiteral("Authorised use only"),
             !failed.contains(QStringLiteral("message")));

    // A refusal lasts for its own save only: the next one asks again.
    if (declined != int(SaveReport::Declined::No)) {
        prompt.script({"right"});
        const Outcome again = saveOnWorker(f.controller);
        QCOMPARE(prompt.complaints().size(), complaints.size() + 1);
        QVERIFY(again.report.succeeded());
        QCOMPARE(again.report.attempted, failed);
        QCOMPARE(again.report.declined, SaveReport::Declined::No);
    }
}

// The logo's first tool is refused by the service; the message reaches the
// volume. The logo keeps the user's picture and its flag, the message is
// what the volume now holds, and the document stays unsaved.
void TestSaveThreaded::failedStepKeepsItsEditOthersReload()
{
    auto service = std::make_unique<RecordingAuthorizationService>();
    service->setRightsHeld(true);
    RecordingAuthorizationService *recorder = service.get();
    SaveFixture f({}, std::move(service));
    // The look the save replaces is kept first: the history folder, the
    // volume's logo and title, the record.
    QList<std::int32_t> statuses(2 + SavedLooks::current(f.controller).pictures.size(), AuthorizationService::kSuccess);
    recorder->scriptLaunchStatus(statuses << AuthorizationService::kToolExecuteFailure);
    LogCapture log;

    const Image chosen = Image::referencingFile(picture(f.volume, QStringLiteral("logo.png"), 5));
    f.controller.setLogo(chosen);
    f.controller.setMessage(QStringLiteral("Typed here"));
    f.controller.setHostInfoTag(4);
    const Outcome outcome = saveOnWorker(f.controller);

    QCOMPARE(outcome.report.failed, QStringList{"logo"});
    QCOMPARE(outcome.report.attempted, (QStringList{"logo", "message", "host information"}));
    QVERIFY(f.controller.logo().isSameAs(chosen));
    QVERIFY(f.controller.logoDirty());
    QVERIFY(f.controller.dirty());
    QVERIFY(!f.controller.messageDirty());
    QVERIFY(!f.controller.hostInfoTagDirty());
    QCOMPARE(f.controller.message(), f.domainString(LoginWindow::kMessageKey));
    QCOMPARE(f.controller.message(), std::optional<QString>(QStringLiteral("Typed here")));
    QCOMPARE(f.controller.hostInfoTag(), 4);
    QCOMPARE(f.view.string(), QStringLiteral("Typed here"));
    // The pause after the host information was made on the worker.
    QCOMPARE(f.clock.sleeps(), QList<qint64>{500000});
    // The alert of the refused launch reached the panel; its line is in
    // what the window shows under "Details…".
    QCOMPARE(f.alerts.shown().size(), 1);
    QVERIFY(outcome.logLines.contains(QStringLiteral("Authorization error -60031")));

    // Save again: only the logo is retried, and now it reaches the volume.
    f.recorder->scriptLaunchStatus({});
    const int runsBefore = int(f.recorder->runs().size());
    const Outcome again = saveOnWorker(f.controller);
    QCOMPARE(again.report.attempted, QStringList{"logo"});
    QVERIFY(again.report.succeeded());
    QVERIFY(f.recorder->runs().size() > runsBefore);
    QCOMPARE(QImageReader(f.host(LoginWindow::kLogoFirstPlace)).size(), QSize(45, 30));
    QVERIFY(!f.anyFlagSet());
}

QTEST_GUILESS_MAIN(TestSaveThreaded)
#include "tst_savethreaded.moc"
