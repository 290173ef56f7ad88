#include "tests/update/UpdateControllerFixture.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

const QString kUpdateTitle = QStringLiteral("A new version is available");

// Records on which thread each panel was run, then answers like the fake.
class ThreadCheckingAlerts final : public AlertPanel {
public:
    explicit ThreadCheckingAlerts(FakeAlertPanel &inner) : m_inner(inner) {}
    int runAlert(const QString &title, const QString &message, const QString &defaultButton,
                 const QString &alternateButton, const QString &otherButton) override
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            m_offGuiThread = true;
        return m_inner.runAlert(title, message, defaultButton, alternateButton, otherButton);
    }
    void beep() override { m_inner.beep(); }
    void activateApplication() override
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            m_offGuiThread = true;
        m_inner.activateApplication();
    }
    std::atomic<bool> m_offGuiThread = false;

private:
    FakeAlertPanel &m_inner;
};

QByteArray listWith(const QString &latest)
{
    return productList({{QStringLiteral("osVersion=10.4"), versionInfo(latest)}});
}

// Spins the GUI thread's event loop for a while without any condition.
void turnEventLoop(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

class TestUpdateThreads : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void launchCheckFromTheTimer_data();
    void launchCheckFromTheTimer();
    void launchCheckTurnedOff();
    void windowStaysResponsive();
    void manualCheckFromTheController();
    void emptyAppNameIsTheApp();
    void destroyedDuringHangingDownload();
    void destroyedWhileAPanelIsPending();
};

void TestUpdateThreads::launchCheckFromTheTimer_data()
{
    QTest::addColumn<QString>("latest");
    QTest::addColumn<QStringList>("panels");
    QTest::newRow("newer version: update panel") << "1.1" << QStringList{kUpdateTitle};
    QTest::newRow("up to date: no panel") << "1.0.0" << QStringList{};
}

void TestUpdateThreads::launchCheckFromTheTimer()
{
    QFETCH(QString, latest);
    QFETCH(QStringList, panels);
    UpdateFixture f;
    f.server.setList(kPrimaryPath, listWith(latest));
    ThreadCheckingAlerts alerts(f.alerts);
    LumoraContext context = controllerContext(f);
    context.alerts = &alerts;
    f.alerts.scriptAnswers({AlertPanel::DefaultReturn});

    LumoraLogin controller(context);
    controller.awakeFromNib();
    QTest::qWait(300);
    QCOMPARE(f.server.requestCount(kPrimaryPath), 0); // the timer has not fired yet
    QTRY_COMPARE_WITH_TIMEOUT(f.storedDate(), UpdateCheck::dateText(f.clock.now()), 10000);

    QCOMPARE(f.server.requestCount(kPrimaryPath), 1);
    QCOMPARE(f.panelTitles(), panels);
    QVERIFY(!alerts.m_offGuiThread);
    QCOMPARE(f.workspace.opened().size(), panels.size());
    // Loading the settings logs too (this volume has no login-window
    // preferences); the check's own three lines come in order.
    const QStringList lines = f.log.lines();
    const qsizetype first = lines.indexOf(QStringLiteral("Current version = 1.0.0"));
    QVERIFY(first >= 0);
    QCOMPARE(lines.value(first + 2), QStringLiteral("latestVersionNumber = %1").arg(latest));
}

void TestUpdateThreads::launchCheckTurnedOff()
{
    UpdateFixture f;
    f.server.setList(kPrimaryPath, listWith(QStringLiteral("1.1")));
    f.defaults->setObject(PreferenceKeys::kCheckForUpdates, QStringLiteral("NO"));
    QVERIFY(!f.checker().checkForUpdatesInNewThreadForAppName(QStringLiteral("Lumora Login")));

    LumoraLogin controller(controllerContext(f));
    controller.checkForUpdatesInNewThread();
    turnEventLoop(500);
    QCOMPARE(f.server.requestCount(kPrimaryPath), 0);
    QVERIFY(f.storedDate().isEmpty());
    // The manual check does not look at the preference.
    controller.checkForUpdates();
    QCOMPARE(f.panelTitles(), QStringList{kUpdateTitle});
}

