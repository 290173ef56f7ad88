#include "preview/PreviewPng.h"

#include <zlib.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace PreviewPng {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr int kSubFilter = 1;
// Below this many pixels one band does it; above, one band per core.
constexpr qint64 kPixelsPerBand = 1 << 20;
constexpr unsigned kMaxBands = 4;

void appendBigEndian(QByteArray &out, quint32 value)
{
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

void appendChunk(QByteArray &out, const char *type, const char *data, qsizetype size)
{
    appendBigEndian(out, quint32(size));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data, size);
    const auto *typed = reinterpret_cast<const Bytef *>(out.constData() + start);
    appendBigEndian(out, quint32(crc32_z(crc32(0, nullptr, 0), typed, std::size_t(out.size() - start))));
}

struct Band {
    int firstRow = 0;
    int endRow = 0;
    bool last = false;
    QByteArray deflated; // raw deflate, ending on a byte boundary
    uLong adler = 1;
    qint64 length = 0;  // bytes before compression
    bool ok = false;
};

// The rows of one band, filtered and compressed as a raw deflate stream;
// every band but the last ends with a flush, so that the streams joined
// are one stream.
void compressBand(const QImage &image, int channels, Band &band)
{
    z_stream stream{};
    if (deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_HUFFMAN_ONLY) != Z_OK)
        return;
    const int width = image.width();
    const std::size_t rowBytes = 1 + std::size_t(width) * std::size_t(channels);
    std::vector<Bytef> row(rowBytes);
    band.deflated.reserve(qsizetype(rowBytes) * (band.endRow - band.firstRow) / 3);
    std::vector<Bytef> out(std::max<std::size_t>(deflateBound(&stream, uLong(rowBytes)), 1 << 16));
    bool ok = true;
    for (int y = band.firstRow; ok && y < band.endRow; ++y) {
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        row[0] = kSubFilter;
        Bytef *to = row.data() + 1;
        int red = 0, green = 0, blue = 0, alpha = 0;
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = pixels[x];
            const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
            *to++ = Bytef(r - red);
            *to++ = Bytef(g - green);
            *to++ = Bytef(b - blue);
            red = r, green = g, blue = b;
            if (channels == 4) {
                const int a = qAlpha(pixel);
                *to++ = Bytef(a - alpha);
                alpha = a;
            }
        }
        band.adler = adler32_z(band.adler, row.data(), rowBytes);
        band.length += qint64(rowBytes);
        stream.next_in = row.data();
        stream.avail_in = uInt(rowBytes);
        const bool lastRow = y + 1 == band.endRow;
        const int flush = !lastRow ? Z_NO_FLUSH : (band.last ? Z_FINISH : Z_SYNC_FLUSH);
        do {
            stream.next_out = out.data();
            stream.avail_out = uInt(out.size());
            const int status = deflate(&stream, flush);
            if (status == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            band.deflated.append(reinterpret_cast<const char *>(out.data()), qsizetype(out.size() - stream.avail_out));
        } while (stream.avail_out == 0 || stream.avail_in > 0);
    }
    deflateEnd(&stream);
    band.ok = ok;
}

} // namespace

QByteArray encode(const QImage &source)
{
    if (source.isNull())
        return {};
    const bool alpha = source.hasAlphaChannel();
    const QImage::Format format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const QImage image = source.format() == format ? source : source.convertToFormat(format);
    const int channels = alpha ? 4 : 3;

    const qint64 pixels = qint64(image.width()) * image.height();
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int bandCount = int(std::clamp<qint64>(pixels / kPixelsPerBand, 1, std::min(cores, kMaxBands)));
    std::vector<Band> bands(static_cast<std::size_t>(bandCount));
    for (int i = 0; i < bandCount; ++i) {
        bands[std::size_t(i)].firstRow = int(qint64(image.height()) * i / bandCount);
        bands[std::size_t(i)].endRow = int(qint64(image.height()) * (i + 1) / bandCount);
        bands[std::size_t(i)].last = i + 1 == bandCount;
    }
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < bands.size(); ++i)
        helpers.emplace_back([&image, channels, &band = bands[i]] { compressBand(image, channels, band); });
    compressBand(image, channels, bands[0]);
    for (std::thread &helper : helpers)
        helper.join();

    qsizetype deflated = 0;
    for (const Band &band : bands) {
        if (!band.ok)
            return {};
        deflated += band.deflated.size();
    }
    QByteArray idat;
    idat.reserve(deflated + 6);
    const char zlibHeader[] = {0x78, 0x01}; // deflate, 32 KiB window, fastest
    idat.append(zlibHeader, 2);
    uLong adler = 1;
    for (Band &band : bands) {
        idat.append(band.deflated);
        band.deflated = QByteArray();
        adler = adler32_combine(adler, band.adler, z_off_t(band.length));
    }
    appendBigEndian(idat, quint32(adler));

    QByteArray header;
    appendBigEndian(header, quint32(image.width()));
    appendBigEndian(header, quint32(image.height()));
    const char rest[] = {8, char(alpha ? 6 : 2), 0, 0, 0}; // depth, colour type, deflate, filters, no interlace
    header.append(rest, 5);

    // Chunks of a size every reader takes.
    constexpr qsizetype kChunk = 8 << 20;
    QByteArray png;
    png.reserve(idat.size() + idat.size() / kChunk * 12 + 64);
    png.append(kSignature, 8);
    appendChunk(png, "IHDR", header.constData(), header.size());
    for (qsizetype at = 0; at < idat.size(); at += kChunk)
        appendChunk(png, "IDAT", idat.constData() + at, std::min(kChunk, idat.size() - at));
    appendChunk(png, "IEND", nullptr, 0);
    return png;
}

} // namespace PreviewPng
