// The preparer's threads: newer pictures supersede older ones, results
// arrive on the owner's thread, and destruction waits for running jobs.

#include "preview/PreviewPreparer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QImage solid(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QColor centreOf(const QImage &image)
{
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool waitIdle(PreviewPreparer &preparer)
{
    return QTest::qWaitFor([&preparer] { return !preparer.isBusy(); }, 20000);
}

} // namespace

class TestPreviewPreparer : public QObject {
    Q_OBJECT
private slots:
    void onlyTheNewestPictureArrives()
    {
        PreviewPreparer preparer;
        QList<QColor> delivered;
        connect(&preparer, &PreviewPreparer::picturesChanged, this,
                [&] { delivered << centreOf(preparer.picture(Picture::Background)); });
        // Large enough that each one takes a while to encode.
        for (QColor colour : {Qt::red, Qt::green, Qt::blue})
            preparer.setPicture(Picture::Background, {Image::fromPixels(solid({3000, 2000}, colour)), true});
        QVERIFY(waitIdle(preparer));
        QCOMPARE(delivered.size(), 1);
        QVERIFY2(delivered.first().blue() > 240 && delivered.first().red() < 16, qPrintable(delivered.first().name()));
        QCOMPARE(preparer.filledBackground().size(), QSize(1024, 768));
        QVERIFY(preparer.jobsStarted() <= 3);
    }

    void newScreenSizeRescalesTheSameBackground()
    {
        PreviewPreparer preparer;
        preparer.setPicture(Picture::Background, {Image::fromPixels(solid({800, 600}, Qt::darkCyan)), true});
        QVERIFY(waitIdle(preparer));
        const qint64 prepared = preparer.picture(Picture::Background).cacheKey();
        preparer.setScreenSize({1920, 1200});
        QVERIFY(preparer.isBusy());
        QVERIFY(waitIdle(preparer));
        QCOMPARE(preparer.filledBackground().size(), QSize(1920, 1200));
        // Not encoded again: the same prepared pixels.
        QCOMPARE(preparer.picture(Picture::Background).cacheKey(), prepared);
    }

    void filesShownAsTheyAreAreDecodedByTheJob()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("logo.png"));
        QImage logo(40, 30, QImage::Format_ARGB32);
        logo.fill(QColor(10, 200, 30, 128));
        QVERIFY(logo.save(path));
        PreviewPreparer preparer;
        QSignalSpy changed(&preparer, &PreviewPreparer::picturesChanged);
        const PictureSource source{Image::referencingFile(path), false};
        preparer.setPicture(Picture::Logo, source);
        QVERIFY(waitIdle(preparer));
        // The same image and mode again is no new job.
        preparer.setPicture(Picture::Logo, source);
        QVERIFY(!preparer.isBusy());
        QCOMPARE(preparer.jobsStarted(), 1);
        QCOMPARE(preparer.picture(Picture::Logo).convertToFormat(QImage::Format_ARGB32), logo);
        QCOMPARE(preparer.picture(Picture::Logo).size(), QSize(40, 30));
        QVERIFY(changed.size() >= 1);
    }

    void destroyedWhilePreparing()
    {
        // Must neither crash nor deliver to a dead object (the sanitizers
        // watch this one).
        for (int i = 0; i < 4; ++i) {
            auto preparer = std::make_unique<PreviewPreparer>();
            preparer->setPicture(Picture::Background, {Image::fromPixels(solid({2400, 1600}, Qt::yellow)), true});
            preparer->setPicture(Picture::Logo, {Image::fromPixels(solid({300, 300}, Qt::red)), true});
            preparer.reset();
            QCoreApplication::processEvents();
        }
    }
};

QTEST_GUILESS_MAIN(TestPreviewPreparer)
#include "tst_previewpreparer.moc"