void TestUpdateThreads::windowStaysResponsive()
{
    UpdateFixture f;
    VersionListServer::Response slow{200, listWith(QStringLiteral("1.0.0"))};
    slow.delayMs = 1500;
    f.server.setResponse(kPrimaryPath, slow);
    LumoraLogin controller(controllerContext(f));

    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(20);
    controller.checkForUpdatesInNewThread();
    QTRY_COMPARE_WITH_TIMEOUT(f.storedDate(), UpdateCheck::dateText(f.clock.now()), 10000);
    // 1.5 s of download at one tick per 20 ms: a blocked GUI thread would
    // have ticked once or twice.
    QVERIFY2(ticks > 40, qPrintable(QString::number(ticks)));
}

void TestUpdateThreads::manualCheckFromTheController()
{
    UpdateFixture f;
    f.server.setList(kPrimaryPath, listWith(QStringLiteral("1.0.0")));
    // A check a minute ago does not hold back the user's own.
    f.defaults->setObject(PreferenceKeys::kLastVersionCheckDate,
                          UpdateCheck::dateText(f.clock.now().addSecs(-60)));
    LumoraLogin controller(controllerContext(f));
    controller.checkForUpdates();
    QCOMPARE(f.panelTitles(), QStringList{QStringLiteral("Lumora Login is up to date")});
    QCOMPARE(f.storedDate(), UpdateCheck::dateText(f.clock.now()));
}

void TestUpdateThreads::emptyAppNameIsTheApp()
{
    UpdateFixture f;
    f.server.setList(kPrimaryPath, listWith(QStringLiteral("1.1")));
    f.alerts.scriptAnswers({AlertPanel::AlternateReturn});
    auto worker = f.checker().checkForUpdatesInNewThreadForAppName(QString());
    QVERIFY(worker);
    QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 10000);
    QCOMPARE(f.panelTitles(), QStringList{kUpdateTitle});
    QVERIFY(f.alerts.shown()[0].message.startsWith(QLatin1String("the app version 1.1 is available.")));
    QVERIFY(f.workspace.opened().isEmpty());
}

void TestUpdateThreads::destroyedDuringHangingDownload()
{
    // With the application's own 30 s limits: quitting must not wait for them.
    UpdateFixture f;
    VersionListServer::Response hang;
    hang.hang = true;
    f.server.setResponse(kPrimaryPath, hang);
    auto controller = std::make_unique<LumoraLogin>(controllerContext(f));
    controller->checkForUpdatesInNewThread();
    QTRY_COMPARE(f.server.requestCount(kPrimaryPath), 1);

    QElapsedTimer timer;
    timer.start();
    controller.reset();
    // Not a speed check: waiting out the 30 s download limit would be the fault.
    QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(f.storedDate().isEmpty());
    QCOMPARE(f.server.requestCount(kFallbackPath), 0);
}

void TestUpdateThreads::destroyedWhileAPanelIsPending()
{
    UpdateFixture f;
    f.server.setList(kPrimaryPath, listWith(QStringLiteral("1.1")));
    auto controller = std::make_unique<LumoraLogin>(controllerContext(f));
    controller->checkForUpdatesInNewThread();
    // Wait without turning the event loop, so the worker's panel request
    // stays queued, as when the window closes at that moment.
    QElapsedTimer timer;
    timer.start();
    while (!f.log.lines().contains(QStringLiteral("latestVersionNumber = 1.1")) && timer.elapsed() < 10000)
        QThread::msleep(10);
    QThread::msleep(100);
    controller.reset(); // would deadlock if the worker waited without cancellation
    turnEventLoop(200);  // the abandoned request must not show a panel later
    QVERIFY(f.alerts.shown().isEmpty());
    QVERIFY(f.storedDate().isEmpty());
}

QTEST_GUILESS_MAIN(TestUpdateThreads)
#include "tst_updatethreads.moc"
