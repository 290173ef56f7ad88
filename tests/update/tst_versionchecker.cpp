#include "tests/update/UpdateFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>
#include <QTimeZone>

namespace {

const QString kUpdateTitle = QStringLiteral("A new version is available");
const QString kUnableTitle = QStringLiteral("Unable to check for updates");
const QString kUpToDateTitle = QStringLiteral("Lumora Login is up to date");
const QString kName = QStringLiteral("Lumora Login");

QString unableToLoad(const UpdateFixture &f)
{
    return QStringLiteral("Unable to load product dictionary from '%1'").arg(f.server.url(kFallbackPath));
}

// A valid list padded past 1 MiB: only the size cap keeps it out.
QByteArray oversizedList()
{
    return productList({{QStringLiteral("osVersion=10.4"),
                         versionInfo(QStringLiteral("9.9"), QString(2 * 1024 * 1024, QLatin1Char('x')))}});
}

QByteArray deeplyNestedList()
{
    const int depth = 200000;
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    bytes.reserve(depth * 15 + 100);
    for (int i = 0; i < depth; ++i)
        bytes += "<array>";
    for (int i = 0; i < depth; ++i)
        bytes += "</array>";
    return bytes + "</plist>";
}

} // namespace

class TestVersionChecker : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void baseOs_data();
    void baseOs();
    void dateTextReadsBack();
    void dateTextRejectsOtherForms_data();
    void dateTextRejectsOtherForms();

    void panels_data();
    void panels();
    void updatePanelOpensOnlyWebAddresses_data();
    void updatePanelOpensOnlyWebAddresses();

    void outcomes_data();
    void outcomes();
    void fallbackWhenPrimaryFails_data();
    void fallbackWhenPrimaryFails();
    void unansweringServersAreAskedOnceWithinTheLimit_data();
    void unansweringServersAreAskedOnceWithinTheLimit();
    void userCurlSettingsDoNotApply();
    void downloadStaysPrivate();
    void unreadableReleaseDoesNotStopTheCheck();

    void interval_data();
    void interval();
};

void TestVersionChecker::baseOs_data()
{
    QTest::addColumn<QString>("full");
    QTest::addColumn<QString>("base");
    QTest::newRow("three parts") << "10.4.8" << "10.4";
    QTest::newRow("two parts") << "10.4" << "10.4";
    QTest::newRow("no dot is its own base") << "10" << "10";
    QTest::newRow("empty components count") << "10..8" << "10.";
    QTest::newRow("empty") << "" << "";
}

void TestVersionChecker::baseOs()
{
    QFETCH(QString, full);
    QFETCH(QString, base);
    QCOMPARE(VersionChecker::getBaseOsFromFullVersion(full), base);
}

void TestVersionChecker::dateTextReadsBack()
{
    const QDateTime moments[] = {
        QDateTime(QDate(2026, 12, 7), QTime(12, 0, 5), QTimeZone::utc()),
        QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone(5 * 3600 + 30 * 60)),
        QDateTime(QDate(2025, 6, 30), QTime(23, 59, 59), QTimeZone(-8 * 3600)),
    };
    QCOMPARE(UpdateCheck::dateText(moments[0]), QStringLiteral("2026-12-07 12:00:05 +0000"));
    QCOMPARE(UpdateCheck::dateText(moments[1]), QStringLiteral("2026-01-02 03:04:05 +0530"));
    QCOMPARE(UpdateCheck::dateText(moments[2]), QStringLiteral("2025-06-30 23:59:59 -0800"));
    for (const QDateTime &moment : moments) {
        const auto back = UpdateCheck::dateFromText(UpdateCheck::dateText(moment));
        QVERIFY(back);
        QCOMPARE(back->toMSecsSinceEpoch(), moment.toMSecsSinceEpoch());
    }
}

void TestVersionChecker::dateTextRejectsOtherForms_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("words") << "last Tuesday";
    QTest::newRow("no offset") << "2026-12-07 12:00:05";
    QTest::newRow("month 13") << "2026-13-07 12:00:05 +0000";
    QTest::newRow("hour 25") << "2026-12-07 25:00:05 +0000";
    QTest::newRow("offset minutes 75") << "2026-12-07 12:00:05 +0075";
    QTest::newRow("trailing text") << "2026-12-07 12:00:05 +0000 and more";
}

void TestVersionChecker::dateTextRejectsOtherForms()
{
    QFETCH(QString, text);
    QVERIFY(!UpdateCheck::dateFromText(text));
}

