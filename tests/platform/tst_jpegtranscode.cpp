#include "platform/Image.h"
#include "platform/JpegTranscode.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDataStream>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

namespace {

// Smooth areas, edges and grain, so that every rounding of the colour
// conversion and the transform shows.
QImage photo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int grain = int((quint32(x * 7919 + y * 104729) * 2654435761u) >> 28) - 8;
            const int edge = ((x / 37 + y / 23) % 2) * 60;
            image.setPixel(x, y, qRgb(qBound(0, x * 255 / width + grain, 255), qBound(0, y * 255 / height + edge - 30, 255),
                                      qBound(0, (x ^ y) % 256 / 2 + edge + grain, 255)));
        }
    return image;
}

// How a source file is made: everything the files people pick may differ in.
struct Source {
    J_COLOR_SPACE stored = JCS_YCbCr;
    bool gray = false;
    int sampling = 2; // of luma, both ways: 2 is 4:2:0, 1 is 4:4:4
    bool progressive = false;
    int restartRows = 0;
    int densityUnit = -1; // -1: no JFIF header at all
    int densityX = 0;
    int densityY = 0;
    QList<std::pair<int, QByteArray>> markers;
};

QByteArray makeJpeg(const QImage &pixels, const Source &source)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(pixels.width());
    info.image_height = JDIMENSION(pixels.height());
    const bool cmyk = source.stored == JCS_CMYK || source.stored == JCS_YCCK;
    info.input_components = source.gray ? 1 : cmyk ? 4 : 3;
    info.in_color_space = source.gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    if (!source.gray)
        jpeg_set_colorspace(&info, source.stored);
    jpeg_set_quality(&info, 90, TRUE);
    info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = source.sampling;
    info.restart_in_rows = source.restartRows;
    info.write_JFIF_header = source.densityUnit >= 0 && (source.gray || source.stored == JCS_YCbCr);
    info.density_unit = UINT8(std::max(source.densityUnit, 0));
    info.X_density = UINT16(source.densityX);
    info.Y_density = UINT16(source.densityY);
    if (source.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    for (const auto &[marker, data] : source.markers)
        jpeg_write_marker(&info, marker, reinterpret_cast<const JOCTET *>(data.constData()), unsigned(data.size()));
    std::vector<JSAMPLE> row(std::size_t(pixels.width() * info.input_components));
    for (JSAMPROW rows[1] = {row.data()}; info.next_scanline < info.image_height;) {
        const auto *in = reinterpret_cast<const QRgb *>(pixels.constScanLine(int(info.next_scanline)));
        for (int x = 0; x < pixels.width(); ++x) {
            const int channels[4] = {qRed(in[x]), qGreen(in[x]), qBlue(in[x]), 200};
            for (int c = 0; c < info.input_components; ++c)
                row[std::size_t(x * info.input_components + c)] = JSAMPLE(source.gray ? qGray(in[x]) : channels[c]);
        }
        (void)jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

QByteArray exifWithOrientation(quint16 orientation, bool little)
{
    QByteArray exif("Exif\0\0II", 8);
    if (!little)
        exif.replace(6, 2, "MM");
    QDataStream out(&exif, QIODevice::Append);
    out.setByteOrder(little ? QDataStream::LittleEndian : QDataStream::BigEndian);
    out << quint16(0x2a) << quint32(8) << quint16(1) << quint16(0x0112) << quint16(3) << quint32(1) << orientation
        << quint16(0) << quint32(0);
    return exif;
}

QByteArray writtenByQt(const QImage &pixels, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    return !pixels.isNull() && writer.write(pixels) ? bytes : QByteArray();
}

// Today's way: Qt's reader, turning the picture upright, then its writer.
QByteArray throughQt(const QString &path, int quality)
{
    QImageReader reader(path);
    reader.setAllocationLimit(Image::kAllocationLimitMiB);
    reader.setAutoTransform(true);
    return writtenByQt(reader.read(), quality);
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
}

QByteArray encodedThroughImage(const Image &image, int quality)
{
    return image.encoded(
        "jpeg", [quality](const QImage &pixels) { return writtenByQt(pixels, quality); },
        [quality](const QString &path) { return JpegTranscode::transcode(path, quality, Image::kAllocationLimitMiB); });
}

} // namespace

Q_DECLARE_METATYPE(Source)

class TestJpegTranscode : public QObject {
    Q_OBJECT

private slots:
    void sameBytesAsQtsReaderAndWriter_data();
    void sameBytesAsQtsReaderAndWriter();
    void damagedFiles_data();
    void damagedFiles();
    void aTranscodedImageIsValidWithoutItsPixels();
};

void TestJpegTranscode::sameBytesAsQtsReaderAndWriter_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<Source>("source");
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("handled");

    const QSize odd(333, 217);
    const auto with = [](auto change) {
        Source source;
        source.densityUnit = 0;
        source.densityX = source.densityY = 1;
        change(source);
        return source;
    };
    const auto plain = with([](Source &) {});
    QTest::newRow("4:2:0") << odd << plain << 100 << true;
    QTest::newRow("4:2:0, quality 75") << odd << plain << 75 << true;
    QTest::newRow("4:4:4") << odd << with([](Source &s) { s.sampling = 1; }) << 100 << true;
    QTest::newRow("one pixel") << QSize(1, 1) << plain << 100 << true;
    QTest::newRow("one row") << QSize(1000, 1) << plain << 100 << true;
    QTest::newRow("more rows than the queue holds") << QSize(1500, 1001) << plain << 100 << true;
    QTest::newRow("grey") << QSize(13, 7) << with([](Source &s) { s.gray = true; }) << 100 << true;
    QTest::newRow("progressive") << odd << with([](Source &s) { s.progressive = true; }) << 100 << true;
    QTest::newRow("restart markers") << odd << with([](Source &s) { s.restartRows = 1; }) << 100 << true;
    QTest::newRow("no JFIF header") << odd << with([](Source &s) { s.densityUnit = -1; }) << 100 << true;
    QTest::newRow("72 dpi") << odd << with([](Source &s) { s.densityUnit = 1; s.densityX = s.densityY = 72; }) << 100 << true;
    QTest::newRow("300 x 299 dpi") << odd << with([](Source &s) { s.densityUnit = 1; s.densityX = 300; s.densityY = 299; }) << 100 << true;
    QTest::newRow("37 x 41 dots per cm") << odd << with([](Source &s) { s.densityUnit = 2; s.densityX = 37; s.densityY = 41; }) << 100 << true;
    QTest::newRow("zero density") << odd << with([](Source &s) { s.densityUnit = 1; s.densityX = s.densityY = 0; }) << 100 << false;
    QTest::newRow("Exif, upright") << odd << with([](Source &s) { s.markers = {{JPEG_APP0 + 1, exifWithOrientation(1, true)}}; }) << 100 << true;
    QTest::newRow("XMP") << odd << with([](Source &s) { s.markers = {{JPEG_APP0 + 1, "http://ns.adobe.com/xap/1.0/"}}; }) << 100 << true;
    // Left to Qt: the picture read is turned, coloured or annotated in ways
    // of Qt's own.
    QTest::newRow("Exif, turned, II") << odd << with([](Source &s) { s.markers = {{JPEG_APP0 + 1, exifWithOrientation(6, true)}}; }) << 100 << false;
    QTest::newRow("Exif, upside down, MM") << odd << with([](Source &s) { s.markers = {{JPEG_APP0 + 1, exifWithOrientation(3, false)}}; }) << 100 << false;
    QTest::newRow("Exif cut short") << odd << with([](Source &s) { s.markers = {{JPEG_APP0 + 1, exifWithOrientation(6, true).left(20)}}; }) << 100 << false;
    QTest::newRow("comment") << odd << with([](Source &s) { s.markers = {{JPEG_COM, "Made: by hand"}}; }) << 100 << false;
    const QByteArray icc = QByteArray("ICC_PROFILE\0\1\1", 14) + QColorSpace(QColorSpace::DisplayP3).iccProfile();
    QTest::newRow("colour profile") << odd << with([&](Source &s) { s.markers = {{JPEG_APP0 + 2, icc}}; }) << 100 << false;
    QTest::newRow("stored as RGB") << odd << with([](Source &s) { s.stored = JCS_RGB; }) << 100 << false;
    QTest::newRow("CMYK") << odd << with([](Source &s) { s.stored = JCS_CMYK; s.sampling = 1; }) << 100 << false;
    QTest::newRow("YCCK") << odd << with([](Source &s) { s.stored = JCS_YCCK; }) << 100 << false;
}

