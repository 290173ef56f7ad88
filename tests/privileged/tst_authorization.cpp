// The privileged runner against the recording authorization service, which
// really runs each tool it lets through.

#include "platform/Process.h"
#include "privileged/Authorization.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/LogCapture.h"
#include "tests/fakes/RecordingAuthorizationService.h"

#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using Answer = RecordingAuthorizationService::Answer;
using Opt = std::optional<QString>;

namespace {

// Notes how many log lines existed when an alert came up, so a test can
// tell whether the log line came before or after the alert.
class OrderingAlertPanel final : public AlertPanel {
public:
    explicit OrderingAlertPanel(const LogCapture &log) : m_log(log) {}
    int runAlert(const QString &title, const QString &message, const QString &defaultButton,
                 const QString &alternateButton, const QString &otherButton) override
    {
        linesAtAlert = int(m_log.lines().size());
        return fake.runAlert(title, message, defaultButton, alternateButton, otherButton);
    }
    void beep() override { fake.beep(); }
    void activateApplication() override { fake.activateApplication(); }

    FakeAlertPanel fake;
    int linesAtAlert = -1;

private:
    const LogCapture &m_log;
};

struct Runner {
    FakeAlertPanel alerts;
    RecordingAuthorizationService *service = nullptr;
    std::unique_ptr<Authorization> authorization;

    Runner()
    {
        auto recording = std::make_unique<RecordingAuthorizationService>();
        service = recording.get();
        authorization = std::make_unique<Authorization>(std::move(recording), &alerts);
    }
};

QStringList kinds(const QList<RecordingAuthorizationService::Call> &calls)
{
    QStringList out;
    for (const auto &call : calls)
        out << QStringLiteral("%1:%2").arg(call.kind).arg(call.flags);
    return out;
}

} // namespace