// --- Panels ------------------------------------------------------------------

void TestVersionChecker::panels_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("appName");
    QTest::addColumn<QString>("features");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("alternate");
    // Good news carries no warning sign; only the failures do.
    QTest::addColumn<bool>("information");

    QTest::newRow("missing product dictionary")
        << 0 << kName << QString() << kUnableTitle
        << "Lumora Login was unable to check for updates.  Please make sure you are connected to the "
           "internet and try again."
        << QString() << false;
    QTest::newRow("missing OS info") << 1 << kName << QString() << kUnableTitle
                                     << "Lumora Login could not determine the most recent version "
                                        "information for Mac OS 10.4."
                                     << QString() << false;
    QTest::newRow("up to date, lower-case name")
        << 2 << "the app" << QString() << "the app is up to date" << "You have the most recent version of the app."
        << QString() << true;
    QTest::newRow("update, several lines")
        << 3 << kName << "Faster.\nSmaller.\n" << kUpdateTitle
        << "Lumora Login version 1.1 is available.  You have version 1.0.0 installed.  Here are some of the "
           "features of version 1.1:\n\nFaster.\nSmaller.\n\nWould you like to download the new version now?"
        << "Cancel" << true;
    QTest::newRow("update, percent signs stay literal")
        << 3 << "100% %@ app" << "Saves 50% of time, %@ and %% too" << kUpdateTitle
        << "100% %@ app version 1.1 is available.  You have version 1.0.0 installed.  Here are some of the "
           "features of version 1.1:\n\nSaves 50% of time, %@ and %% too\nWould you like to download the new "
           "version now?"
        << "Cancel" << true;
}

void TestVersionChecker::panels()
{
    QFETCH(int, which);
    QFETCH(QString, appName);
    QFETCH(QString, features);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, alternate);
    QFETCH(bool, information);

    UpdateFixture f;
    f.alerts.scriptAnswers({AlertPanel::AlternateReturn});
    VersionChecker checker = f.checker();
    switch (which) {
    case 0:
        checker.displayErrorPanelForMissingProductDictionaryForAppName(appName);
        break;
    case 1:
        checker.displayErrorPanelForMissingOsInfo(QStringLiteral("10.4"), appName);
        break;
    case 2:
        checker.displayUpToDatePanelForAppName(appName);
        break;
    default:
        checker.displayUpdatePanelForOldVersion(QStringLiteral("1.0.0"), QStringLiteral("1.1"),
                                                versionInfo(QStringLiteral("1.1"), features), appName);
    }
    const auto shown = f.alerts.shown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, title);
    QCOMPARE(shown[0].message, message);
    QCOMPARE(shown[0].defaultButton, QStringLiteral("OK"));
    QCOMPARE(shown[0].alternateButton, alternate);
    QCOMPARE(shown[0].information, information);
    QCOMPARE(f.alerts.activations(), 1);
    // Answered with the alternate button: an update panel opens nothing.
    QVERIFY(f.workspace.opened().isEmpty());
}

void TestVersionChecker::updatePanelOpensOnlyWebAddresses_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("browser"); // whether the workspace can start one
    QTest::newRow("https") << QVariant(QStringLiteral("https://lumora-login.example.org/get.dmg")) << true << true;
    QTest::newRow("https, no browser") << QVariant(QStringLiteral("https://lumora-login.example.org/get.dmg"))
                                       << true << false;
    QTest::newRow("http upper case") << QVariant(QStringLiteral("HTTP://lumora-login.example.org/get")) << true << true;
    QTest::newRow("file") << QVariant(QStringLiteral("file:///etc/passwd")) << false << true;
    QTest::newRow("script") << QVariant(QStringLiteral("javascript:alert(1)")) << false << true;
    QTest::newRow("other scheme") << QVariant(QStringLiteral("smb://server/share")) << false << true;
    QTest::newRow("relative") << QVariant(QStringLiteral("get.dmg")) << false << true;
    QTest::newRow("not a string") << QVariant(qlonglong(42)) << false << true;
    QTest::newRow("missing") << QVariant() << false << true;
}

