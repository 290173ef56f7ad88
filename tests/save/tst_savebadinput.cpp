// Saves that cannot or must not go through: pictures that do not decode, a
// very large picture, a staging folder that cannot take the file, and a
// second copy of the application saving at the same time.

#include "tests/save/SaveFixture.h"

#include "platform/LookFiles.h"

#include "platform/Image.h"
#include "tests/fakes/InstallRuns.h"
#include "tests/fakes/LogCapture.h"

#include <QImageReader>
#include <QImageWriter>
#include <QLockFile>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace SaveTesting;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

class RecordedSave : public SaveFixture {
public:
    RecordedSave() : SaveFixture({}, std::make_unique<RecordingAuthorizationService>()) {}
};

// Sets the image of one setting by the name the report uses.
void setImage(LumoraLogin &controller, const QString &setting, const Image &image)
{
    if (setting == QLatin1String("logo"))
        controller.setLogo(image);
    else if (setting == QLatin1String("title"))
        controller.setTitle(image);
    else
        controller.setBackground(image);
}

// Peak resident memory of this process in KiB, from /proc.
qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Lets a process write no file beyond `bytes`, as a full disk would; the
// old limit comes back when it goes out of scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    [[nodiscard]] bool ok() const { return m_ok; }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace

class TestSaveBadInput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void undecodablePictureChangesNothing_data();
    void undecodablePictureChangesNothing();
    void veryLargeBackgroundSaves();
    void stagingFailureKeepsTheInstalledFile_data();
    void stagingFailureKeepsTheInstalledFile();
    void secondSaveAtOnceWritesNothing();

private:
    QTemporaryDir m_home;
};

void TestSaveBadInput::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    usePrivateHome(m_home);
}

void TestSaveBadInput::init()
{
    QDir staging(Staging::applicationSupportPath());
    QFile::setPermissions(staging.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    staging.removeRecursively();
}

void TestSaveBadInput::undecodablePictureChangesNothing_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("line");
    const QByteArray garbage = QByteArray("\xff\xd8\xff\xe0 not really a picture ").repeated(50);
    QTest::newRow("background, garbage") << QStringLiteral("background") << garbage
                                         << QStringLiteral("Failed to save background to temp file.");
    QTest::newRow("background, missing file") << QStringLiteral("background") << QByteArray()
                                              << QStringLiteral("Failed to save background to temp file.");
    QTest::newRow("logo, garbage") << QStringLiteral("logo") << QByteArray("II*\0garbage", 11).repeated(40)
                                   << QStringLiteral("Failed to save logo to temp file");
    QTest::newRow("title, missing file") << QStringLiteral("title") << QByteArray()
                                         << QStringLiteral("Failed to save title to temp file");
}

void TestSaveBadInput::undecodablePictureChangesNothing()
{
    QFETCH(QString, setting);
    QFETCH(QByteArray, content);
    QFETCH(QString, line);
    RecordedSave f;
    LogCapture log;
    const QString picture = f.volume.scratch() + QStringLiteral("/dropped.img");
    if (!content.isEmpty())
        QVERIFY(writeBytes(picture, content));
    const auto before = snapshot(f.volume.root());

    setImage(f.controller, setting, Image::referencingFile(picture));
    const SaveReport report = f.controller.save();

    QCOMPARE(report.failed, QStringList({setting}));
    QCOMPARE(log.lines(), QStringList({line}));
    auto after = snapshot(f.volume.root());
    if (setting != QLatin1String("background")) {
        // The one-time backup of the stock image comes first and is the only
        // change: a copy of the stock file, which stays as it was.
        const QString destination = setting == QLatin1String("logo") ? LoginWindow::kLogoFirstPlace
                                                                      : LoginWindow::kTitleFirstPlace;
        const QString backup = LumoraLogin::backupPathForPath(f.host(destination));
        QCOMPARE(readBytes(backup), readBytes(f.host(destination)));
        QCOMPARE(f.recorder->runs(), InstallRuns::backup(f.volume.root(), f.host(destination), backup));
        QVERIFY(after.remove(QDir(f.volume.root()).relativeFilePath(backup)) == 1);
    } else {
        QVERIFY(f.recorder->runs().isEmpty());
    }
    QCOMPARE(after, before);
}

void TestSaveBadInput::veryLargeBackgroundSaves()
{
    SaveFixture f;
    LogCapture log;
    const QSize size(8000, 6000);
    const QString picture = f.volume.scratch() + QStringLiteral("/large.jpg");
    {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < size.width(); ++x)
                line[x] = qRgb(x * 255 / size.width(), y * 255 / size.height(), (x + y) & 255);
        }
        QImageWriter writer(picture, "jpeg");
        writer.setQuality(90);
        QVERIFY(writer.write(image));
    }

    // Measure the peak from here on: reset the high-water mark to the
    // present resident size.
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    const bool peakReset = clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
    clearRefs.close();
    const qint64 baseline = peakReset ? statusKiB("VmRSS:") : statusKiB("VmHWM:");

    f.controller.setBackground(Image::referencingFile(picture));
    const SaveReport report = f.controller.save();
    const qint64 peak = statusKiB("VmHWM:");
    QVERIFY2(report.succeeded(), qPrintable(log.lines().join(QLatin1Char('\n'))));

    const QString installed = f.host(LoginWindow::kInstalledBackground);
    QCOMPARE(QImageReader(installed).size(), size);
    QCOMPARE(f.domainString(LoginWindow::kDesktopPictureKey), LoginWindow::kInstalledBackground);

    const double pixelMiB = double(size.width()) * size.height() * 4 / (1024 * 1024);
    const double growthMiB = double(peak - baseline) / 1024;
    qInfo("8000 x 6000 background: peak RSS grew by %.0f MiB during the save (one copy of the pixels is %.0f "
          "MiB, the JPEG %.1f MiB)%s",
          growthMiB, pixelMiB, double(QFileInfo(installed).size()) / (1024 * 1024),
          peakReset ? "" : " [peak not reset: upper bound]");
    if (!kSanitized && peakReset)
        QVERIFY2(growthMiB < 3 * pixelMiB, qPrintable(QString::number(growthMiB)));
}

