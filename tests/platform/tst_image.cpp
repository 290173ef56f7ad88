#include "platform/Image.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>

namespace {

constexpr quint32 kHuge = 30000;

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &payload)
{
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(payload.size()), chunk.data());
    chunk += type + payload;
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(type + payload), crc.data());
    return chunk + crc;
}

// A PNG of a few dozen bytes whose header claims width x height RGBA.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 8; // bits per channel
    header[9] = 6; // RGBA
    const QByteArray pixels = qCompress(QByteArray(64, '\0')).mid(4); // zlib stream
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", pixels)
           + pngChunk("IEND", {});
}

QImage picture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QPainter painter(&image);
    painter.fillRect(width / 4, height / 4, width / 2, height / 2, Qt::yellow);
    return image;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        qWarning() << "cannot encode" << format << writer.errorString();
    return bytes;
}

// A small JPEG whose frame header is rewritten to claim a huge picture.
QByteArray jpegClaimingHugeSize()
{
    QByteArray bytes = encoded(picture(16, 16), "jpeg");
    const qsizetype frame = bytes.indexOf(QByteArray("\xff\xc0", 2));
    if (frame < 0)
        return {};
    qToBigEndian(quint16(kHuge), bytes.data() + frame + 5);
    qToBigEndian(quint16(kHuge), bytes.data() + frame + 7);
    return bytes;
}

// A small TIFF whose image width and length tags are rewritten.
QByteArray tiffClaimingHugeSize()
{
    QByteArray bytes = encoded(picture(16, 16), "tiff");
    if (bytes.size() < 8 || !bytes.startsWith("II"))
        return {};
    auto *data = reinterpret_cast<uchar *>(bytes.data());
    const quint32 ifd = qFromLittleEndian<quint32>(data + 4);
    const quint16 entries = qFromLittleEndian<quint16>(data + ifd);
    int patched = 0;
    for (quint16 i = 0; i < entries; ++i) {
        uchar *entry = data + ifd + 2 + 12 * i;
        const quint16 tag = qFromLittleEndian<quint16>(entry);
        const quint16 type = qFromLittleEndian<quint16>(entry + 2);
        if (tag != 256 && tag != 257)
            continue;
        if (type == 3)
            qToLittleEndian(quint16(kHuge), entry + 8);
        else
            qToLittleEndian(kHuge, entry + 8);
        ++patched;
    }
    return patched == 2 ? bytes : QByteArray();
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

} // namespace

class TestImage : public QObject {
    Q_OBJECT
private slots:
    void unreadableFilesAreInvalid_data();
    void unreadableFilesAreInvalid();
    void hugeHeaderIsInvalidWithoutAllocating_data();
    void hugeHeaderIsInvalidWithoutAllocating();
    void truncatedFileDecodesWithinItsHeader_data();
    void truncatedFileDecodesWithinItsHeader();
    void jpegPixelsAreTheReadersOwn_data();
    void jpegPixelsAreTheReadersOwn();
    void thumbnailFitsItsBounds();
    void referenceDecodesLazilyAndOnce();
    void encodedBytesAreKeptAndPixelsLetGo();
    void onlyRegularFilesAreOpened_data();
    void onlyRegularFilesAreOpened();
};

void TestImage::unreadableFilesAreInvalid_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("text named .tif") << "applelogo.tif" << QByteArray("not a picture at all\n");
    QTest::newRow("empty file") << "empty.png" << QByteArray();
    QTest::newRow("png signature only") << "signature.png" << QByteArray("\x89PNG\r\n\x1a\n", 8);
    QTest::newRow("missing file") << QString() << QByteArray();
}

void TestImage::unreadableFilesAreInvalid()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = name.isEmpty() ? dir.filePath(QStringLiteral("absent.tif"))
                                        : writeFile(dir, name, bytes);
    QVERIFY(!path.isEmpty());
    const Image image = Image::referencingFile(path);
    QVERIFY(!image.isNull());
    QVERIFY(!image.isValid());
    QVERIFY(image.pixels().isNull());
    QVERIFY(image.thumbnail(QSize(64, 64)).isNull());
    QCOMPARE(image.path(), path);
}