void TestVersionChecker::updatePanelOpensOnlyWebAddresses()
{
    QFETCH(QVariant, address);
    QFETCH(bool, opens);
    QFETCH(bool, browser);
    UpdateFixture f;
    f.workspace.setOpens(browser);
    QVariantMap info = versionInfo(QStringLiteral("1.1"));
    info.remove(QStringLiteral("downloadURL"));
    if (address.isValid())
        info.insert(QStringLiteral("downloadURL"), address);
    f.alerts.scriptAnswers({AlertPanel::DefaultReturn});
    f.checker().displayUpdatePanelForOldVersion(QStringLiteral("1.0.0"), QStringLiteral("1.1"), info, kName);

    const QString refused = QStringLiteral("Download address is not an http or https address; not opening it");
    // The address goes to a panel only when a browser was asked and none
    // started; a refused address is never offered for copying.
    const auto shown = f.alerts.shown();
    QCOMPARE(shown.size(), opens && !browser ? 2 : 1);
    if (opens) {
        QCOMPARE(f.workspace.opened(), QList<QUrl>{QUrl(address.toString())});
        QCOMPARE(f.log.count(refused), 0);
    } else {
        QVERIFY(f.workspace.opened().isEmpty());
        QCOMPARE(f.log.lines(), QStringList{refused});
    }
    if (shown.size() == 2) {
        QCOMPARE(shown[1].title, QStringLiteral("The download could not be opened"));
        QCOMPARE(shown[1].address, address.toString());
        QCOMPARE(shown[1].defaultButton, QStringLiteral("OK"));
    }
}

// --- Whole checks against the loopback server -----------------------------------

void TestVersionChecker::outcomes_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QString>("release");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("panel"); // title of the one panel, or empty for none
    QTest::addColumn<QString>("latestLog"); // "latestVersionNumber = ..." or empty
    QTest::addColumn<QString>("messagePart");

    const QString base = QStringLiteral("osVersion=10.4");
    const QString full = QStringLiteral("osVersion=10.4.11");
    const QByteArray upToDate = productList({{base, versionInfo(QStringLiteral("1.0.0"))}});
    const QByteArray newer = productList({{base, versionInfo(QStringLiteral("1.1"))}});

    QTest::newRow("up to date, manual") << upToDate << "10.4.11" << false << kUpToDateTitle
                                        << "latestVersionNumber = 1.0.0" << "most recent version";
    QTest::newRow("up to date, launch: no panel")
        << upToDate << "10.4.11" << true << QString() << "latestVersionNumber = 1.0.0" << QString();
    QTest::newRow("newer, launch still tells") << newer << "10.4.11" << true << kUpdateTitle
                                               << "latestVersionNumber = 1.1" << "version 1.1 is available";
    QTest::newRow("older is still offered")
        << productList({{base, versionInfo(QStringLiteral("0.9"))}}) << "10.4.11" << true << kUpdateTitle
        << "latestVersionNumber = 0.9" << "version 0.9 is available";
    QTest::newRow("1.0 is not 1.0.0") << productList({{base, versionInfo(QStringLiteral("1.0"))}}) << "10.4.11"
                                      << true << kUpdateTitle << "latestVersionNumber = 1.0"
                                      << "version 1.0 is available.  You have version 1.0.0";
    QTest::newRow("case counts") << productList({{base, versionInfo(QStringLiteral("1.0.0B"))}}) << "10.4.11"
                                 << true << kUpdateTitle << "latestVersionNumber = 1.0.0B" << QString();
    QTest::newRow("full key before base key")
        << productList({{QStringLiteral("osVersion=10.4.8"), versionInfo(QStringLiteral("1.2"))},
                        {base, versionInfo(QStringLiteral("1.1"))}})
        << "10.4.8" << true << kUpdateTitle << "latestVersionNumber = 1.2" << QString();
    QTest::newRow("base key alone") << productList({{base, versionInfo(QStringLiteral("1.1"))}}) << "10.4.8"
                                    << true << kUpdateTitle << "latestVersionNumber = 1.1" << QString();
    QTest::newRow("another release only, manual")
        << productList({{QStringLiteral("osVersion=10.3"), versionInfo(QStringLiteral("1.1"))}}) << "10.4.8"
        << false << kUnableTitle << QString() << "for Mac OS 10.4.";
    QTest::newRow("no entry for the product, manual")
        << PropertyList::serialize(QVariantMap{{QStringLiteral("org.example.Other"),
                                                QVariantMap{{full, versionInfo(QStringLiteral("2.0"))}}}},
                                   PropertyList::Format::Xml)
        << "10.4.11" << false << kUnableTitle << QString() << "for Mac OS 10.4.";
    QTest::newRow("no entry for the product, launch: no panel")
        << PropertyList::serialize(QVariantMap{{QStringLiteral("org.example.Other"), QVariantMap{}}},
                                   PropertyList::Format::Xml)
        << "10.4.11" << true << QString() << QString() << QString();
    QTest::newRow("product entry is not a dictionary")
        << PropertyList::serialize(QVariantMap{{kIdentifier, QStringLiteral("1.1")}}, PropertyList::Format::Xml)
        << "10.4.11" << false << kUnableTitle << QString() << "for Mac OS 10.4.";
    QTest::newRow("version info is not a dictionary")
        << productList({{full, QVariantList{QStringLiteral("1.1")}}}) << "10.4.11" << false << kUnableTitle
        << QString() << "for Mac OS 10.4.";
    QTest::newRow("version written as a number") << productList({{base, versionInfo(qlonglong(2))}}) << "10.4.11"
                                                 << true << kUpdateTitle << "latestVersionNumber = 2" << QString();
    QTest::newRow("no latest version still offers the download")
        << productList({{base, versionInfo(QVariant())}}) << "10.4.11" << true << kUpdateTitle
        << "latestVersionNumber = (null)" << "version unknown is available";
    QTest::newRow("HTML instead of a list") << QByteArray("<html><body>Moved</body></html>") << "10.4.11"
                                            << false << kUnableTitle << QString() << "unable to check";
    QTest::newRow("list over 1 MiB") << oversizedList() << "10.4.11" << false << kUnableTitle << QString()
                                     << "unable to check";
    QTest::newRow("200000 levels deep") << deeplyNestedList() << "10.4.11" << false << kUnableTitle
                                        << QString() << "unable to check";
}

