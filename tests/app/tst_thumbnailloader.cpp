// The well's loader: the latest picture wins, a replaced one is never
// delivered, and going away in the middle of a decode is safe.

#include "app/ThumbnailLoader.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QSize kBounds(256, 256);

// Big enough that its decode is still running when the next request comes.
QString bigPicture(const QTemporaryDir &dir, const QString &name, QColor colour)
{
    QImage image(3000, 2000, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    return image.save(path, "jpeg") ? path : QString();
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 16 && std::abs(a.green() - b.green()) < 16
           && std::abs(a.blue() - b.blue()) < 16;
}

} // namespace

class TestThumbnailLoader : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_red = Image::referencingFile(bigPicture(m_dir, QStringLiteral("red.jpg"), Qt::red));
        m_green = Image::referencingFile(bigPicture(m_dir, QStringLiteral("green.jpg"), Qt::green));
        QVERIFY(!m_red.path().isEmpty() && !m_green.path().isEmpty());
    }

    void replacedPictureIsNeverDelivered_data()
    {
        QTest::addColumn<int>("replacements");
        QTest::newRow("once") << 1;
        QTest::newRow("back and forth") << 5;
    }
    void replacedPictureIsNeverDelivered()
    {
        QFETCH(int, replacements);
        ThumbnailLoader loader;
        QSignalSpy loaded(&loader, &ThumbnailLoader::loaded);
        Image last;
        for (int i = 0; i <= replacements; ++i) {
            last = i % 2 ? m_green : m_red;
            loader.request(last, kBounds);
            // Let a decode begin before it is superseded.
            QTest::qWait(5);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!loader.isLoading(), 20000);
        // A stale result still queued would come now.
        QTest::qWait(200);
        QCOMPARE(loaded.count(), 1);
        const auto image = loaded.first().at(0).value<Image>();
        const auto thumbnail = loaded.first().at(1).value<QImage>();
        QVERIFY(image.isSameAs(last));
        QCOMPARE(thumbnail.width(), kBounds.width());
        QVERIFY(near(thumbnail.pixelColor(thumbnail.width() / 2, thumbnail.height() / 2), last.isSameAs(m_green) ? QColor(Qt::green) : QColor(Qt::red)));
    }

    void cancelledOrDestroyedLoaderDeliversNothing()
    {
        auto loader = std::make_unique<ThumbnailLoader>();
        QSignalSpy loaded(loader.get(), &ThumbnailLoader::loaded);
        loader->request(m_red, kBounds);
        loader->cancel();
        QVERIFY(!loader->isLoading());
        // The next request's result is the first and only one to arrive.
        loader->request(m_green, kBounds);
        QTRY_VERIFY_WITH_TIMEOUT(!loader->isLoading(), 20000);
        QTest::qWait(200);
        QCOMPARE(loaded.count(), 1);
        QVERIFY(loaded.first().at(0).value<Image>().isSameAs(m_green));

        // Destroyed while decoding: the worker must not outlive it (the
        // thread sanitizer stage sees a result posted to a dead loader).
        loader->request(m_red, kBounds);
        QTest::qWait(5);
        loader.reset();
        QTest::qWait(100);
        QCOMPARE(loaded.count(), 1);
    }

private:
    QTemporaryDir m_dir;
    Image m_red;
    Image m_green;
};

QTEST_GUILESS_MAIN(TestThumbnailLoader)
#include "tst_thumbnailloader.moc"
