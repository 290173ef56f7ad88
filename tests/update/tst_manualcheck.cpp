// The user's Check for Updates… off the GUI thread: the event loop keeps
// turning while it waits for a server, Cancel ends it at once, and its
// outcome is still told in the panel of the check.

#include "update/ManualUpdateCheck.h"
#include "tests/update/UpdateFixture.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QFile>
#include <QDir>
#include <QTest>
#include <QTimer>

namespace {

// The download folders a check makes, so a test can see they went away.
QStringList downloadFolders()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("lumora-update-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

class TestManualCheck : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp{QDir::tempPath() + QStringLiteral("/tst_manualcheck-XXXXXX")};

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // A temporary folder of this test's own: the other update tests,
        // running beside it, make and remove download folders too.
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        QCOMPARE(QDir::tempPath(), QDir(m_tmp.path()).canonicalPath());
    }

    // A server that takes the request and never answers, with the
    // application's own 30 s limits: the loop turns, and Cancel ends the
    // download within a second, killing curl and removing its folder.
    void hangingServerKeepsTheLoopTurningAndCancelEndsIt()
    {
        UpdateFixture f;
        VersionListServer::Response hang;
        hang.hang = true;
        f.server.setResponse(kPrimaryPath, hang);
        const QStringList foldersBefore = downloadFolders();

        ManualUpdateCheck check(f.services());
        QSignalSpy finished(&check, &ManualUpdateCheck::finished);
        int ticks = 0;
        QTimer zero;
        zero.setInterval(0);
        connect(&zero, &QTimer::timeout, this, [&] { ++ticks; });
        zero.start();

        QVERIFY(check.start());
        QVERIFY(!check.start()); // one at a time
        QTRY_COMPARE(f.server.requestCount(kPrimaryPath), 1);
        const int ticksAtRequest = ticks;
        QTest::qWait(300);
        QVERIFY2(ticks > ticksAtRequest + 10, qPrintable(QString::number(ticks - ticksAtRequest)));
        QVERIFY(check.isRunning());
        QCOMPARE(downloadFolders().size(), foldersBefore.size() + 1);

        QElapsedTimer timer;
        timer.start();
        check.cancel();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), true);
        QVERIFY(!check.isRunning());
        // The worker ends, and the download folder goes, within a second.
        QTRY_VERIFY_WITH_TIMEOUT(downloadFolders() == foldersBefore, 1000);
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QTest::qWait(100);
        QVERIFY(f.alerts.shown().isEmpty());
        QVERIFY(f.storedDate().isEmpty());
        QCOMPARE(f.server.requestCount(kFallbackPath), 0);
        // A new check may start after a cancel.
        f.server.setList(kPrimaryPath, productList({{QStringLiteral("osVersion=10.4"), versionInfo(QStringLiteral("1.0.0"))}}));
        QVERIFY(check.start());
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        QCOMPARE(finished.last().first().toBool(), false);
    }

    // Forced and not silent: the interval does not apply, every outcome is
    // told, the panel comes from the GUI thread after resultReady().
    void tellsTheOutcomeFromTheGuiThread_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("title");
        QTest::newRow("up to date") << productList({{QStringLiteral("osVersion=10.4"), versionInfo(QStringLiteral("1.0.0"))}})
                                    << QStringLiteral("Lumora Login is up to date");
        QTest::newRow("newer") << productList({{QStringLiteral("osVersion=10.4"), versionInfo(QStringLiteral("1.1"))}})
                               << QStringLiteral("A new version is available");
        QTest::newRow("no list") << QByteArray("not a list") << QStringLiteral("Unable to check for updates");
    }

    void tellsTheOutcomeFromTheGuiThread()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, title);
        UpdateFixture f;
        f.server.setList(kPrimaryPath, list);
        f.server.setList(kFallbackPath, list);
        // A check a minute ago: a launch check would stay quiet, this one runs.
        f.defaults->setObject(PreferenceKeys::kLastVersionCheckDate,
                              UpdateCheck::dateText(f.clock.now().addSecs(-60)));
        f.alerts.scriptAnswers({AlertPanel::AlternateReturn});

        UpdateCheck::Limits limits;
        limits.downloadTimeout = std::chrono::milliseconds(3000);
        ManualUpdateCheck check(f.services(), limits);
        QSignalSpy ready(&check, &ManualUpdateCheck::resultReady);
        QSignalSpy finished(&check, &ManualUpdateCheck::finished);
        QVERIFY(check.start());
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 15000);
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(ready.size(), 1);
        QCOMPARE(f.panelTitles(), QStringList{title});
        QCOMPARE(f.storedDate(), UpdateCheck::dateText(f.clock.now()));
    }
};

QTEST_GUILESS_MAIN(TestManualCheck)
#include "tst_manualcheck.moc"