void TestVersionChecker::outcomes()
{
    QFETCH(QByteArray, list);
    QFETCH(QString, release);
    QFETCH(bool, silent);
    QFETCH(QString, panel);
    QFETCH(QString, latestLog);
    QFETCH(QString, messagePart);

    UpdateFixture f(release);
    // Both addresses serve the same answer, so a list that fails here
    // fails by its content, not because one address was down.
    f.server.setList(kPrimaryPath, list);
    f.server.setList(kFallbackPath, list);
    f.alerts.scriptAnswers({AlertPanel::AlternateReturn});
    f.checker().checkForUpdatesSilently(silent, kName, true);

    QCOMPARE(f.panelTitles(), panel.isEmpty() ? QStringList() : QStringList{panel});
    if (!messagePart.isEmpty())
        QVERIFY2(f.alerts.shown()[0].message.contains(messagePart), qPrintable(f.alerts.shown()[0].message));

    const QString baseRelease = VersionChecker::getBaseOsFromFullVersion(release);
    QStringList expectedLog{QStringLiteral("Current version = 1.0.0"),
                            QStringLiteral("Full OS: 'osVersion=%1', base OS: = 'osVersion=%2'")
                                .arg(release, baseRelease)};
    const bool gotNoList = messagePart == QLatin1String("unable to check");
    if (!latestLog.isEmpty())
        expectedLog << latestLog;
    if (gotNoList)
        expectedLog << unableToLoad(f);
    QCOMPARE(f.log.lines(), expectedLog);

    // Every outcome records the moment of the check.
    QCOMPARE(f.storedDate(), UpdateCheck::dateText(f.clock.now()));
    QVERIFY(f.workspace.opened().isEmpty());
}

void TestVersionChecker::fallbackWhenPrimaryFails_data()
{
    QTest::addColumn<bool>("primaryDown");
    QTest::newRow("nothing listens at the primary address") << true;
    QTest::newRow("primary answers with an error page") << false;
}

void TestVersionChecker::fallbackWhenPrimaryFails()
{
    QFETCH(bool, primaryDown);
    UpdateFixture f;
    if (primaryDown)
        f.writeInfo(QStringLiteral("http://127.0.0.1:%1/versions.txt").arg(VersionListServer::unusedPort()),
                    f.server.url(kFallbackPath));
    f.server.setList(kFallbackPath, productList({{QStringLiteral("osVersion=10.4"),
                                                  versionInfo(QStringLiteral("1.1"))}}));
    f.alerts.scriptAnswers({AlertPanel::DefaultReturn});
    f.checker().checkForUpdatesSilently(true, kName, false);

    QCOMPARE(f.panelTitles(), QStringList{kUpdateTitle});
    QCOMPARE(f.workspace.opened(), QList<QUrl>{QUrl(QStringLiteral("https://lumora-login.example.org/get.dmg"))});
    QCOMPARE(f.server.requestCount(kFallbackPath), 1);
    QCOMPARE(f.server.requestCount(kPrimaryPath), primaryDown ? 0 : 1);
}

