// The companion in German: LANGUAGE=de translates the update panels it
// prints, and leaves the machine-readable output of `show` in English.

#include "tests/fakes/TestVolume.h"
#include "tests/fakes/VersionListServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

class TestLoginCtlGerman : public QObject {
    Q_OBJECT

    QString m_tool;
    std::unique_ptr<TestVolume> m_volume;

    QString run(const QStringList &arguments, const QString &language, int *exitCode = nullptr,
                QString *errors = nullptr)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMORA_AUTH"), QStringLiteral("direct"));
        env.insert(QStringLiteral("LUMORA_SYSTEM_ROOT"), m_volume->root());
        env.insert(QStringLiteral("LUMORA_RESOURCES"), m_volume->resources());
        env.insert(QStringLiteral("HOME"), m_volume->scratch());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_volume->scratch() + QStringLiteral("/config"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_MESSAGES"));
        env.insert(QStringLiteral("LANGUAGE"), language);
        process.setProcessEnvironment(env);
        process.start(m_tool, arguments);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
        }
        if (exitCode)
            *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        if (errors)
            *errors = QString::fromUtf8(process.readAllStandardError());
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    bool pointUpdatesAt(const QString &address)
    {
        QFile file(m_volume->resources() + QStringLiteral("/Info.plist"));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        QString plist = QString::fromUtf8(file.readAll());
        file.close();
        plist.replace(QRegularExpression(QStringLiteral("http://[^<]*versions.txt")), address);
        return plist.count(address) == 2 && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
               && file.write(plist.toUtf8()) > 0;
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
        // The catalogues as built, beside the volume's other resources.
        const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/resources/translations");
        const QString here = m_volume->resources() + QStringLiteral("/translations");
        QVERIFY(QDir().mkpath(here));
        for (const QString &name : {QStringLiteral("lumora_de.qm"), QStringLiteral("lumora_en.qm")})
            QVERIFY2(QFile::copy(built + QLatin1Char('/') + name, here + QLatin1Char('/') + name), qPrintable(name));
    }

    void cleanup() { m_volume.reset(); }

    void newerReleaseInGerman()
    {
        VersionListServer server;
        QVERIFY(server.isListening());
        server.setList(QStringLiteral("/versions.txt"),
                       QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                      "<key>%1</key><dict><key>osVersion=10.4</key><dict>"
                                      "<key>latestVersion</key><string>2.0</string>"
                                      "<key>newFeatures</key><string>Schneller sichern\n</string>"
                                      "<key>downloadURL</key><string>http://example.org/get/2.0</string>"
                                      "</dict></dict></dict></plist>\n")
                           .arg(m_volume->bundle().bundleIdentifier())
                           .toUtf8());
        QVERIFY(pointUpdatesAt(server.url(QStringLiteral("/versions.txt"))));

        int status = -1;
        const QString out = run({QStringLiteral("check-updates")}, QStringLiteral("de"), &status);
        QCOMPARE(status, 0);
        QCOMPARE(out, QStringLiteral("Eine neue Version ist verfügbar\nLumora Login Version 2.0 ist verfügbar.  "
                                     "Installiert ist Version 1.0.0.  Einige Neuerungen von Version 2.0:\n\n"
                                     "Schneller sichern\n\nMöchten Sie die neue Version jetzt laden?\n"
                                     "Download: http://example.org/get/2.0\n"));
    }

    void failedCheckInGermanUnlessAskedOtherwise_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title");
        // The first language with a catalogue wins; none gives English.
        QTest::newRow("de") << "de" << "Suche nach Updates nicht möglich";
        QTest::newRow("de_AT with encoding") << "de_AT.UTF-8" << "Suche nach Updates nicht möglich";
        QTest::newRow("fr, then de") << "fr:de" << "Suche nach Updates nicht möglich";
        QTest::newRow("fr only") << "fr" << "Unable to check for updates";
        QTest::newRow("unset") << "" << "Unable to check for updates";
    }
    void failedCheckInGermanUnlessAskedOtherwise()
    {
        QFETCH(QString, language);
        QFETCH(QString, title);
        QVERIFY(pointUpdatesAt(QStringLiteral("http://127.0.0.1:%1/versions.txt").arg(VersionListServer::unusedPort())));
        int status = -1;
        const QString out = run({QStringLiteral("check-updates")}, language, &status);
        QCOMPARE(status, 1);
        QCOMPARE(out.section(QLatin1Char('\n'), 0, 0), title);
    }

    // What a person reads from the companion, in German: help, the
    // complaints about a command line, an input file or a folder that is not
    // a volume. English words that German never uses give any slip away.
    void humanTextIsGerman_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("onAVolume");
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << true;
        QTest::newRow("no command") << QStringList{} << true;
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << true;
        QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")} << true;
        QTest::newRow("nothing to set") << QStringList{QStringLiteral("set")} << true;
        QTest::newRow("option twice") << QStringList{QStringLiteral("set"), QStringLiteral("--message"), QStringLiteral("a"),
                                                     QStringLiteral("--message"), QStringLiteral("b")}
                                      << true;
        QTest::newRow("bad host information")
            << QStringList{QStringLiteral("set"), QStringLiteral("--host-info"), QStringLiteral("9")} << true;
        QTest::newRow("missing picture")
            << QStringList{QStringLiteral("set"), QStringLiteral("--logo"), QStringLiteral("/nonexistent.png")} << true;
        QTest::newRow("bad preview size")
            << QStringList{QStringLiteral("preview"), QStringLiteral("--output"), QStringLiteral("x.png"),
                           QStringLiteral("--size"), QStringLiteral("1x1")}
            << true;
        QTest::newRow("not a volume") << QStringList{QStringLiteral("show")} << false;
    }

    void humanTextIsGerman()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, onAVolume);
        if (!onAVolume)
            arguments << QStringLiteral("--root") << m_volume->scratch();
        int status = -1;
        QString err;
        const QString out = run(arguments, QStringLiteral("de"), &status, &err);
        const QString said = out + err;
        QVERIFY2(!said.trimmed().isEmpty(), "nothing was said");
        static const QRegularExpression english(
            QStringLiteral("\\b(the|is|are|not|and|of|to|nothing|given|cannot|does|Usage|unknown|command|"
                           "exist|file|volume found|read|written|warning)\\b"),
            QRegularExpression::CaseInsensitiveOption);
        // Option names, file names and the names of the commands are the same in every language.
        QString prose = said;
        prose.remove(QRegularExpression(QStringLiteral("--[a-z-]+|/[^ \\n]*|\\b[a-z]+\\.(png|plist)\\b|"
                                                       "`[^`]*`|„lumora-loginctl [a-z]+“|lumora-loginctl|LUMORA_SYSTEM_ROOT")));
        const auto match = english.match(prose);
        QVERIFY2(!match.hasMatch(), qPrintable(QStringLiteral("English \"%1\" in:\n%2").arg(match.captured(0), said)));
    }

    void showStaysEnglish()
    {
        for (const QStringList &arguments : {QStringList{QStringLiteral("show")},
                                             QStringList{QStringLiteral("show"), QStringLiteral("--json")}}) {
            const QString english = run(arguments, QString());
            QVERIFY(!english.isEmpty());
            QCOMPARE(run(arguments, QStringLiteral("de")), english);
        }
    }
};

QTEST_GUILESS_MAIN(TestLoginCtlGerman)
#include "tst_loginctl_german.moc"
