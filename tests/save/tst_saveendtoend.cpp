// Saving for real: the controller with the direct back end on a throwaway
// volume, checked on the volume itself and through the reload.

#include "tests/save/SaveFixture.h"

#include "platform/Image.h"
#include "tests/fakes/LogCapture.h"

#include <QImageReader>
#include <QStandardPaths>
#include <QTest>

using namespace SaveTesting;

class TestSaveEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void savesEverySettingOnTheVolume_data();
    void savesEverySettingOnTheVolume();
    void secondSaveKeepsTheFirstBackup();
    void transparentPaletteLogoKeepsItsTransparency();
    void restoreThenSavePutsTheStockLookBack_data();
    void restoreThenSavePutsTheStockLookBack();
    void restoreThenDroppedPictureInstallsThatPicture();
    void messageReadsBackExactly_data();
    void messageReadsBackExactly();
    void documentMessageIsSaved_data();
    void documentMessageIsSaved();
    void hostInformationReadsBack_data();
    void hostInformationReadsBack();

private:
    QTemporaryDir m_home;
};

void TestSaveEndToEnd::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    usePrivateHome(m_home);
    QVERIFY(QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-defaults")));
}

void TestSaveEndToEnd::init()
{
    // Staging files and the trash folder start empty for every test.
    QDir(Staging::applicationSupportPath()).removeRecursively();
}

static QImage decodeFile(const QString &path, QByteArray *format = nullptr)
{
    QImageReader reader(path);
    if (format)
        *format = reader.format();
    return reader.read();
}

static void release_data()
{
    QTest::addColumn<QString>("release");
    QTest::newRow("10.4.11") << QStringLiteral("10.4.11");
    QTest::newRow("10.3.9") << QStringLiteral("10.3.9");
}

void TestSaveEndToEnd::savesEverySettingOnTheVolume_data()
{
    release_data();
}