void TestVersionChecker::unansweringServersAreAskedOnceWithinTheLimit_data()
{
    QTest::addColumn<QString>("primary"); // "hang" or "close"
    QTest::addColumn<QString>("fallback"); // "hang", "close" or "list"
    QTest::addColumn<QString>("title");
    QTest::newRow("both hang") << "hang" << "hang" << kUnableTitle;
    QTest::newRow("primary hangs, fallback answers") << "hang" << "list" << kUpdateTitle;
    // Qt Network would send the request again after such a close.
    QTest::newRow("both close without an answer") << "close" << "close" << kUnableTitle;
}

// Servers that take the request and never answer: the outcome is there
// within the one time limit of the fetch, not one limit per address, and
// each address is asked once. The fallback still gets its share.
void TestVersionChecker::unansweringServersAreAskedOnceWithinTheLimit()
{
    QFETCH(QString, primary);
    QFETCH(QString, fallback);
    QFETCH(QString, title);
    UpdateFixture f;
    auto response = [](const QString &how) {
        VersionListServer::Response r;
        r.hang = how == QLatin1String("hang");
        r.closeUnanswered = how == QLatin1String("close");
        if (how == QLatin1String("list")) {
            r.body = productList({{QStringLiteral("osVersion=10.4"), versionInfo(QStringLiteral("1.1"))}});
            r.delayMs = 300;
        }
        return r;
    };
    f.server.setResponse(kPrimaryPath, response(primary));
    f.server.setResponse(kFallbackPath, response(fallback));
    f.alerts.scriptAnswers({AlertPanel::AlternateReturn});

    const auto limit = std::chrono::milliseconds(2000);
    QElapsedTimer timer;
    timer.start();
    f.checker(limit).checkForUpdatesSilently(false, kName, true);
    const qint64 elapsed = timer.elapsed();

    // One limit per address would take twice the limit; a loaded machine
    // (the sanitized builds run beside each other) adds some to one limit.
    QVERIFY2(elapsed < limit.count() * 7 / 4, qPrintable(QString::number(elapsed)));
    QTest::qWait(200); // a request sent again would have arrived by now
    QCOMPARE(f.server.requestCount(kPrimaryPath), 1);
    QCOMPARE(f.server.requestCount(kFallbackPath), 1);
    QCOMPARE(f.panelTitles(), QStringList{title});
    QCOMPARE(f.log.count(unableToLoad(f)), title == kUnableTitle ? 1 : 0);
}

// A .curlrc of the user's asking curl to retry would ask the server three
// times and outlast the limit.
void TestVersionChecker::userCurlSettingsDoNotApply()
{
    QTemporaryDir curlHome;
    QVERIFY(curlHome.isValid());
    QFile rc(curlHome.filePath(QStringLiteral(".curlrc")));
    QVERIFY(rc.open(QIODevice::WriteOnly));
    rc.write("retry = 2\nretry-delay = 1\n");
    rc.close();
    const QByteArray oldHome = qgetenv("CURL_HOME");
    qputenv("CURL_HOME", QFile::encodeName(curlHome.path()));

    UpdateFixture f;
    f.server.setResponse(kPrimaryPath, {503, "busy"});
    f.server.setList(kFallbackPath, productList({{QStringLiteral("osVersion=10.4"),
                                                  versionInfo(QStringLiteral("1.0.0"))}}));
    f.checker().checkForUpdatesSilently(false, kName, true);
    if (oldHome.isNull())
        qunsetenv("CURL_HOME");
    else
        qputenv("CURL_HOME", oldHome);

    QCOMPARE(f.server.requestCount(kPrimaryPath), 1);
    QCOMPARE(f.panelTitles(), QStringList{kUpToDateTitle});
}

