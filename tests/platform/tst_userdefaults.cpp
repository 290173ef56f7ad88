#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

const QString kCheck = QStringLiteral("checkForUpdates");
const QString kLogo = QStringLiteral("Made logo backup");
const QString kTitle = QStringLiteral("Made title backup");

QVariantMap applicationFallbacks()
{
    return {{kCheck, QStringLiteral("YES")}, {kLogo, QStringLiteral("NO")}, {kTitle, QStringLiteral("NO")}};
}

} // namespace

class TestUserDefaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void readsAsBoolean_data();
    void readsAsBoolean();
    void fallbackAppliesOnlyWithoutOwnValue();
    void persistsAcrossInstances();
    void twoThreadsShareOneStore();
    void valuesSetSoonAreWrittenOnceTheLoopTurns();
};

void TestUserDefaults::readsAsBoolean_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("expected");
    QTest::newRow("YES") << QVariant(QStringLiteral("YES")) << true;
    QTest::newRow("yes") << QVariant(QStringLiteral("yes")) << true;
    QTest::newRow("NO") << QVariant(QStringLiteral("NO")) << false;
    QTest::newRow("true as stored by the ini file") << QVariant(QStringLiteral("true")) << true;
    QTest::newRow("false as stored by the ini file") << QVariant(QStringLiteral("false")) << false;
    QTest::newRow("1") << QVariant(QStringLiteral("1")) << true;
    QTest::newRow("0") << QVariant(QStringLiteral("0")) << false;
    QTest::newRow("other text") << QVariant(QStringLiteral("maybe")) << false;
    QTest::newRow("bool true") << QVariant(true) << true;
    QTest::newRow("number 2") << QVariant(2) << true;
    QTest::newRow("missing") << QVariant() << false;
}

void TestUserDefaults::readsAsBoolean()
{
    QFETCH(QVariant, value);
    QFETCH(bool, expected);
    QCOMPARE(UserDefaults::readsAsTrue(value), expected);
}

void TestUserDefaults::fallbackAppliesOnlyWithoutOwnValue()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    UserDefaults defaults(dir.filePath(QStringLiteral("prefs.ini")));
    defaults.registerDefaults(applicationFallbacks());

    // Registered "YES"/"NO" strings read as booleans and as themselves.
    QVERIFY(defaults.boolForKey(kCheck));
    QVERIFY(!defaults.boolForKey(kLogo));
    QCOMPARE(defaults.stringForKey(kCheck), QStringLiteral("YES"));
    QVERIFY(!defaults.boolForKey(QStringLiteral("never registered")));
    QVERIFY(!defaults.objectForKey(QStringLiteral("never registered")).isValid());

    // An own value wins over the fallback, in both directions.
    defaults.setBool(kLogo, true);
    defaults.setBool(kCheck, false);
    QVERIFY(defaults.boolForKey(kLogo));
    QVERIFY(!defaults.boolForKey(kCheck));
    QVERIFY(!defaults.boolForKey(kTitle));

    // Registering again does not override what the user stored.
    defaults.registerDefaults(applicationFallbacks());
    QVERIFY(defaults.boolForKey(kLogo));

    // Removing the own value brings the fallback back.
    defaults.removeObject(kCheck);
    QVERIFY(defaults.boolForKey(kCheck));
}

void TestUserDefaults::persistsAcrossInstances()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("prefs.ini"));
    {
        UserDefaults first(path);
        first.registerDefaults(applicationFallbacks());
        first.setBool(kLogo, true);
        first.setBool(kCheck, false);
        first.setObject(QStringLiteral("Last version check date"),
                        QStringLiteral("2026-12-07 12:00:00 +0000"));
    }
    UserDefaults second(path);
    QCOMPARE(second.fileName(), path);
    // Fallbacks belong to the running application, not to the file.
    QVERIFY(!second.objectForKey(kTitle).isValid());
    second.registerDefaults(applicationFallbacks());
    QVERIFY(second.boolForKey(kLogo));
    QVERIFY(!second.boolForKey(kCheck));
    QVERIFY(!second.boolForKey(kTitle));
    QCOMPARE(second.stringForKey(QStringLiteral("Last version check date")),
             QStringLiteral("2026-12-07 12:00:00 +0000"));

    // Two live instances on one file see each other's writes after
    // synchronize.
    UserDefaults third(path);
    third.setBool(kTitle, true);
    second.synchronize();
    QVERIFY(second.boolForKey(kTitle));
}

void TestUserDefaults::twoThreadsShareOneStore()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    UserDefaults defaults(dir.filePath(QStringLiteral("prefs.ini")));
    defaults.registerDefaults(applicationFallbacks());

    // The update check's worker writes its own keys while the main thread
    // reads, writes and runs its event loop, as the application does.
    constexpr int kRounds = 100;
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        for (int i = 0; i < kRounds; ++i) {
            defaults.setObject(QStringLiteral("Last version check date"), QString::number(i));
            if (!defaults.boolForKey(kCheck))
                break;
            defaults.synchronize();
        }
        workerDone = true;
    });
    bool logoAlwaysReadable = true;
    for (int i = 0; i < kRounds || !workerDone; ++i) {
        defaults.setBool(kLogo, i % 2 == 0);
        logoAlwaysReadable = logoAlwaysReadable && defaults.boolForKey(kLogo) == (i % 2 == 0);
        (void)defaults.stringForKey(QStringLiteral("Last version check date"));
        QCoreApplication::processEvents();
    }
    worker.join();
    QVERIFY(logoAlwaysReadable);
    QCOMPARE(defaults.stringForKey(QStringLiteral("Last version check date")), QString::number(kRounds - 1));
    QVERIFY(defaults.boolForKey(kCheck));

    UserDefaults reread(defaults.fileName());
    QCOMPARE(reread.stringForKey(QStringLiteral("Last version check date")), QString::number(kRounds - 1));
}

void TestUserDefaults::valuesSetSoonAreWrittenOnceTheLoopTurns()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("prefs.ini"));
    // What the file holds (stores in one process share what they read).
    const auto onDisk = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QString volume = QStringLiteral("Last volume");
    const QString image = QStringLiteral("Last disk image");
    {
        UserDefaults first(path);
        first.setObject(image, QStringLiteral("/images/old.dmg"));
        first.setObjectsSoon({{volume, QStringLiteral("/mnt/a")}, {image, QString()}});
        // Read back at once, on disk only after the loop turns.
        QCOMPARE(first.stringForKey(volume), QStringLiteral("/mnt/a"));
        QVERIFY(first.stringForKey(image).isEmpty());
        QVERIFY(onDisk().contains("/images/old.dmg"));
        QVERIFY(!onDisk().contains("/mnt/a"));
        QTRY_VERIFY(onDisk().contains("/mnt/a"));
        QVERIFY(!onDisk().contains("/images/old.dmg"));

        // A store that goes before the loop turns still writes them.
        first.setObjectsSoon({{volume, QStringLiteral("/mnt/b")}});
    }
    QVERIFY(onDisk().contains("/mnt/b"));
    QCoreApplication::processEvents(); // the dropped write finds no store
}

QTEST_GUILESS_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
