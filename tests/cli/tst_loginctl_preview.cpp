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
        // A JPEG cut in half: what a save refuses is not previewed either.
        QFile whole(inputs() + QStringLiteral("/background.jpg")), cut(inputs() + QStringLiteral("/cut.jpg"));
        QVERIFY(whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
        const QByteArray bytes = whole.readAll();
        QVERIFY(cut.write(bytes.left(bytes.size() / 2)) > 0);
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

    void adjustedBackgroundIsPreviewedAndSavedAlike()
    {
        // A photo far larger than the screen, with detail everywhere.
        QImage photo(3200, 2400, QImage::Format_RGB32);
        for (int y = 0; y < photo.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
            for (int x = 0; x < photo.width(); ++x)
                line[x] = qRgb(80 + (x / 7 % 2) * 60 + x / 40, 120 + (y / 5 % 2) * 40, 160 + ((x ^ y) & 31));
        }
        QVERIFY(photo.save(inputs() + QStringLiteral("/photo.jpg"), "jpeg", 95));
        const QStringList adjust{"--background", "@/photo.jpg", "--fit", "1024x768", "--darken", "30", "--blur", "3"};
        const Run drawn = run(QStringList{"preview", "--output", "@/p.png", "--size", "1024x768"} + adjust);
        QCOMPARE(drawn.exitCode, 0);
        // Fitted, it is no longer enlarged or shrunk on the screen.
        QVERIFY2(!drawn.err.contains(QStringLiteral("background")), qPrintable(drawn.err));
        const Run saved = run(QStringList{"set"} + adjust);
        QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));

        const QImage installed(m_volume->hostPath(LoginWindow::kInstalledBackground));
        QCOMPARE(installed.size(), QSize(1024, 768));
        // Where nothing is drawn over the background, the preview shows what
        // was saved (the save's JPEG aside).
        const QRect corner(0, 0, 200, 120);
        const QImage preview = QImage(inputs() + QStringLiteral("/p.png")).copy(corner);
        QVERIFY2(SaveTesting::meanChannelDifference(preview, installed.copy(corner)) < 1.5,
                 qPrintable(QString::number(SaveTesting::meanChannelDifference(preview, installed.copy(corner)))));
        // Darkened by 30 %: the mean channel is about 0.7 of the photo's.
        const QImage scaled = photo.scaled(installed.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        auto mean = [](const QImage &image) {
            double sum = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    sum += qGray(image.pixel(x, y));
            return sum / (double(image.width()) * image.height());
        };
        const double ratio = mean(installed) / mean(scaled);
        QVERIFY2(ratio > 0.68 && ratio < 0.72, qPrintable(QString::number(ratio)));
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
        QTest::newRow("background cut short")
            << QStringList{"preview", "--output", "@/o.png", "--background", "@/cut.jpg"} << 2
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
        QTest::newRow("darkened beyond 80 %")
            << QStringList{"preview", "--output", "@/o.png", "--background", "@/background.jpg", "--darken", "90"} << 2
            << "--darken: '90' is not a whole number from 0 to 80";
        QTest::newRow("blur that is no number")
            << QStringList{"set", "--background", "@/background.jpg", "--blur", "soft"} << 2 << "--blur: 'soft'";
        QTest::newRow("fit without a background") << QStringList{"set", "--message", "x", "--fit", "1920x1200"} << 2
                                                  << "go with --background FILE";
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