void TestJpegTranscode::sameBytesAsQtsReaderAndWriter()
{
    QFETCH(QSize, size);
    QFETCH(Source, source);
    QFETCH(int, quality);
    QFETCH(bool, handled);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("picture.jpg"), makeJpeg(photo(size.width(), size.height()), source));
    QVERIFY(!path.isEmpty());
    const QByteArray expected = throughQt(path, quality);
    QVERIFY(!expected.isEmpty());

    const JpegTranscode::Result result = JpegTranscode::transcode(path, quality, Image::kAllocationLimitMiB);
    QCOMPARE(result.outcome, handled ? JpegTranscode::Outcome::Encoded : JpegTranscode::Outcome::NotHandled);
    if (handled)
        QVERIFY2(result.bytes == expected, "the transcode differs from Qt's writer");
    // Either way, an image referencing the file encodes to Qt's bytes.
    QVERIFY(encodedThroughImage(Image::referencingFile(path), quality) == expected);

    // Decoded straight to pixels: Qt's reader's, or left to it.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QImage decoded = JpegTranscode::decode(file.readAll(), Image::kAllocationLimitMiB);
    QCOMPARE(decoded.isNull(), !handled);
    if (handled) {
        const QImage qts = QImageReader(path).read();
        QCOMPARE(decoded.format(), qts.format());
        QCOMPARE(decoded, qts);
        QCOMPARE(decoded.dotsPerMeterX(), qts.dotsPerMeterX());
        QCOMPARE(decoded.dotsPerMeterY(), qts.dotsPerMeterY());
        if (decoded.format() == QImage::Format_RGB32) // opaque, as a 32-bit RGB image must be
            QCOMPARE(qAlpha(reinterpret_cast<const QRgb *>(decoded.constScanLine(decoded.height() - 1))[0]), 255);
    }
}

