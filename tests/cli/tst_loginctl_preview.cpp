// lumora-loginctl preview, run as a process: it draws the look `set` would
// give, says what does not fit, and leaves the volume as it was, with the
// exit statuses of `set`.

#include "tests/fakes/CompanionRun.h"
#include "tests/fakes/TestVolume.h"
#include "tests/save/SaveFixture.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

using Run = CompanionRun;

} // namespace

class TestLoginCtlPreview : public QObject {
    Q_OBJECT

private:
    QString m_tool;
    std::unique_ptr<TestVolume> m_volume;

    QString inputs() const { return m_volume->scratch(); }
    QString home() const { return m_volume->scratch() + QStringLiteral("/home"); }

    Run run(QStringList arguments)
    {
        for (QString &argument : arguments)
            argument.replace(QLatin1Char('@'), inputs());
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
        SampleVolume::Options options;
        options.computerName = QStringLiteral("Studio Mac");
        m_volume = std::make_unique<TestVolume>(options);
        QVERIFY(m_volume->isValid());
        QVERIFY(QDir().mkpath(home()));
        QImage logo(900, 900, QImage::Format_ARGB32);
        logo.fill(Qt::transparent);
        QVERIFY(logo.save(inputs() + QStringLiteral("/logo.png")));
        QImage background(640, 400, QImage::Format_RGB32);
        background.fill(Qt::darkGreen);
        QVERIFY(background.save(inputs() + QStringLiteral("/background.jpg")));
        QFile notes(inputs() + QStringLiteral("/notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a picture\n") > 0);
    }

    void cleanup() { m_volume.reset(); }

    void drawsTheLookAndChangesNothing()
    {
        const auto before = SaveTesting::snapshot(m_volume->root());
        const Run result = run({"preview", "--output", "@/look.png", "--size", "1920x1200", "--logo", "@/logo.png",
                                "--background", "@/background.jpg", "--message", "One\nTwo\nThree", "--host-info",
                                "SystemBuild"});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.startsWith("preview: " + inputs() + "/look.png"), qPrintable(result.out));
        // The facts, on standard error as warnings.
        QVERIFY2(result.err.contains(QStringLiteral("warning: logo 900\u00d7900 is drawn at 280\u00d7280")),
                 qPrintable(result.err));
        QVERIFY2(result.err.contains(QStringLiteral("warning: background 640\u00d7400 is enlarged to 1920\u00d71200")),
                 qPrintable(result.err));
        const QImage picture(inputs() + QStringLiteral("/look.png"));
        QCOMPARE(picture.size(), QSize(1920, 1200));
        // The new background, not the volume's blue one, fills the corners.
        const QColor corner = picture.pixelColor(5, 5);
        QVERIFY2(corner.green() > corner.blue() + 40, qPrintable(corner.name()));

        QCOMPARE(SaveTesting::snapshot(m_volume->root()), before);
        QVERIFY(!QFileInfo::exists(home() + QStringLiteral("/data/Lumora Login")));
    }

    void withoutOptionsDrawsTheCurrentLook()
    {
        const Run result = run({"preview", "--output", "@/current.png"});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(!result.err.contains("warning:"), qPrintable(result.err));
        QCOMPARE(QImage(inputs() + QStringLiteral("/current.png")).size(), QSize(1024, 768));
    }

    void badInputChangesNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("missing logo") << QStringList{"preview", "--output", "@/o.png", "--logo", "@/none.png"} << 2
                                      << "does not exist";
        QTest::newRow("title that is not an image")
            << QStringList{"preview", "--output", "@/o.png", "--title", "@/notes.txt"} << 2
            << "cannot be read as an image";
        QTest::newRow("folder as background")
            << QStringList{"preview", "--output", "@/o.png", "--background", "@"} << 2 << "is not a file";
        QTest::newRow("bad host-info") << QStringList{"preview", "--output", "@/o.png", "--host-info", "9"} << 2
                                       << "neither a name nor a tag";
        QTest::newRow("no output") << QStringList{"preview", "--message", "x"} << 2 << "--output FILE is required";
        QTest::newRow("size not WxH") << QStringList{"preview", "--output", "@/o.png", "--size", "big"} << 2
                                      << "--size: 'big'";
        QTest::newRow("size too small") << QStringList{"preview", "--output", "@/o.png", "--size", "640x480"} << 2
                                        << "--size: '640x480'";
        QTest::newRow("option of another command") << QStringList{"preview", "--output", "@/o.png", "--json"} << 2
                                                   << "unknown argument '--json'";
        QTest::newRow("size is no option of set") << QStringList{"set", "--message", "x", "--size", "1024x768"} << 2
                                                  << "unknown argument '--size'";
        QTest::newRow("output folder missing") << QStringList{"preview", "--output", "@/no/such/o.png"} << 1
                                               << "cannot be written";
    }
    void badInputChangesNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, complaint);
        const auto before = SaveTesting::snapshot(m_volume->root());
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, status);
        QVERIFY2(result.err.contains(complaint), qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
        QVERIFY(!QFileInfo::exists(inputs() + QStringLiteral("/o.png")));
        QCOMPARE(SaveTesting::snapshot(m_volume->root()), before);
    }
};

QTEST_GUILESS_MAIN(TestLoginCtlPreview)
#include "tst_loginctl_preview.moc"