class TestAuthorization : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // One reference and one password for a whole series of tools; later
    // tools pass the silent check whatever their path.
    void onePasswordForASeriesOfTools()
    {
        Runner r;
        QSignalSpy authenticated(r.authorization.get(), &Authorization::UserAuthenticatedNotification);
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a"));
        const QString b = dir.filePath(QStringLiteral("b"));
        QFile file(a);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();

        QVERIFY(r.authorization->executeTool(QStringLiteral("/bin/cp"), a, b, std::nullopt));
        QVERIFY(r.authorization->executeTool(QStringLiteral("/bin/chmod"), QStringLiteral("600"), b, std::nullopt,
                                             std::nullopt));
        QVERIFY(r.authorization->executeTool(QStringLiteral("/bin/mv"), b, a, std::nullopt));

        QCOMPARE(r.service->creations(), 1);
        QCOMPARE(r.service->passwordRequests(), 1);
        QCOMPARE(authenticated.count(), 1);
        QCOMPARE(kinds(r.service->calls()),
                 (QStringList{"create:0", "copyRights:2", "copyRights:3", "copyRights:2", "execute:0",
                              "copyRights:2", "copyRights:2", "execute:0",  //
                              "copyRights:2", "copyRights:2", "execute:0"}));
        // Each request names one tool: the one about to run.
        QCOMPARE(r.service->calls().at(5).values, QStringList{QStringLiteral("/bin/chmod")});
        QCOMPARE(r.service->runs().size(), 3);
        QVERIFY(QFile::exists(a));
        QVERIFY(!QFile::exists(b));
    }

    void silentSuccessPostsNothing()
    {
        Runner r;
        r.service->setRightsHeld(true);
        QSignalSpy authenticated(r.authorization.get(), &Authorization::UserAuthenticatedNotification);
        QVERIFY(r.authorization->executeTool(QStringLiteral("/bin/true"), std::nullopt, std::nullopt, std::nullopt));
        QCOMPARE(r.service->passwordRequests(), 0);
        QCOMPARE(authenticated.count(), 0);
    }

    void notAuthenticatedOnlyLogs_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("why");
        QTest::newRow("cancelled") << int(Answer::Cancel)
                                   << QStringLiteral("Cancelled: no administrator password was given");
        QTest::newRow("wrong password") << int(Answer::Refuse)
                                        << QStringLiteral("The administrator password was wrong 3 times");
    }

    void notAuthenticatedOnlyLogs()
    {
        QFETCH(int, answer);
        QFETCH(QString, why);
        Runner r;
        LogCapture log;
        QSignalSpy authenticated(r.authorization.get(), &Authorization::UserAuthenticatedNotification);
        r.service->scriptInteractive({Answer(answer)});
        QVERIFY(!r.authorization->executeTool(QStringLiteral("/bin/cp"), QStringLiteral("/x"), QStringLiteral("/y"),
                                              std::nullopt));
        QCOMPARE(log.lines(),
                 (QStringList{QStringLiteral("User failed to authenticate for tools '/bin/cp' and '(null)'"), why}));
        QCOMPARE(r.alerts.beeps(), 0);
        QVERIFY(r.alerts.shown().isEmpty());
        QVERIFY(r.service->runs().isEmpty());
        QCOMPARE(authenticated.count(), 0);
    }

    // Beep, then the alert with the signed status, and only after it the
    // log line.
    void refusedLaunchBeepsAlertsThenLogs()
    {
        LogCapture log;
        OrderingAlertPanel alerts(log);
        auto recording = std::make_unique<RecordingAuthorizationService>();
        RecordingAuthorizationService *service = recording.get();
        Authorization authorization(std::move(recording), &alerts);
        service->setRightsHeld(true);
        service->scriptLaunchStatus({AuthorizationService::kToolExecuteFailure});

        QVERIFY(!authorization.executeTool(QStringLiteral("/bin/true"), std::nullopt, std::nullopt, std::nullopt));
        QCOMPARE(alerts.fake.events(), (QStringList{QStringLiteral("beep"), QStringLiteral("alert:Command Failed")}));
        const auto shown = alerts.fake.shown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().message,
                 QStringLiteral("Lumora was unable to complete the task.  Please try again.  "
                                "AuthorizationExecuteWithPrivileges returned the following error: -60031"));
        QCOMPARE(shown.first().defaultButton, QStringLiteral("OK"));
        QVERIFY(shown.first().alternateButton.isEmpty() && shown.first().otherButton.isEmpty());
        QCOMPARE(alerts.linesAtAlert, 0);
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Authorization error -60031")});
        QVERIFY(service->runs().isEmpty());
    }

    // The vector is positional: it ends at the first absent argument.
    void argumentVector_data()
    {
        QTest::addColumn<Opt>("arg1");
        QTest::addColumn<Opt>("arg2");
        QTest::addColumn<Opt>("arg3");
        QTest::addColumn<Opt>("arg4");
        QTest::addColumn<QStringList>("expected");
        const Opt none;
        const Opt a = QStringLiteral("a b"), b = QStringLiteral("\"b\""), c = QStringLiteral("c\nd"),
                  d = QStringLiteral("d\u00e9");
        QTest::newRow("all four") << a << b << c << d << QStringList{*a, *b, *c, *d};
        QTest::newRow("three") << a << b << c << none << QStringList{*a, *b, *c};
        QTest::newRow("gap after first") << a << none << c << d << QStringList{*a};
        QTest::newRow("none first") << none << b << none << none << QStringList{};
    }

    void argumentVector()
    {
        QFETCH(Opt, arg1);
        QFETCH(Opt, arg2);
        QFETCH(Opt, arg3);
        QFETCH(Opt, arg4);
        QFETCH(QStringList, expected);
        Runner r;
        r.service->setRightsHeld(true);
        QVERIFY(r.authorization->executeTool(QStringLiteral("/bin/true"), arg1, arg2, arg3, arg4));
        if (!arg4) {
            // The three-argument form is the four-argument one with a nil fourth.
            QVERIFY(r.authorization->executeTool(QStringLiteral("/bin/true"), arg1, arg2, arg3));
            QCOMPARE(r.service->runs().at(1), r.service->runs().at(0));
        }
        QCOMPARE(r.service->runs().at(0), QStringList{QStringLiteral("/bin/true")} + expected);
    }

    // A tool that starts and fails is not a success.
    void failingToolReportsNo_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("line");
        QTest::newRow("exit status") << QStringList{QStringLiteral("/bin/false")}
                                     << QStringLiteral("Tool '/bin/false' failed with exit status 1");
        QTest::newRow("cp of a missing file")
            << QStringList{QStringLiteral("/bin/cp"), QStringLiteral("/nonexistent/source"), QStringLiteral("/tmp/x")}
            << QStringLiteral("Tool '/bin/cp' failed with exit status 1");
        QTest::newRow("killed") << QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                               QStringLiteral("kill -9 $$")}
                                << QStringLiteral("Tool '/bin/sh' was ended by signal 9");
    }

    void failingToolReportsNo()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, line);
        Runner r;
        LogCapture log;
        r.service->setRightsHeld(true);
        auto arg = [&](int i) { return i < command.size() ? Opt(command.at(i)) : Opt(); };
        QVERIFY(!r.authorization->executeTool(command.first(), arg(1), arg(2), arg(3), arg(4)));
        QCOMPARE(log.lines().value(0), line);
        // What the tool itself said follows, for the window's Details.
        if (command.first() == QLatin1String("/bin/cp")) {
            QCOMPARE(log.lines().size(), 2);
            QVERIFY2(log.lines().at(1).startsWith(QStringLiteral("Tool '/bin/cp' said: /bin/cp: ")), qPrintable(log.lines().at(1)));
            QVERIFY(log.lines().at(1).contains(QStringLiteral("/nonexistent/source")));
        } else {
            QCOMPARE(log.lines().size(), 1);
        }
        QCOMPARE(r.alerts.beeps(), 0);
    }

    // The runner waits for the tool it launched, not for whichever child of
    // the process ends first.
    void waitsForItsOwnTool()
    {
        Runner r;
        r.service->setRightsHeld(true);
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("done"));
        const auto other = Process::spawn("/bin/true", {});
        QVERIFY(other);
        QTest::qWait(50); // let the other child end first
        QVERIFY(r.authorization->executeTool(QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                             QStringLiteral("sleep 0.3; echo > \"$0\""), marker));
        QVERIFY2(QFile::exists(marker), "the runner returned before its tool had ended");
        QVERIFY(Process::waitFor(*other).succeeded()); // and it left the other child alone
    }

    void deauthenticateFreesWithDestroyOnce()
    {
        Runner r;
        QSignalSpy deauthenticated(r.authorization.get(), &Authorization::UserDeauthenticatedNotification);
        r.authorization->deauthenticate();
        QCOMPARE(deauthenticated.count(), 0);
        QVERIFY(r.service->calls().isEmpty());

        QVERIFY(r.authorization->executeTool(QStringLiteral("/bin/true"), std::nullopt, std::nullopt, std::nullopt));
        r.authorization->deauthenticate();
        r.authorization->deauthenticate();
        QCOMPARE(deauthenticated.count(), 1);
        QCOMPARE(kinds(r.service->calls()).filter(QStringLiteral("free")), QStringList{QStringLiteral("free:8")});
        QVERIFY(!r.service->rightsHeld());
        QVERIFY(!r.authorization->hasReference());

        // The next tool asks again and makes a new reference.
        QVERIFY(r.authorization->executeTool(QStringLiteral("/bin/true"), std::nullopt, std::nullopt, std::nullopt));
        QCOMPARE(r.service->creations(), 2);
        QCOMPARE(r.service->passwordRequests(), 2);
    }

    // Rights must not outlive the application: quitting frees them.
    void sharedInstanceIsOneObjectAndReleaseDestroysRights()
    {
        FakeAlertPanel alerts;
        auto recording = std::make_unique<RecordingAuthorizationService>();
        RecordingAuthorizationService *service = recording.get();
        Authorization::install(std::make_unique<Authorization>(std::move(recording), &alerts));
        Authorization &shared = Authorization::sharedInstance();
        QCOMPARE(&Authorization::sharedInstance(), &shared);
        QVERIFY(shared.executeTool(QStringLiteral("/bin/true"), std::nullopt, std::nullopt, std::nullopt));
        Authorization::releaseShared();
        QCOMPARE(service->calls().last().kind, QStringLiteral("free"));
        QCOMPARE(service->calls().last().flags, std::uint32_t(AuthorizationService::kDestroyRights));
        QVERIFY(!service->rightsHeld());
        Authorization::install(nullptr);
    }

    // Without an installed runner every request is refused; nothing runs.
    void uninstalledRunnerRefuses()
    {
        Authorization::install(nullptr);
        LogCapture log;
        QVERIFY(!Authorization::sharedInstance().executeTool(QStringLiteral("/bin/true"), std::nullopt, std::nullopt,
                                                             std::nullopt));
        QCOMPARE(log.lines().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestAuthorization)
#include "tst_authorization.moc"
