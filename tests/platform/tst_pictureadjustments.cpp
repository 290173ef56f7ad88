#include "platform/PictureAdjustments.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// A photo stand-in: smooth gradients under fine noise, so that both the
// mean brightness and the detail are far from the extremes.
QImage busyPicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(noise.bounded(80));
            image.setPixel(x, y, qRgb(60 + (x * 100) / size.width() + n, 70 + n, 90 + (y * 80) / size.height() + n));
        }
    }
    return image;
}

double meanBrightness(const QImage &image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
    return sum / (double(image.width()) * image.height());
}

// The energy of the differences between neighbours: what a blur removes.
double highFrequencyEnergy(const QImage &image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 1; x < image.width(); ++x) {
            const int d = qGray(image.pixel(x, y)) - qGray(image.pixel(x - 1, y));
            sum += d * d;
        }
    }
    return sum / (double(image.width() - 1) * image.height());
}

} // namespace

class TestPictureAdjustments : public QObject {
    Q_OBJECT
private slots:
    void fittedSize_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("expected");
        // 48 MP at 4:3 onto 16:10: the width decides, the height still covers.
        QTest::newRow("photo onto wide screen") << QSize(8000, 6000) << QSize(1920, 1200) << QSize(1920, 1440);
        QTest::newRow("panorama onto wide screen") << QSize(9000, 3000) << QSize(1920, 1200) << QSize(3600, 1200);
        QTest::newRow("same aspect") << QSize(3840, 2400) << QSize(1920, 1200) << QSize(1920, 1200);
        QTest::newRow("rounding never falls below the screen") << QSize(3001, 2000) << QSize(1500, 1000)
                                                                << QSize(1501, 1000);
        QTest::newRow("smaller is never enlarged") << QSize(1024, 768) << QSize(1920, 1200) << QSize(1024, 768);
        QTest::newRow("one side already short") << QSize(4000, 1000) << QSize(1920, 1200) << QSize(4000, 1000);
    }
    void fittedSize()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, screen);
        QFETCH(QSize, expected);
        QCOMPARE(PictureAdjustments::fittedSize(picture, screen), expected);
        PictureAdjustments fit;
        fit.fit = screen;
        QCOMPARE(PictureAdjustments::apply(QImage(picture, QImage::Format_RGB32), fit).size(), expected);
    }

    void darkeningLowersMeanBrightnessByThePercentage_data()
    {
        QTest::addColumn<int>("percent");
        QTest::newRow("10") << 10;
        QTest::newRow("30") << 30;
        QTest::newRow("80, the most") << 80;
    }
    void darkeningLowersMeanBrightnessByThePercentage()
    {
        QFETCH(int, percent);
        const QImage picture = busyPicture({200, 150});
        PictureAdjustments darken;
        darken.darkenPercent = percent;
        const QImage dark = PictureAdjustments::apply(picture, darken);
        QCOMPARE(dark.size(), picture.size());
        const double ratio = meanBrightness(dark) / meanBrightness(picture);
        QVERIFY2(std::abs(ratio - (100 - percent) / 100.0) < 0.01, qPrintable(QString::number(ratio)));
    }

    void darkeningIsClampedToItsRange()
    {
        const QImage picture = busyPicture({64, 48});
        PictureAdjustments tooMuch;
        tooMuch.darkenPercent = 100; // would be a black picture
        PictureAdjustments most;
        most.darkenPercent = PictureAdjustments::kMaxDarken;
        QCOMPARE(PictureAdjustments::apply(picture, tooMuch), PictureAdjustments::apply(picture, most));
    }

    void blurLowersHighFrequencyEnergyKeepingTheMean()
    {
        const QImage picture = busyPicture({240, 160});
        double previous = highFrequencyEnergy(picture);
        for (int radius : {1, 4, 12}) {
            PictureAdjustments blur;
            blur.blurRadius = radius;
            const QImage blurred = PictureAdjustments::apply(picture, blur);
            QCOMPARE(blurred.size(), picture.size());
            const double energy = highFrequencyEnergy(blurred);
            QVERIFY2(energy < previous * 0.6, qPrintable(QStringLiteral("radius %1: %2 after %3").arg(radius).arg(energy).arg(previous)));
            QVERIFY(std::abs(meanBrightness(blurred) - meanBrightness(picture)) < 1.0);
            previous = energy;
        }
    }

    void blurOfAFlatPictureChangesNothingUpToTheEdges()
    {
        // The edges repeat the border pixels: no dark frame creeps in.
        QImage flat(50, 30, QImage::Format_RGB32);
        flat.fill(qRgb(200, 100, 50));
        PictureAdjustments blur;
        blur.blurRadius = 20;
        QCOMPARE(PictureAdjustments::apply(flat, blur), flat);
    }

    void nothingAskedGivesThePictureItself()
    {
        const QImage picture = busyPicture({32, 32});
        QVERIFY(PictureAdjustments::apply(picture, {}).constBits() == picture.constBits());
    }

    void worthFitting()
    {
        QVERIFY(PictureAdjustments::worthFitting({8000, 6000}, {1920, 1200}));
        QVERIFY(!PictureAdjustments::worthFitting({2560, 1600}, {1920, 1200}));
        QVERIFY(!PictureAdjustments::worthFitting({8000, 1000}, {1920, 1200}));
    }
};

QTEST_GUILESS_MAIN(TestPictureAdjustments)
#include "tst_pictureadjustments.moc"