void TestSaveBadInput::stagingFailureKeepsTheInstalledFile_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("line");
    const QString background = QStringLiteral("Failed to save background to temp file.");
    const QString logo = QStringLiteral("Failed to save logo to temp file");
    QTest::newRow("background, disk full") << QStringLiteral("background") << QStringLiteral("full") << background;
    QTest::newRow("background, name taken by a folder")
        << QStringLiteral("background") << QStringLiteral("taken") << background;
    QTest::newRow("background, read-only folder")
        << QStringLiteral("background") << QStringLiteral("read-only") << background;
    QTest::newRow("logo, disk full") << QStringLiteral("logo") << QStringLiteral("full") << logo;
    QTest::newRow("logo, name taken by a folder") << QStringLiteral("logo") << QStringLiteral("taken") << logo;
}

void TestSaveBadInput::stagingFailureKeepsTheInstalledFile()
{
    QFETCH(QString, setting);
    QFETCH(QString, failure);
    QFETCH(QString, line);
    if (failure == QLatin1String("read-only") && ::geteuid() == 0)
        QSKIP("a folder's mode does not stop root");

    SaveFixture f;
    const bool isLogo = setting == QLatin1String("logo");
    const QString stagingName = isLogo ? QStringLiteral("logo.tif") : QStringLiteral("background.jpg");
    // A first save installs a picture of the user's own.
    setImage(f.controller, setting, Image::fromPixels(isLogo ? pattern(200, 200, 1) : gradient(800, 600, 1)));
    QVERIFY(f.controller.save().succeeded());
    const auto before = snapshot(f.volume.root());

    LogCapture log;
    setImage(f.controller, setting, Image::fromPixels(isLogo ? pattern(200, 200, 2) : gradient(800, 600, 2)));
    const QString folder = Staging::applicationSupportPath();
    SaveReport report;
    if (failure == QLatin1String("full")) {
        // Room for the lock file, not for the picture.
        FileSizeLimit limit(16 * 1024);
        QVERIFY(limit.ok());
        report = f.controller.save();
    } else if (failure == QLatin1String("taken")) {
        QFile::remove(folder + QLatin1Char('/') + stagingName);
        QVERIFY(QDir().mkpath(folder + QLatin1Char('/') + stagingName + QStringLiteral("/inside")));
        report = f.controller.save();
    } else {
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        report = f.controller.save();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QCOMPARE(report.failed, QStringList({setting}));
    QVERIFY2(log.count(line) == 1, qPrintable(log.lines().join(QLatin1Char('\n'))));
    // The look the save was to replace may have been kept in the history
    // first; nothing else changed.
    const auto withoutHistory = [](QMap<QString, QByteArray> tree) {
        tree.removeIf([](const auto &entry) { return entry.key().startsWith(LookFiles::kFolder.mid(1)); });
        return tree;
    };
    QCOMPARE(withoutHistory(snapshot(f.volume.root())), withoutHistory(before));
    // No half-written file is left beside the staging file either.
    const QStringList left = QDir(folder).entryList({stagingName + QStringLiteral("*")}, QDir::Files);
    QVERIFY2(left.size() <= 1, qPrintable(left.join(QLatin1Char(' '))));
}

void TestSaveBadInput::secondSaveAtOnceWritesNothing()
{
    RecordedSave f;
    LogCapture log;
    QVERIFY(QDir().mkpath(Staging::applicationSupportPath()));
    QLockFile other(Staging::applicationSupportPath() + QStringLiteral("/save.lock"));
    QVERIFY(other.lock());
    const auto before = snapshot(f.volume.root());

    f.view.type(QStringLiteral("Written by the second copy"));
    f.controller.setBackground(Image::fromPixels(gradient(64, 48, 3)));
    const SaveReport report = f.controller.save();

    QVERIFY(report.anotherSaveRunning);
    QVERIFY(!report.succeeded());
    QCOMPARE(log.count(QStringLiteral("Another copy of Lumora Login is saving; nothing was saved (it holds %1)").arg(Staging::applicationSupportPath() + QStringLiteral("/save.lock"))), 1);
    QVERIFY(f.recorder->runs().isEmpty());
    QCOMPARE(snapshot(f.volume.root()), before);
    // The edits are kept for a later save.
    QVERIFY(f.controller.messageDirty());
    QVERIFY(f.controller.backgroundDirty());

    other.unlock();
    QVERIFY(f.controller.save().succeeded());
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), QStringLiteral("Written by the second copy"));
}

QTEST_GUILESS_MAIN(TestSaveBadInput)
#include "tst_savebadinput.moc"