void TestSaveEndToEnd::savesEverySettingOnTheVolume()
{
    QFETCH(QString, release);
    SaveFixture f({.release = release});
    QVERIFY(f.volume.isValid());
    LogCapture log;

    const QString logoPath = f.host(LoginWindow::kLogoFirstPlace);
    const QString titlePath = f.host(LoginWindow::kTitleFirstPlace);
    const QString resources = QFileInfo(logoPath).absolutePath();
    const QByteArray stockLogo = readBytes(logoPath);
    const QByteArray stockTitle = readBytes(titlePath);
    const QByteArray tigerDefault = readBytes(f.host(LoginWindow::kTigerDefaultBackground));
    const QByteArray otherDefault = readBytes(f.host(LoginWindow::kDefaultBackground));

    // Other formats of the same images, and names that only look alike.
    for (const char *name : {"applelogo.png", "applelogo", "MacOSX.jpg", "AppleLogo.png", "applelogo.tif.bak"}) {
        QFile file(resources + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(name);
    }

    const QImage logo = pattern(96, 64, 1);
    const QImage title = pattern(240, 40, 2);
    const QImage background = gradient(640, 480, 3);
    const QString message = QStringLiteral("Property of \"Lumora\" \\ room 4");
    f.controller.setLogo(Image::fromPixels(logo));
    f.controller.setTitle(Image::fromPixels(title));
    f.controller.setBackground(Image::fromPixels(background));
    f.view.type(message);
    f.controller.setHostInfoTag(2);

    const SaveReport report = f.controller.save();
    QVERIFY2(report.succeeded(), qPrintable(log.lines().join(QLatin1Char('\n'))));
    QCOMPARE(report.attempted, QStringList({QStringLiteral("logo"), QStringLiteral("title"),
                                            QStringLiteral("background"), QStringLiteral("message"),
                                            QStringLiteral("host information")}));

    // The logo and title are TIFF files holding exactly the pixels set.
    QByteArray format;
    QCOMPARE(maxChannelDifference(decodeFile(logoPath, &format), logo), 0);
    QCOMPARE(format, QByteArray("tiff"));
    QCOMPARE(maxChannelDifference(decodeFile(titlePath, &format), title), 0);
    QCOMPARE(format, QByteArray("tiff"));

    // One backup of each stock file, byte for byte.
    QCOMPARE(readBytes(resources + QStringLiteral("/applelogo_Original.tif")), stockLogo);
    QCOMPARE(readBytes(resources + QStringLiteral("/MacOSX_Original.tif")), stockTitle);
    QVERIFY(f.defaults.boolForKey(f.staging().backupMadeKey(PreferenceKeys::kMadeLogoBackup)));
    QVERIFY(f.defaults.boolForKey(f.staging().backupMadeKey(PreferenceKeys::kMadeTitleBackup)));

    // Only other formats of the two names went to the trash folder.
    const QString trash = Staging::applicationSupportPath() + QStringLiteral("/trash");
    QStringList trashed = QDir(trash).entryList(QDir::Files);
    trashed.sort();
    QCOMPARE(trashed, QStringList({QStringLiteral("MacOSX.jpg"), QStringLiteral("applelogo"),
                                   QStringLiteral("applelogo.png")}));
    QCOMPARE(readBytes(trash + QStringLiteral("/applelogo.png")), QByteArray("applelogo.png"));
    for (const char *kept : {"AppleLogo.png", "applelogo.tif.bak", "applelogo_Original.tif", "MacOSX_Original.tif"})
        QVERIFY2(QFileInfo::exists(resources + QLatin1Char('/') + QLatin1String(kept)), kept);

    // The background: a fresh JPEG in the shared folder, mode 664, named by
    // the domain with its volume path.
    const QString installed = f.host(LoginWindow::kInstalledBackground);
    const QImage written = decodeFile(installed, &format);
    QCOMPARE(format, QByteArray("jpeg"));
    const double difference = meanChannelDifference(written, background);
    QVERIFY2(difference >= 0 && difference < 1.5, qPrintable(QString::number(difference)));
    QCOMPARE(modeOf(installed), 0664);
    QCOMPARE(f.domainString(LoginWindow::kDesktopPictureKey), LoginWindow::kInstalledBackground);
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), message);
    QCOMPARE(f.domainString(LoginWindow::kHostInfoKey), QStringLiteral("IPAddress"));

    // A new picture never touches the default pictures.
    QCOMPARE(readBytes(f.host(LoginWindow::kTigerDefaultBackground)), tigerDefault);
    QCOMPARE(readBytes(f.host(LoginWindow::kDefaultBackground)), otherDefault);

    // The reload shows what is on the volume now, with every flag down.
    QVERIFY(!f.anyFlagSet());
    QCOMPARE(maxChannelDifference(f.controller.logo().pixels(), logo), 0);
    QCOMPARE(maxChannelDifference(f.controller.title().pixels(), title), 0);
    QCOMPARE(f.controller.background().path(), installed);
    QCOMPARE(f.controller.message(), message);
    QCOMPARE(f.view.string(), message);
    QCOMPARE(f.controller.hostInfoTag(), 2);
    // The pause after the host information, and no other.
    QCOMPARE(f.clock.sleeps(), QList<qint64>({500000}));
    QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join(QLatin1Char('\n'))));
}

void TestSaveEndToEnd::secondSaveKeepsTheFirstBackup()
{
    SaveFixture f;
    const QString logoPath = f.host(LoginWindow::kLogoFirstPlace);
    const QString backup = LumoraLogin::backupPathForPath(logoPath);
    const QByteArray stockLogo = readBytes(logoPath);

    f.controller.setLogo(Image::fromPixels(pattern(32, 32, 4)));
    QVERIFY(f.controller.save().succeeded());
    QCOMPARE(readBytes(backup), stockLogo);

    // The backup is of the stock image, not of what the first save wrote.
    const QImage second = pattern(48, 48, 5);
    f.controller.setLogo(Image::fromPixels(second));
    QVERIFY(f.controller.save().succeeded());
    QCOMPARE(readBytes(backup), stockLogo);
    QCOMPARE(maxChannelDifference(decodeFile(logoPath), second), 0);
    // Nothing but the logo was asked for, so nothing else paused or changed.
    QVERIFY(f.clock.sleeps().isEmpty());
    QVERIFY(!QFileInfo::exists(f.host(LoginWindow::kInstalledBackground)));
}

