// Restore Default Look on a volume whose stock images are its own (not our
// drawings): it brings back exactly what the volume had.

#include "tests/save/SaveFixture.h"

#include "platform/Image.h"
#include "tests/fakes/LogCapture.h"

#include <QBuffer>
#include <QImageWriter>
#include <QStandardPaths>
#include <QTest>

using namespace SaveTesting;

namespace {

// Bytes that our own encoders never produce: LZW-compressed TIFF, and a
// JPEG at a middling quality.
QByteArray encoded(const QImage &image, const char *format, int quality = -1, int compression = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (compression >= 0)
        writer.setCompression(compression);
    return writer.write(image) ? bytes : QByteArray();
}

const QStringList kStockFiles{LoginWindow::kLogoFirstPlace, LoginWindow::kTitleFirstPlace,
                              LoginWindow::kTigerDefaultBackground};

} // namespace

class TestRestoreStock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        usePrivateHome(m_home);
    }
    void init() { QDir(Staging::applicationSupportPath()).removeRecursively(); }

    void restoreBringsBackTheVolumesOwnFiles_data();
    void restoreBringsBackTheVolumesOwnFiles();
    void drawingsOnlyWhereTheVolumeHasNoImage();
    void tigerPictureIsBackedUpOnceBeforeItIsRewritten();

private:
    QTemporaryDir m_home;
};

void TestRestoreStock::restoreBringsBackTheVolumesOwnFiles_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<bool>("changedFirst");
    for (const char *release : {"10.3.9", "10.4.11"}) {
        QTest::addRow("%s, after a look of the user's own", release) << QString::fromLatin1(release) << true;
        QTest::addRow("%s, never changed", release) << QString::fromLatin1(release) << false;
    }
}

void TestRestoreStock::restoreBringsBackTheVolumesOwnFiles()
{
    QFETCH(QString, release);
    QFETCH(bool, changedFirst);
    SaveFixture f({.release = release});
    QVERIFY(writeBytes(f.host(LoginWindow::kLogoFirstPlace), encoded(pattern(50, 50, 11), "tiff", -1, 1)));
    QVERIFY(writeBytes(f.host(LoginWindow::kTitleFirstPlace), encoded(pattern(120, 30, 12), "tiff", -1, 1)));
    QVERIFY(writeBytes(f.host(LoginWindow::kTigerDefaultBackground), encoded(gradient(200, 150, 13), "jpeg", 70)));
    QMap<QString, QByteArray> stock;
    for (const QString &file : kStockFiles)
        stock.insert(file, readBytes(f.host(file)));
    f.controller.loadCurrentSettings();
    LogCapture log;

    if (changedFirst) {
        f.controller.setLogo(Image::fromPixels(pattern(32, 32, 1)));
        f.controller.setTitle(Image::fromPixels(pattern(64, 16, 2)));
        f.controller.setBackground(Image::fromPixels(gradient(80, 60, 3)));
        QVERIFY(f.controller.save().succeeded());
        QVERIFY(readBytes(f.host(LoginWindow::kLogoFirstPlace)) != stock.value(LoginWindow::kLogoFirstPlace));
    }

    f.controller.defaults();
    // What the window shows now is what the save installs.
    const QImage shownLogo = f.controller.logo().pixels();
    const QImage shownTitle = f.controller.title().pixels();
    const QImage shownBackground = f.controller.background().pixels();
    const SaveReport report = f.controller.save();
    QVERIFY2(report.succeeded(), qPrintable(log.lines().join(QLatin1Char('\n'))));
    QCOMPARE(report.attempted.size(), int(kSettingCount));

    for (const QString &file : kStockFiles)
        QVERIFY2(readBytes(f.host(file)) == stock.value(file), qPrintable(file));
    QCOMPARE(f.controller.logo().pixels(), shownLogo);
    QCOMPARE(f.controller.title().pixels(), shownTitle);
    QCOMPARE(f.controller.background().pixels(), shownBackground);
    // Nothing needed a backup of the 10.4 picture: it was never rewritten.
    QVERIFY(!QFileInfo::exists(f.host(LumoraLogin::backupPathForPath(LoginWindow::kTigerDefaultBackground))));
}

void TestRestoreStock::drawingsOnlyWhereTheVolumeHasNoImage()
{
    // No logo in either place and no 10.4 picture: the drawings stand in.
    SaveFixture f;
    for (const QString &file : {LoginWindow::kLogoFirstPlace, LoginWindow::kLogoSecondPlace,
                                LoginWindow::kTigerDefaultBackground})
        QVERIFY(QFile::remove(f.host(file)));
    const QByteArray title = readBytes(f.host(LoginWindow::kTitleFirstPlace));
    f.controller.defaults();
    QCOMPARE(f.controller.logo().path(), f.volume.resources() + QStringLiteral("/AppleLogo.tif"));
    QVERIFY(f.controller.save().succeeded());

    const QString resources = f.volume.resources();
    QCOMPARE(maxChannelDifference(QImage(f.host(LoginWindow::kLogoFirstPlace)),
                                  QImage(resources + QStringLiteral("/AppleLogo.tif"))),
             0);
    QCOMPARE(QImage(f.host(LoginWindow::kTigerDefaultBackground)).size(),
             QImage(resources + QStringLiteral("/AppleBackground.jpg")).size());
    // The title was there, so it was left alone.
    QCOMPARE(readBytes(f.host(LoginWindow::kTitleFirstPlace)), title);
}

void TestRestoreStock::tigerPictureIsBackedUpOnceBeforeItIsRewritten()
{
    // A revert with a picture other than the volume's own rewrites the 10.4
    // default picture: its first content is kept, and never replaced later.
    SaveFixture f;
    const QString picture = f.host(LoginWindow::kTigerDefaultBackground);
    const QString backup = f.host(LumoraLogin::backupPathForPath(LoginWindow::kTigerDefaultBackground));
    QVERIFY(writeBytes(picture, encoded(gradient(200, 150, 14), "jpeg", 70)));
    const QByteArray own = readBytes(picture);
    for (int seed : {15, 16}) {
        f.controller.setBackground(Image::fromPixels(gradient(90, 60, seed)));
        f.controller.setShouldRevertBackground(true);
        QVERIFY(f.controller.save().succeeded());
        QCOMPARE(QImage(picture).size(), QSize(90, 60));
        QCOMPARE(readBytes(backup), own);
    }
    // Restore takes the volume's own picture from that backup, byte for byte.
    f.controller.defaults();
    QCOMPARE(f.controller.background().path(), backup);
    QVERIFY(f.controller.save().succeeded());
    QCOMPARE(readBytes(picture), own);
}

QTEST_GUILESS_MAIN(TestRestoreStock)
#include "tst_restorestock.moc"
