// lumora-loginctl history and restore --look, run as processes.

#include "tests/fakes/CompanionRun.h"
#include "tests/fakes/TestVolume.h"
#include "tests/save/SaveFixture.h"

#include "platform/LookFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

class TestLoginCtlHistory : public QObject {
    Q_OBJECT

private:
    QString m_tool;
    std::unique_ptr<TestVolume> m_volume;

    QString home() const { return m_volume->scratch() + QStringLiteral("/home"); }
    CompanionRun run(const QStringList &arguments)
    {
        return runCompanion({m_tool, home(), m_volume->resources(), m_volume->root()}, arguments);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_tool = QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-loginctl");
        QVERIFY2(QFileInfo(m_tool).isExecutable(), qPrintable(m_tool));
    }
    void init()
    {
        m_volume = std::make_unique<TestVolume>();
        QVERIFY(m_volume->isValid());
        QVERIFY(QDir().mkpath(home()));
    }
    void cleanup() { m_volume.reset(); }

    void historyListsTheReplacedLooksAndRestoreBringsOneBack()
    {
        QCOMPARE(run({"history"}).out, QStringLiteral("no saved looks\n"));
        const QString stockMessage =
            QJsonDocument::fromJson(run({"show", "--json"}).out.toUtf8()).object().value("message").toString();
        QVERIFY(!stockMessage.isEmpty());
        for (const char *message : {"one", "two", "three"})
            QCOMPARE(run({"set", "--message", message, "--host-info", "Time"}).exitCode, 0);

        const CompanionRun listed = run({"history", "--json"});
        QCOMPARE(listed.exitCode, 0);
        const QJsonArray looks = QJsonDocument::fromJson(listed.out.toUtf8()).object().value("looks").toArray();
        QCOMPARE(looks.size(), 3);
        // Newest first: what the third save replaced, back to the stock look.
        QCOMPARE(looks.at(0).toObject().value("message").toString(), QStringLiteral("two"));
        QCOMPARE(looks.at(1).toObject().value("message").toString(), QStringLiteral("one"));
        QCOMPARE(looks.at(2).toObject().value("message").toString(), stockMessage);
        QCOMPARE(looks.at(1).toObject().value("hostInfo").toInt(), 0);
        QVERIFY(looks.at(0).toObject().value("saved").toString() >= looks.at(1).toObject().value("saved").toString());

        const QString id = looks.at(1).toObject().value("id").toString();
        const CompanionRun checked = run({"restore", "--look", id, "--check"});
        QCOMPARE(checked.exitCode, 0);
        QVERIFY2(checked.out.contains(QStringLiteral("message: would change")), qPrintable(checked.out));
        const CompanionRun restored = run({"restore", "--look", id});
        QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
        const QJsonObject shown = QJsonDocument::fromJson(run({"show", "--json"}).out.toUtf8()).object();
        QCOMPARE(shown.value("message").toString(), QStringLiteral("one"));
        QCOMPARE(run({"history"}).out.count(QLatin1Char('\n')), 4);
    }

    void unknownOrDamagedLookIsRefused()
    {
        QCOMPARE(run({"set", "--message", "one"}).exitCode, 0);
        const auto before = SaveTesting::snapshot(m_volume->root());
        const CompanionRun unknown = run({"restore", "--look", "20000101T000000Z"});
        QCOMPARE(unknown.exitCode, 1);
        QVERIFY2(unknown.err.contains(QStringLiteral("no saved look")), qPrintable(unknown.err));
        const CompanionRun notAnId = run({"restore", "--look", "../../etc/passwd"});
        QCOMPARE(notAnId.exitCode, 1);
        QCOMPARE(SaveTesting::snapshot(m_volume->root()), before);

        const QString folder = m_volume->hostPath(LookFiles::kFolder);
        const QStringList records = QDir(folder).entryList({QStringLiteral("look-*")});
        QCOMPARE(records.size(), 1);
        QVERIFY(writeBytes(folder + QLatin1Char('/') + records.first(), "not a property list"));
        const CompanionRun listed = run({"history"});
        QCOMPARE(listed.exitCode, 0);
        QVERIFY2(listed.err.contains(QStringLiteral("is damaged")), qPrintable(listed.err));
        QCOMPARE(listed.out, QStringLiteral("no saved looks\n"));
    }
};

QTEST_GUILESS_MAIN(TestLoginCtlHistory)
#include "tst_loginctl_history.moc"