void TestSaveEndToEnd::transparentPaletteLogoKeepsItsTransparency()
{
    // A GIF or palette PNG logo: a colour table with a transparent entry.
    QImage palette(16, 16, QImage::Format_Indexed8);
    palette.setColorTable({qRgba(0, 0, 0, 0), qRgba(200, 30, 30, 255)});
    palette.fill(0);
    for (int i = 4; i < 12; ++i)
        palette.setPixel(i, i, 1);
    const QString file = QDir::temp().filePath(QStringLiteral("lumora-palette-logo.png"));
    QVERIFY(palette.save(file, "PNG"));

    SaveFixture f;
    f.controller.setLogo(Image::referencingFile(file));
    QVERIFY(f.controller.save().succeeded());
    QFile::remove(file);

    const QImage written = decodeFile(f.host(LoginWindow::kLogoFirstPlace));
    QVERIFY(written.hasAlphaChannel());
    QCOMPARE(qAlpha(written.pixel(0, 0)), 0);
    QCOMPARE(written.pixel(5, 5), qRgba(200, 30, 30, 255));
}

void TestSaveEndToEnd::restoreThenSavePutsTheStockLookBack_data()
{
    release_data();
}

void TestSaveEndToEnd::restoreThenSavePutsTheStockLookBack()
{
    QFETCH(QString, release);
    const bool tiger = release.startsWith(QLatin1String("10.4"));
    SaveFixture f({.release = release});
    LogCapture log;

    // First a look of the user's own, with a background of its own.
    f.controller.setLogo(Image::fromPixels(pattern(40, 40, 6)));
    f.controller.setTitle(Image::fromPixels(pattern(80, 20, 7)));
    f.controller.setBackground(Image::fromPixels(gradient(320, 240, 8)));
    f.view.type(QStringLiteral("Custom"));
    f.controller.setHostInfoTag(0);
    QVERIFY(f.controller.save().succeeded());
    QVERIFY(f.domainString(LoginWindow::kDesktopPictureKey));

    // Someone has changed the 10.4 default picture meanwhile.
    const QString tigerDefault = f.host(LoginWindow::kTigerDefaultBackground);
    {
        QImage red(200, 100, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(tigerDefault, "JPEG"));
    }
    const QByteArray tigerBefore = readBytes(tigerDefault);
    const QByteArray otherBefore = readBytes(f.host(LoginWindow::kDefaultBackground));
    const QString installed = f.host(LoginWindow::kInstalledBackground);
    const QByteArray installedBefore = readBytes(installed);

    f.controller.defaults();
    QVERIFY(f.controller.shouldRevertBackground());
    const SaveReport report = f.controller.save();
    QVERIFY2(report.succeeded(), qPrintable(log.lines().join(QLatin1Char('\n'))));

    const QString stock = f.volume.resources();
    QCOMPARE(maxChannelDifference(decodeFile(f.host(LoginWindow::kLogoFirstPlace)),
                                  decodeFile(stock + QStringLiteral("/AppleLogo.tif"))),
             0);
    QCOMPARE(maxChannelDifference(decodeFile(f.host(LoginWindow::kTitleFirstPlace)),
                                  decodeFile(stock + QStringLiteral("/AppleTitle.tif"))),
             0);
    QCOMPARE(f.domainString(LoginWindow::kDesktopPictureKey), std::nullopt);
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), std::nullopt);
    QCOMPARE(f.domainString(LoginWindow::kHostInfoKey), QStringLiteral("HostName"));
    // The picture a save installed is named by nothing after a revert, so
    // it is gone; the shared folder stays.
    QVERIFY(!installedBefore.isEmpty());
    QVERIFY(!QFileInfo::exists(installed));
    QVERIFY(QFileInfo(QFileInfo(installed).path()).isDir());
    QCOMPARE(readBytes(f.host(LoginWindow::kDefaultBackground)), otherBefore);

    // The 10.4 default picture has no backup, so nothing of ours ever
    // replaced it: it is the volume's own, and the restore leaves it.
    QCOMPARE(readBytes(tigerDefault), tigerBefore);

    QVERIFY(!f.anyFlagSet());
    QCOMPARE(f.controller.background().path(),
             f.host(tiger ? LoginWindow::kTigerDefaultBackground : LoginWindow::kDefaultBackground));
    QCOMPARE(f.controller.message(), std::nullopt);
    QCOMPARE(f.view.string(), QString());
    QCOMPARE(f.controller.hostInfoTag(), 1);
}