void TestJpegTranscode::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("valid");

    Source progressive;
    progressive.progressive = true;
    const QByteArray whole = makeJpeg(photo(300, 200), Source{});
    const QByteArray wholeProgressive = makeJpeg(photo(300, 200), progressive);
    const auto outcome = [](JpegTranscode::Outcome o) { return int(o); };
    // Qt's reader makes up the missing rows of a cut file; a save must not.
    QTest::newRow("cut in the middle") << whole.left(whole.size() / 2) << outcome(JpegTranscode::Outcome::Unreadable) << false;
    QTest::newRow("progressive, cut") << wholeProgressive.left(wholeProgressive.size() * 2 / 3)
                                      << outcome(JpegTranscode::Outcome::Unreadable) << false;
    const qsizetype secondScan = wholeProgressive.indexOf("\xff\xda", wholeProgressive.indexOf("\xff\xda") + 2);
    QTest::newRow("progressive, cut between scans") << wholeProgressive.left(secondScan)
                                                    << outcome(JpegTranscode::Outcome::Unreadable) << false;
    QTest::newRow("cut in the header") << whole.left(300) << outcome(JpegTranscode::Outcome::Unreadable) << false;
    QByteArray scribbled = whole;
    scribbled.replace(whole.size() / 2, 2, "\xff\xd3");
    QTest::newRow("a marker in the middle of the data") << scribbled << outcome(JpegTranscode::Outcome::Unreadable) << false;
    // A file the decoder patches up but reads in full: left to Qt as before.
    QByteArray padded = whole;
    padded.insert(whole.size() - 2, QByteArray("junk"));
    QTest::newRow("junk before the end marker") << padded << outcome(JpegTranscode::Outcome::NotHandled) << true;
    // Only the end marker missing: every row is there.
    QTest::newRow("no end marker") << whole.left(whole.size() - 2) << outcome(JpegTranscode::Outcome::Encoded) << true;
    QTest::newRow("not a JPEG") << QByteArray("\x89PNG\r\n\x1a\n") << outcome(JpegTranscode::Outcome::NotHandled) << false;
}

