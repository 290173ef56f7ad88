// What "holds" rests on: the encoders give the same bytes for the same
// pixels every time, a saved setting compares as held, the stock look
// compares against whatever defaults() filled in, and a link never makes a
// comparison read outside the volume.

#include "controller/LookComparison.h"
#include "controller/SettingModel.h"
#include "save/SaveComparison.h"
#include "save/StagingFile.h"
#include "tests/save/SaveFixture.h"

#include <QMap>
#include <QTest>

class TestSaveComparison : public QObject {
    Q_OBJECT

private slots:
    void encodersAreDeterministic_data()
    {
        QTest::addColumn<QImage>("image");
        QImage withAlpha = SaveTesting::pattern(120, 80, 1);
        withAlpha.setPixel(0, 0, qRgba(10, 20, 30, 0));
        withAlpha.setPixel(1, 0, qRgba(10, 20, 30, 77));
        QTest::newRow("alpha") << withAlpha;
        QTest::newRow("palette") << SaveTesting::pattern(64, 64, 2).convertToFormat(QImage::Format_Indexed8);
        QTest::newRow("photo") << SaveTesting::gradient(640, 480, 3);
    }
    void encodersAreDeterministic()
    {
        QFETCH(QImage, image);
        // Decoded afresh each time from a file, as two runs of the companion would.
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("input.png"));
        QVERIFY(image.save(file));
        const Image first = Image::referencingFile(file);
        const Image second = Image::referencingFile(file);
        QVERIFY(!first.isSameAs(second));
        const QByteArray tiff = StagingFile::tiffData(first);
        const QByteArray jpeg = StagingFile::jpegData(first);
        QVERIFY(!tiff.isEmpty() && !jpeg.isEmpty());
        QCOMPARE(StagingFile::tiffData(second), tiff);
        QCOMPARE(StagingFile::jpegData(second), jpeg);
        QCOMPARE(StagingFile::tiffData(Image::fromPixels(image)), tiff);
    }

    void savedSettingsHoldAndStockLookFollowsDefaults()
    {
        SaveFixture f;
        LumoraLogin &c = f.controller;
        c.setLogo(Image::fromPixels(SaveTesting::pattern(50, 40, 4)));
        c.setBackground(Image::fromPixels(SaveTesting::gradient(200, 150, 5)));
        c.setMessage(QStringLiteral("Line \"one\"\nline two \\"));
        c.setHostInfoTag(5);
        QList<MarkedSetting> marked = compareMarkedSettings(c);
        QCOMPARE(marked.size(), 4);
        for (const MarkedSetting &setting : marked)
            QVERIFY2(!setting.comparison.holds, qPrintable(setting.name));
        // Marked again with the same values after the save: all hold.
        const Image logo = c.logo();
        const Image background = c.background();
        QVERIFY(c.save().succeeded());
        c.setLogo(logo);
        c.setBackground(background);
        c.setMessage(QStringLiteral("Line \"one\"\nline two \\"));
        c.setHostInfoTag(5);
        marked = compareMarkedSettings(c);
        QCOMPARE(marked.size(), 4);
        for (const MarkedSetting &setting : marked)
            QVERIFY2(setting.comparison.holds, qPrintable(setting.name));
        QCOMPARE(unmarkSettingsThatHold(c, marked), 0);
        QVERIFY(!c.logoDirty() && !c.backgroundDirty() && !c.messageDirty() && !c.hostInfoTagDirty());

        // The stock look is whatever defaults() puts in the document.
        c.defaults();
        marked = compareMarkedSettings(c);
        QCOMPARE(marked.size(), int(kSettingCount));
        // The title is still the stock one, and the volume sets no login option.
        QCOMPARE(unmarkSettingsThatHold(c, marked), 4);
        QVERIFY(c.save().succeeded());
        c.defaults();
        for (const MarkedSetting &setting : compareMarkedSettings(c))
            QVERIFY2(setting.comparison.holds, qPrintable(setting.name));
    }

    // The companion's set: compared, compared again under the lock, saved
    // and read back. The picture goes through the decoder and the encoder
    // once, and the comparison's bytes are the ones written.
    void aSaveDecodesAndEncodesThePictureOnce()
    {
        SaveFixture f;
        LumoraLogin &c = f.controller;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("picture.jpg"));
        QVERIFY(SaveTesting::gradient(320, 200, 8).save(file, "JPEG", 90));
        const QByteArray expected = StagingFile::jpegData(Image::referencingFile(file));
        QVERIFY(!expected.isEmpty());

        QStringList decoded;
        Image::setDecodeObserver([&decoded](const QString &path) { decoded << path; });
        const long encodes = Image::encodeCount();
        const Image picture = Image::referencingFile(file);
        c.setBackground(picture);
        QVERIFY(!compareMarkedSettings(c).first().comparison.holds);
        const SaveReport report = c.save([&c] { return !compareMarkedSettings(c).first().comparison.holds; });
        QVERIFY(report.succeeded());
        QVERIFY(settingModel(Setting::Background)
                    .readsBack(settingView(c.document(), c.context().volume, Setting::Background), picture, false));
        Image::setDecodeObserver({});
        QCOMPARE(Image::encodeCount() - encodes, 1);
        // The picture once; the installed one not at all.
        QCOMPARE(decoded.count(file), 1);
        QCOMPARE(decoded.count(f.host(LoginWindow::kInstalledBackground)), 0);
        QCOMPARE(readBytes(f.host(LoginWindow::kInstalledBackground)), expected);
        // Let go of once written, and still known by its size.
        QVERIFY(!picture.isDecoded());
        QCOMPARE(picture.size(), QSize(320, 200));

        // The same picture again holds, from the bytes it kept: no decode,
        // no encode.
        c.setBackground(picture);
        decoded.clear();
        Image::setDecodeObserver([&decoded](const QString &path) { decoded << path; });
        const long before = Image::encodeCount();
        QVERIFY(compareMarkedSettings(c).first().comparison.holds);
        Image::setDecodeObserver({});
        QCOMPARE(Image::encodeCount(), before);
        QVERIFY(!decoded.contains(file));
    }

    // Leaving out the pictures' digests changes no answer, only what is
    // reported, and only while asked.
    void digestsAreLeftOutOnlyWhileAsked()
    {
        SaveFixture f;
        LumoraLogin &c = f.controller;
        c.setLogo(Image::fromPixels(SaveTesting::pattern(50, 40, 4)));
        c.setBackground(Image::fromPixels(SaveTesting::gradient(200, 150, 5)));
        const auto compare = [&c] {
            QMap<QString, SettingComparison> byName;
            for (const MarkedSetting &setting : compareMarkedSettings(c))
                byName.insert(setting.name, setting.comparison);
            return byName;
        };
        for (const bool saved : {false, true}) {
            const QMap<QString, SettingComparison> full = compare();
            QMap<QString, SettingComparison> bare;
            {
                const SaveComparison::WithoutDigests without;
                bare = compare();
            }
            QCOMPARE(bare.size(), 2);
            QCOMPARE(full.keys(), bare.keys());
            for (const QString &name : full.keys()) {
                QCOMPARE(bare.value(name).holds, saved);
                QCOMPARE(full.value(name).holds, saved);
                QVERIFY(full.value(name).after.has_value());
                // Once saved, the file in place is the one that would be written.
                if (saved)
                    QCOMPARE(full.value(name).before, full.value(name).after);
                QVERIFY(!bare.value(name).before && !bare.value(name).after);
            }
            // Back once the scope ends.
            const QMap<QString, SettingComparison> again = compare();
            for (const QString &name : full.keys()) {
                QCOMPARE(again.value(name).before, full.value(name).before);
                QCOMPARE(again.value(name).after, full.value(name).after);
            }
            QCOMPARE(SaveComparison::background(c.context().volume, c.background()).after,
                     SaveComparison::sha256(StagingFile::jpegData(c.background())));
            if (!saved) {
                const Image logo = c.logo();
                const Image background = c.background();
                QVERIFY(c.save().succeeded());
                c.setLogo(logo);
                c.setBackground(background);
            }
        }
    }

    void linksAreReadWithinTheVolume()
    {
        SaveFixture f;
        const Image logo = Image::fromPixels(SaveTesting::pattern(30, 30, 6));
        // The same bytes outside the volume, and the first place a link to
        // that host path: on the volume the link names a missing file.
        QTemporaryDir outside;
        const QString stray = outside.filePath(QStringLiteral("applelogo.tif"));
        QVERIFY(writeBytes(stray, StagingFile::tiffData(logo)));
        const QString place = f.host(LoginWindow::kLogoFirstPlace);
        QVERIFY(QFile::remove(place));
        QVERIFY(QFile::link(stray, place));
        const SettingComparison comparison = SaveComparison::logo(f.volume.volume(), logo);
        QVERIFY(!comparison.holds);
        QVERIFY(!comparison.before);
    }
};

QTEST_GUILESS_MAIN(TestSaveComparison)
#include "tst_savecomparison.moc"