void TestSaveEndToEnd::restoreThenDroppedPictureInstallsThatPicture()
{
    SaveFixture f;
    const QByteArray tigerBefore = readBytes(f.host(LoginWindow::kTigerDefaultBackground));
    f.controller.defaults();
    const QImage dropped = gradient(300, 200, 9);
    f.controller.setBackground(Image::fromPixels(dropped));
    QVERIFY(!f.controller.shouldRevertBackground());
    QVERIFY(f.controller.save().succeeded());

    QCOMPARE(f.domainString(LoginWindow::kDesktopPictureKey), LoginWindow::kInstalledBackground);
    const double difference = meanChannelDifference(decodeFile(f.host(LoginWindow::kInstalledBackground)), dropped);
    QVERIFY2(difference >= 0 && difference < 1.5, qPrintable(QString::number(difference)));
    QCOMPARE(readBytes(f.host(LoginWindow::kTigerDefaultBackground)), tigerBefore);
    // Everything else is the stock look.
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), std::nullopt);
    QCOMPARE(f.domainString(LoginWindow::kHostInfoKey), QStringLiteral("HostName"));
}

void TestSaveEndToEnd::messageReadsBackExactly_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("double quotes") << QStringLiteral("a\"b \"quoted\"");
    QTest::newRow("backslash") << QStringLiteral("a\\b");
    QTest::newRow("windows path") << QStringLiteral("C:\\new\\table");
    QTest::newRow("trailing backslash") << QStringLiteral("ends in \\");
    QTest::newRow("only a backslash") << QStringLiteral("\\");
    QTest::newRow("two backslashes") << QStringLiteral("\\\\server\\share");
    QTest::newRow("backslash before quote") << QStringLiteral("say \\\"hi\\\"");
    QTest::newRow("escape-like text") << QStringLiteral("\\n is not a newline, \\t no tab");
    QTest::newRow("lines and tabs") << QStringLiteral("first line\nsecond\tcolumn\n\nlast");
    QTest::newRow("non-ASCII") << QStringLiteral("Grüße, café, 日本語, \U0001F600");
    QTest::newRow("leading dash") << QStringLiteral("-delete");
    QTest::newRow("one space") << QStringLiteral(" ");
    QTest::newRow("surrounding spaces") << QStringLiteral("  padded  ");
    QTest::newRow("quoted whole") << QStringLiteral("\"already quoted\"");
    QTest::newRow("shell characters") << QStringLiteral("$(id); `id` | rm -rf * > x");
}

// What Save writes is the document's message, however it got there; the
// view only edits it.
void TestSaveEndToEnd::documentMessageIsSaved_data()
{
    QTest::addColumn<bool>("typed");
    QTest::newRow("typed into the view") << true;
    QTest::newRow("set on the document") << false;
}

void TestSaveEndToEnd::documentMessageIsSaved()
{
    QFETCH(bool, typed);
    SaveFixture f;
    const QString message = QStringLiteral("From the document");
    if (typed)
        f.view.type(message);
    else
        f.controller.setMessage(message);
    QCOMPARE(f.controller.message(), message);
    QVERIFY(f.controller.save().succeeded());
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), message);
}

void TestSaveEndToEnd::messageReadsBackExactly()
{
    QFETCH(QString, message);
    SaveFixture f;
    LogCapture log;
    f.view.type(message);
    QVERIFY2(f.controller.save().succeeded(), qPrintable(log.lines().join(QLatin1Char('\n'))));
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), message);
    QCOMPARE(f.controller.message(), message);
    QVERIFY(!f.anyFlagSet());
}

void TestSaveEndToEnd::hostInformationReadsBack_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("reloaded");
    QTest::newRow("time") << 0 << QStringLiteral("Time") << 0;
    QTest::newRow("serial number") << 4 << QStringLiteral("SerialNumber") << 4;
    QTest::newRow("system version") << 6 << QStringLiteral("SystemVersion") << 6;
    QTest::newRow("out of range") << 9 << QStringLiteral("HostName") << 1;
    QTest::newRow("negative") << -3 << QStringLiteral("HostName") << 1;
}

void TestSaveEndToEnd::hostInformationReadsBack()
{
    QFETCH(int, tag);
    QFETCH(QString, stored);
    QFETCH(int, reloaded);
    SaveFixture f({.hostInfo = QStringLiteral("DSStatus")});
    f.controller.setHostInfoTag(tag);
    QVERIFY(f.controller.save().succeeded());
    QCOMPARE(f.domainString(LoginWindow::kHostInfoKey), stored);
    QCOMPARE(f.controller.hostInfoTag(), reloaded);
    // The other keys are kept.
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), SampleVolume::Options().message);
}

QTEST_GUILESS_MAIN(TestSaveEndToEnd)
#include "tst_saveendtoend.moc"