void TestJpegTranscode::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, outcome);
    QFETCH(bool, valid);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("damaged.jpg"), bytes);
    const JpegTranscode::Result result = JpegTranscode::transcode(path, 100, Image::kAllocationLimitMiB);
    QCOMPARE(int(result.outcome), outcome);
    if (result.outcome == JpegTranscode::Outcome::Encoded)
        QCOMPARE(result.bytes, throughQt(path, 100));
    // What the transcode reads in full is decoded straight, to Qt's own
    // pixels, and what it refuses is damaged; anything else the decoder
    // has to patch up is left to Qt's reader.
    bool damaged = false;
    const QImage decoded = JpegTranscode::decode(bytes, Image::kAllocationLimitMiB, &damaged);
    QCOMPARE(damaged, result.outcome == JpegTranscode::Outcome::Unreadable);
    QCOMPARE(decoded.isNull(), result.outcome != JpegTranscode::Outcome::Encoded);
    if (!decoded.isNull())
        QCOMPARE(decoded, QImageReader(path).read());
    // A picture is taken or refused alike whether it is first drawn or
    // first saved.
    QCOMPARE(Image::referencingFile(path).isValid(), valid);

    const Image image = Image::referencingFile(path);
    const QByteArray encoded = encodedThroughImage(image, 100);
    QCOMPARE(image.isValid(), valid);
    QCOMPARE(image.pixels().isNull(), !valid);
    QCOMPARE(encoded.isEmpty(), !valid);
    if (valid)
        QCOMPARE(encoded, throughQt(path, 100));
}

// Encoding from the file counts as the one decode and the one encode, and
// leaves the pixels for whoever asks for them.
void TestJpegTranscode::aTranscodedImageIsValidWithoutItsPixels()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("picture.jpg"), makeJpeg(photo(120, 80), Source{}));
    const QString big = writeFile(dir, QStringLiteral("big.jpg"), makeJpeg(photo(600, 600), Source{}));
    QStringList decoded;
    Image::setDecodeObserver([&decoded](const QString &file) { decoded << file; });
    const long encodes = Image::encodeCount();
    const Image image = Image::referencingFile(path);
    QVERIFY(!encodedThroughImage(image, 100).isEmpty());
    QVERIFY(image.isValid());
    QVERIFY(!image.isDecoded());
    QCOMPARE(image.size(), QSize(120, 80));
    QCOMPARE(decoded, QStringList{path});
    QCOMPARE(Image::encodeCount() - encodes, 1);
    QCOMPARE(image.pixels().size(), QSize(120, 80));
    Image::setDecodeObserver({});

    // A picture larger than the reader allows is left to the reader.
    QCOMPARE(JpegTranscode::transcode(big, 100, 1).outcome, JpegTranscode::Outcome::NotHandled);
    QCOMPARE(JpegTranscode::transcode(big, 100, 2).outcome, JpegTranscode::Outcome::Encoded);
}

QTEST_GUILESS_MAIN(TestJpegTranscode)
#include "tst_jpegtranscode.moc"