void TestImage::hugeHeaderIsInvalidWithoutAllocating_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("png") << "huge.png" << pngClaiming(kHuge, kHuge);
    QTest::newRow("jpeg") << "huge.jpg" << jpegClaimingHugeSize();
    QTest::newRow("tiff") << "huge.tif" << tiffClaimingHugeSize();
}

void TestImage::hugeHeaderIsInvalidWithoutAllocating()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QVERIFY2(!bytes.isEmpty(), "could not build the sample file");
    QVERIFY(bytes.size() < 4096);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, name, bytes);
    const Image image = Image::referencingFile(path);
    // The header is read as it stands ...
    QCOMPARE(image.size(), QSize(int(kHuge), int(kHuge)));
    // ... but 30000 x 30000 pixels (over 3 GiB) are never allocated.
    QVERIFY(!image.isValid());
    const QImage thumb = image.thumbnail(QSize(128, 128));
    QVERIFY(thumb.isNull() || (thumb.width() <= 128 && thumb.height() <= 128));
}

void TestImage::truncatedFileDecodesWithinItsHeader_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("png") << "png";
    QTest::newRow("jpeg") << "jpeg";
    QTest::newRow("tiff") << "tiff";
}

void TestImage::truncatedFileDecodesWithinItsHeader()
{
    QFETCH(QString, format);
    const QImage original = picture(300, 200);
    const QByteArray whole = encoded(original, format.toLatin1().constData());
    QVERIFY(whole.size() > 100);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("cut.") + format, whole.left(whole.size() / 2));
    const Image image = Image::referencingFile(path);
    // Some decoders give up on a cut file, others fill in what is missing;
    // either way nothing larger than the header says is produced. A cut
    // JPEG, which Qt's reader fills in grey, is refused.
    if (format == QLatin1String("jpeg"))
        QVERIFY(!image.isValid());
    else if (image.isValid())
        QCOMPARE(image.pixels().size(), original.size());
    else
        QVERIFY(image.pixels().isNull());
}

void TestImage::jpegPixelsAreTheReadersOwn_data()
{
    QTest::addColumn<bool>("grey");
    QTest::addColumn<bool>("progressive");
    QTest::newRow("colour") << false << false;
    QTest::newRow("grey") << true << false;
    QTest::newRow("progressive") << false << true;
}

void TestImage::jpegPixelsAreTheReadersOwn()
{
    QFETCH(bool, grey);
    QFETCH(bool, progressive);
    QImage original = picture(301, 199);
    if (grey)
        original = original.convertToFormat(QImage::Format_Grayscale8);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    QVERIFY(writer.write(original));
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("whole.jpg"), bytes);

    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage expected = reader.read();
    const QImage pixels = Image::referencingFile(path).pixels();
    QCOMPARE(pixels.format(), expected.format());
    QCOMPARE(pixels, expected);
    QCOMPARE(pixels.dotsPerMeterX(), expected.dotsPerMeterX());
}

void TestImage::thumbnailFitsItsBounds()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QImage big = picture(3000, 2000);
    const QString path = writeFile(dir, QStringLiteral("big.jpg"), encoded(big, "jpeg"));
    const QSize bounds(256, 256);

    // Scaled to fit, keeping the 3:2 shape (rounding may differ by a pixel).
    const QImage fromFile = Image::referencingFile(path).thumbnail(bounds);
    const QImage fromPixels = Image::fromPixels(big).thumbnail(bounds);
    for (const QImage &thumb : {fromFile, fromPixels}) {
        QCOMPARE(thumb.width(), 256);
        QVERIFY2(thumb.height() == 170 || thumb.height() == 171, qPrintable(QString::number(thumb.height())));
    }

    // A picture smaller than the bounds is shown as it is.
    const QImage small = picture(40, 30);
    QCOMPARE(Image::fromPixels(small).thumbnail(bounds).size(), small.size());
}

void TestImage::referenceDecodesLazilyAndOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("logo.png"), encoded(picture(20, 10), "png"));
    const Image image = Image::referencingFile(path);
    const Image copy = image;
    QVERIFY(copy.isSameAs(image));
    QVERIFY(!Image::referencingFile(path).isSameAs(image));

    // Nothing is read until the pixels are wanted; then the decode is kept,
    // shared by the copies, even when the file goes away.
    QVERIFY(QFile::remove(path));
    QVERIFY(!Image::referencingFile(path).isValid());
    QVERIFY(writeFile(dir, QStringLiteral("logo.png"), encoded(picture(20, 10), "png")) == path);
    QVERIFY(image.isValid());
    QVERIFY(QFile::remove(path));
    QVERIFY(copy.isValid());
    QCOMPARE(copy.size(), QSize(20, 10));

    QVERIFY(Image().isNull());
    QVERIFY(!Image().isValid());
}

void TestImage::encodedBytesAreKeptAndPixelsLetGo()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("picture.png"), encoded(picture(20, 10), "png"));
    const Image image = Image::referencingFile(path);
    int encodes = 0;
    auto encoder = [&encodes](const QImage &pixels) {
        ++encodes;
        return encoded(pixels, "png");
    };
    // A failed encode is not kept: the next call tries again.
    QVERIFY(image.encoded("png", [](const QImage &) { return QByteArray(); }).isEmpty());
    QVERIFY(image.keptEncoding("png").isEmpty());
    const QByteArray bytes = image.encoded("png", encoder);
    QVERIFY(!bytes.isEmpty());
    QCOMPARE(image.encoded("png", encoder), bytes);
    QCOMPARE(encodes, 1);
    QVERIFY(image.keptEncoding("jpeg").isEmpty());

    // Let go of, the pixels come back from the file; the bytes stay.
    const QImage before = image.pixels();
    image.release();
    QVERIFY(!image.isDecoded());
    QCOMPARE(image.size(), QSize(20, 10));
    QCOMPARE(image.keptEncoding("png"), bytes);
    QCOMPARE(image.pixels(), before);

    // Pixels only in memory could not come back: they are kept.
    const Image inMemory = Image::fromPixels(before);
    inMemory.release();
    QVERIFY(inMemory.isDecoded());
    QCOMPARE(inMemory.pixels(), before);
}

void TestImage::onlyRegularFilesAreOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("valid");
    // Opening a FIFO for reading waits for a writer: were it opened, this
    // would hang until the test runner gives up on it.
    QTest::newRow("fifo") << "fifo" << false;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("link to a fifo") << "link-fifo" << false;
    QTest::newRow("link to a picture") << "link-picture" << true;
}

void TestImage::onlyRegularFilesAreOpened()
{
    QFETCH(QString, kind);
    QFETCH(bool, valid);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("logo.png"));
    const QString target = dir.filePath(QStringLiteral("target.png"));
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == QLatin1String("link-fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        QVERIFY(QFile::link(target, path));
    } else {
        QCOMPARE(writeFile(dir, QStringLiteral("target.png"), encoded(picture(20, 10), "png")), target);
        QVERIFY(QFile::link(target, path));
    }

    // Each entry point reads on its own, so each is asked on a fresh image.
    QCOMPARE(Image::referencingFile(path).size().isValid(), valid);
    QCOMPARE(!Image::referencingFile(path).thumbnail(QSize(8, 8)).isNull(), valid);
    const Image image = Image::referencingFile(path);
    QCOMPARE(image.isValid(), valid);
    QCOMPARE(image.path(), path);
    if (valid)
        QCOMPARE(image.size(), QSize(20, 10));
}

QTEST_GUILESS_MAIN(TestImage)
#include "tst_image.moc"