void TestVersionChecker::downloadStaysPrivate()
{
    // A list planted at the old shared path must not be believed, and the
    // check must leave nothing behind in the temporary folder.
    UpdateFixture f;
    const QString tempDir = f.volume.scratch() + QStringLiteral("/tmp");
    QVERIFY(QDir().mkpath(tempDir));
    const QByteArray previousTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tempDir.toLocal8Bit());
    const QString planted = QDir::tempPath() + QStringLiteral("/vorlan_versions.txt");
    {
        QFile file(planted);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(productList({{QStringLiteral("osVersion=10.4"), versionInfo(QStringLiteral("6.6"))}}));
    }
    const QByteArray list = productList({{QStringLiteral("osVersion=10.4"), versionInfo(QStringLiteral("1.0.0"))}});
    f.server.setList(kPrimaryPath, list);
    f.checker().checkForUpdatesSilently(false, kName, true);
    qputenv("TMPDIR", previousTmp);

    QCOMPARE(f.panelTitles(), QStringList{kUpToDateTitle});
    QCOMPARE(QDir(tempDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("vorlan_versions.txt")});
    QCOMPARE(f.server.requestCount(kFallbackPath), 0);
}

void TestVersionChecker::unreadableReleaseDoesNotStopTheCheck()
{
    UpdateFixture f;
    QVERIFY(QFile::remove(f.volume.hostPath(LoginWindow::kVersionFile)));
    // Even a list that names an empty release must not match.
    f.server.setList(kPrimaryPath, productList({{QStringLiteral("osVersion="), versionInfo(QStringLiteral("1.1"))},
                                                {QStringLiteral("osVersion=."), versionInfo(QStringLiteral("1.1"))}}));
    f.checker().checkForUpdatesSilently(false, kName, true);

    QCOMPARE(f.panelTitles(), QStringList{kUnableTitle});
    QCOMPARE(f.alerts.shown()[0].message,
             QStringLiteral("Lumora Login could not determine the most recent version information for Mac OS unknown."));
    QCOMPARE(f.log.lines().value(1), QStringLiteral("Full OS: 'osVersion=', base OS: = 'osVersion='"));
    QCOMPARE(f.storedDate(), UpdateCheck::dateText(f.clock.now()));
}

// --- The interval between launch checks --------------------------------------------

void TestVersionChecker::interval_data()
{
    QTest::addColumn<QVariant>("stored"); // seconds before now, a text, or nothing
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("runs");
    QTest::newRow("nothing stored") << QVariant() << false << true;
    QTest::newRow("exactly three days ago") << QVariant(259200) << false << false;
    QTest::newRow("three days and a second ago") << QVariant(259201) << false << true;
    QTest::newRow("a minute ago") << QVariant(60) << false << false;
    QTest::newRow("a minute ago, manual") << QVariant(60) << true << true;
    QTest::newRow("in the future") << QVariant(-3600) << false << false;
    QTest::newRow("in the future, manual") << QVariant(-3600) << true << true;
    QTest::newRow("unreadable text") << QVariant(QStringLiteral("last Tuesday")) << false << true;
    QTest::newRow("other time zone, just inside") << QVariant(QStringLiteral("zone:259200")) << false << false;
    QTest::newRow("other time zone, just past") << QVariant(QStringLiteral("zone:259201")) << false << true;
}

void TestVersionChecker::interval()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, force);
    QFETCH(bool, runs);

    UpdateFixture f;
    f.server.setList(kPrimaryPath, productList({{QStringLiteral("osVersion=10.4"),
                                                 versionInfo(QStringLiteral("1.0.0"))}}));
    QString before;
    if (stored.typeId() == QMetaType::Int) {
        before = UpdateCheck::dateText(f.clock.now().addSecs(-stored.toInt()));
    } else if (stored.toString().startsWith(QLatin1String("zone:"))) {
        // Written by a machine three hours ahead of this one.
        const int seconds = stored.toString().mid(5).toInt();
        before = UpdateCheck::dateText(f.clock.now().addSecs(-seconds).toTimeZone(QTimeZone(3 * 3600)));
    } else if (stored.isValid()) {
        before = stored.toString();
    }
    if (!before.isEmpty())
        f.defaults->setObject(PreferenceKeys::kLastVersionCheckDate, before);

    f.checker().checkForUpdatesSilently(true, kName, force);

    QCOMPARE(f.server.requestCount(kPrimaryPath), runs ? 1 : 0);
    QCOMPARE(f.storedDate(), runs ? UpdateCheck::dateText(f.clock.now()) : before);
    QCOMPARE(f.log.lines().isEmpty(), !runs);
    QVERIFY(f.alerts.shown().isEmpty());
}

QTEST_GUILESS_MAIN(TestVersionChecker)
#include "tst_versionchecker.moc"
