// How long the GUI thread is kept busy while a save runs (direct back end,
// the real half-second pause) and while the user's update check waits for a
// server that never answers. A 1 ms watchdog timer on the GUI thread records
// the longest gap between its ticks; a frozen window shows as a long gap.

#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "controller/LumoraLogin.h"
#include "platform/Clock.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/FakeWorkspace.h"
#include "tests/fakes/LogCapture.h"
#include "tests/fakes/TestVolume.h"
#include "tests/fakes/VersionListServer.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {

// Anything above this is a window that froze; the numbers themselves are
// printed for the record.
constexpr qint64 kFrozenMs = 400;

class Watchdog {
public:
    Watchdog()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_worst = std::max(m_worst, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    // The longest the GUI thread did not get round to the timer, in ms.
    [[nodiscard]] qint64 worst() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_worst = 0;
};

struct Window {
    TestVolume volume;
    UserDefaults defaults{volume.scratch() + QStringLiteral("/defaults.ini")};
    FakeAlertPanel alerts;
    FakeWorkspace workspace;
    SystemClock clock;
    Authorization authorization{std::make_unique<DirectAuthorizationService>(), &alerts};
    std::unique_ptr<LumoraLogin> controller;
    std::unique_ptr<MainWindow> window;

    Window()
    {
        defaults.setBool(PreferenceKeys::kCheckForUpdates, false);
        controller = std::make_unique<LumoraLogin>(LumoraContext{volume.volume(), volume.bundle(), &defaults,
                                                                 &alerts, &workspace, &clock, &authorization});
        window = std::make_unique<MainWindow>(*controller);
        window->show();
        controller->attachFrontEnd(window->messageView(), LumoraLogin::LaunchCheck::Skip);
    }
    QString picture(const QString &name, const QSize &size) const
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(30, 120, 200));
        const QString path = volume.scratch() + QLatin1Char('/') + name;
        image.save(path, "PNG");
        return path;
    }
};

} // namespace

class TestResponsiveness : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void saveKeepsTheWindowLive()
    {
        Window w;
        LogCapture log;
        w.controller->setLogo(Image::referencingFile(w.picture(QStringLiteral("logo.png"), QSize(300, 200))));
        w.controller->setTitle(Image::referencingFile(w.picture(QStringLiteral("title.png"), QSize(300, 80))));
        w.controller->setBackground(
            Image::referencingFile(w.picture(QStringLiteral("background.png"), QSize(1024, 768))));
        w.controller->setMessage(QStringLiteral("Measured"));
        w.controller->setHostInfoTag(2);
        QTest::qWait(200); // let the wells draw what was set

        QSignalSpy done(w.window.get(), &MainWindow::saveDone);
        Watchdog watchdog;
        QElapsedTimer took;
        took.start();
        w.window->save();
        QVERIFY(done.wait(30000));
        const qint64 elapsed = took.elapsed();
        qInfo("save: took %lld ms, longest GUI-thread gap %lld ms", elapsed, watchdog.worst());
        QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join(QLatin1Char('\n'))));
        QVERIFY(elapsed >= 500); // the pause after the host information is kept
        QVERIFY2(watchdog.worst() < kFrozenMs, qPrintable(QString::number(watchdog.worst())));
    }

    void hangingUpdateCheckKeepsTheWindowLive()
    {
        VersionListServer server;
        VersionListServer::Response hang;
        hang.hang = true;
        server.setResponse(QStringLiteral("/versions.txt"), hang);
        Window w;
        QVERIFY(server.pointBundleAt(w.volume.resources(), QStringLiteral("/versions.txt")));
        QTest::qWait(200);

        Watchdog watchdog;
        w.window->checkForUpdates();
        QTRY_COMPARE(server.requestCount(QStringLiteral("/versions.txt")), 1);
        QTest::qWait(2000);
        auto *cancel = w.window->findChild<QPushButton *>(QStringLiteral("updateCheckCancel"));
        QVERIFY(cancel && cancel->isVisible());
        QElapsedTimer took;
        took.start();
        cancel->click();
        const qint64 cancelMs = took.elapsed();
        QTest::qWait(300);
        qInfo("update check: longest GUI-thread gap %lld ms over 2 s of a hanging server; Cancel took %lld ms",
              watchdog.worst(), cancelMs);
        QVERIFY2(watchdog.worst() < kFrozenMs, qPrintable(QString::number(watchdog.worst())));
        QVERIFY(w.alerts.shown().isEmpty());
    }
};

QTEST_MAIN(TestResponsiveness)
#include "tst_responsiveness.moc"
