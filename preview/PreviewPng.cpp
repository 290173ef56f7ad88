#include "preview/PreviewPng.h"

#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <queue>
#include <thread>
#include <vector>

namespace PreviewPng {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr quint8 kSubFilter = 1;
// Below this many pixels one band does it; above, one band per core.
constexpr qint64 kPixelsPerBand = 1 << 20;
constexpr unsigned kMaxBands = 4;
// Each deflate block gets a code of its own fitted to about this many
// bytes of rows, so the code follows the picture as it changes.
constexpr std::size_t kBlockBytes = 64 * 1024;
constexpr int kEndOfBlock = 256;
constexpr int kLiteralCodes = 257; // the bytes and the end of a block; no lengths
constexpr int kMaxCodeLength = 15;
constexpr int kMaxLengthCodeLength = 7;
// The order the lengths of the code-length code are sent in.
constexpr int kLengthCodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

void appendBigEndian(char *to, quint32 value)
{
    to[0] = char(value >> 24);
    to[1] = char(value >> 16);
    to[2] = char(value >> 8);
    to[3] = char(value);
}

// Deflate's bits, first bit in the lowest place, into a buffer the caller
// made large enough.
class BitWriter {
public:
    explicit BitWriter(quint8 *to) : m_to(to) {}

    void put(quint32 value, int length)
    {
        m_bits |= quint64(value) << m_count;
        m_count += length;
        if (m_count >= 32) {
            m_to[0] = quint8(m_bits);
            m_to[1] = quint8(m_bits >> 8);
            m_to[2] = quint8(m_bits >> 16);
            m_to[3] = quint8(m_bits >> 24);
            m_to += 4;
            m_bits >>= 32;
            m_count -= 32;
        }
    }
    // Out to the next byte boundary, padding with zero bits.
    void flushToByte()
    {
        while (m_count > 0) {
            *m_to++ = quint8(m_bits);
            m_bits >>= 8;
            m_count = std::max(0, m_count - 8);
        }
        m_bits = 0;
    }
    void putByte(quint8 byte) { *m_to++ = byte; } // only on a byte boundary
    // For a writer of its own: the whole bytes gathered go out, the rest
    // (fewer than eight bits) stays pending; resume() hands back.
    quint8 *takeWholeBytes()
    {
        while (m_count >= 8) {
            *m_to++ = quint8(m_bits);
            m_bits >>= 8;
            m_count -= 8;
        }
        return m_to;
    }
    [[nodiscard]] quint64 pending() const { return m_bits; }
    [[nodiscard]] int pendingCount() const { return m_count; }
    void resume(quint8 *to, quint64 bits, int count)
    {
        m_to = to;
        m_bits = bits;
        m_count = count;
    }
    [[nodiscard]] quint8 *position() const { return m_to; }

private:
    quint8 *m_to;
    quint64 m_bits = 0;
    int m_count = 0;
};

struct Code {
    std::vector<quint8> lengths;
    std::vector<quint16> codes; // bit-reversed, ready for BitWriter
};

// Codes from their lengths, as deflate defines them, reversed so that the
// first bit of each goes out first.
Code canonicalCode(std::vector<quint8> lengths)
{
    int counts[kMaxCodeLength + 1] = {};
    for (quint8 length : lengths)
        ++counts[length];
    counts[0] = 0;
    int next[kMaxCodeLength + 2] = {};
    for (int length = 1, code = 0; length <= kMaxCodeLength; ++length) {
        code = (code + counts[length - 1]) << 1;
        next[length] = code;
    }
    Code code;
    code.codes.resize(lengths.size());
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        const int length = lengths[symbol];
        if (!length)
            continue;
        quint32 value = quint32(next[length]++), reversed = 0;
        for (int bit = 0; bit < length; ++bit, value >>= 1)
            reversed = (reversed << 1) | (value & 1);
        code.codes[symbol] = quint16(reversed);
    }
    code.lengths = std::move(lengths);
    return code;
}

// Sends one block's bytes with the given code, its end, nothing else:
// several codes gathered at a time, then their whole bytes written out.
void putBytes(BitWriter &bits, const Code &code, const quint8 *bytes, std::size_t size)
{
    quint32 entries[256];
    int longest = 0;
    for (int symbol = 0; symbol < 256; ++symbol) {
        entries[symbol] = quint32(code.codes[std::size_t(symbol)]) | quint32(code.lengths[std::size_t(symbol)]) << 16;
        longest = std::max<int>(longest, code.lengths[std::size_t(symbol)]);
    }
    // Up to seven bits left over plus the codes gathered must fit in 64.
    const std::size_t step = longest <= 14 ? 4 : 3;
    quint8 *to = bits.takeWholeBytes();
    quint64 pending = bits.pending();
    int count = bits.pendingCount();
    std::size_t i = 0;
    for (; i + step <= size; i += step) {
        for (std::size_t k = 0; k < step; ++k) {
            const quint32 entry = entries[bytes[i + k]];
            pending |= quint64(entry & 0xffff) << count;
            count += int(entry >> 16);
        }
        const quint64 little = qToLittleEndian(pending);
        std::memcpy(to, &little, 8);
        to += count >> 3;
        pending >>= count & ~7;
        count &= 7;
    }
    bits.resume(to, pending, count);
    for (; i < size; ++i)
        bits.put(code.codes[bytes[i]], code.lengths[bytes[i]]);
    bits.put(code.codes[kEndOfBlock], code.lengths[kEndOfBlock]);
}

struct LengthSymbol {
    quint8 symbol;
    quint8 extra; // the repeat count's extra bits
    quint8 extraBits;
};

// The code lengths as deflate sends them, runs shortened with symbols
// 16 (repeat the last length), 17 and 18 (runs of zeros).
std::vector<LengthSymbol> runLengths(const std::vector<quint8> &lengths)
{
    std::vector<LengthSymbol> symbols;
    std::size_t i = 0;
    while (i < lengths.size()) {
        const quint8 length = lengths[i];
        std::size_t run = 1;
        while (i + run < lengths.size() && lengths[i + run] == length)
            ++run;
        i += run;
        if (length == 0) {
            while (run >= 11) {
                const std::size_t take = std::min<std::size_t>(run, 138);
                symbols.push_back({18, quint8(take - 11), 7});
                run -= take;
            }
            if (run >= 3) {
                symbols.push_back({17, quint8(run - 3), 3});
                run = 0;
            }
        } else {
            symbols.push_back({length, 0, 0});
            --run;
            while (run >= 3) {
                const std::size_t take = std::min<std::size_t>(run, 6);
                symbols.push_back({16, quint8(take - 3), 2});
                run -= take;
            }
        }
        for (; run > 0; --run)
            symbols.push_back({length, 0, 0});
    }
    return symbols;
}

// One block with a code of its own: the header that describes the code,
// then the bytes.
void putBlock(BitWriter &bits, const quint8 *bytes, std::size_t size, bool last)
{
    std::vector<quint32> counts(kLiteralCodes, 0);
    // Four tables side by side, added up after: counting into one stalls
    // on runs of the same byte.
    quint32 partial[4][256] = {};
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++partial[0][bytes[i]];
        ++partial[1][bytes[i + 1]];
        ++partial[2][bytes[i + 2]];
        ++partial[3][bytes[i + 3]];
    }
    for (; i < size; ++i)
        ++partial[0][bytes[i]];
    for (int symbol = 0; symbol < 256; ++symbol)
        counts[std::size_t(symbol)] = partial[0][symbol] + partial[1][symbol] + partial[2][symbol] + partial[3][symbol];
    counts[kEndOfBlock] = 1;
    const Code literals = canonicalCode(limitedCodeLengths(counts, kMaxCodeLength));

    // No lengths or distances are sent, but a reader wants a complete
    // distance code: two codes of one bit.
    std::vector<quint8> allLengths = literals.lengths;
    allLengths.push_back(1);
    allLengths.push_back(1);
    const std::vector<LengthSymbol> sent = runLengths(allLengths);
    std::vector<quint32> lengthCounts(19, 0);
    for (const LengthSymbol &s : sent)
        ++lengthCounts[s.symbol];
    const Code lengthCode = canonicalCode(limitedCodeLengths(lengthCounts, kMaxLengthCodeLength));
    int lengthCodes = 19;
    while (lengthCodes > 4 && lengthCode.lengths[std::size_t(kLengthCodeOrder[lengthCodes - 1])] == 0)
        --lengthCodes;

    bits.put(last ? 1 : 0, 1);
    bits.put(2, 2); // a block with codes of its own
    bits.put(kLiteralCodes - 257, 5);
    bits.put(2 - 1, 5);
    bits.put(quint32(lengthCodes - 4), 4);
    for (int k = 0; k < lengthCodes; ++k)
        bits.put(lengthCode.lengths[std::size_t(kLengthCodeOrder[k])], 3);
    for (const LengthSymbol &s : sent) {
        bits.put(lengthCode.codes[s.symbol], lengthCode.lengths[s.symbol]);
        if (s.extraBits)
            bits.put(s.extra, s.extraBits);
    }
    putBytes(bits, literals, bytes, size);
}

struct Band {
    int firstRow = 0;
    int endRow = 0;
    bool last = false;
    std::unique_ptr<quint8[]> deflated; // raw deflate, ending on a byte boundary
    std::size_t size = 0;
    uLong adler = 1;
    qint64 length = 0; // bytes before compression
};

// The worst a block can come to: every byte at the longest code, and a
// header of at most 19 * 3 + 259 * (7 + 7) bits.
std::size_t blockBound(std::size_t bytes)
{
    return bytes * kMaxCodeLength / 8 + 512 + 16;
}

// The rows of one band, filtered and compressed as a raw deflate stream;
// every band but the last ends with an empty stored block, as a flush
// does, so that the streams joined are one stream.
void compressBand(const QImage &image, int channels, Band &band)
{
    const int width = image.width();
    const std::size_t rowBytes = 1 + std::size_t(width) * std::size_t(channels);
    const int rowsPerBlock = int(std::max<std::size_t>(1, kBlockBytes / rowBytes));
    const int rows = band.endRow - band.firstRow;
    const int blocks = (rows + rowsPerBlock - 1) / rowsPerBlock;
    band.deflated.reset(new quint8[std::size_t(blocks) * blockBound(rowBytes * std::size_t(rowsPerBlock)) + 16]);
    BitWriter bits(band.deflated.get());
    std::vector<quint8> block(rowBytes * std::size_t(rowsPerBlock));
    for (int y = band.firstRow; y < band.endRow; y += rowsPerBlock) {
        const int blockEnd = std::min(band.endRow, y + rowsPerBlock);
        quint8 *to = block.data();
        for (int row = y; row < blockEnd; ++row) {
            const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(row));
            *to++ = kSubFilter;
            int red = 0, green = 0, blue = 0, alpha = 0;
            for (int x = 0; x < width; ++x) {
                const QRgb pixel = pixels[x];
                const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
                *to++ = quint8(r - red);
                *to++ = quint8(g - green);
                *to++ = quint8(b - blue);
                red = r, green = g, blue = b;
                if (channels == 4) {
                    const int a = qAlpha(pixel);
                    *to++ = quint8(a - alpha);
                    alpha = a;
                }
            }
        }
        const std::size_t size = std::size_t(to - block.data());
        band.adler = adler32_z(band.adler, block.data(), size);
        band.length += qint64(size);
        putBlock(bits, block.data(), size, band.last && blockEnd == band.endRow);
    }
    if (!band.last) {
        bits.put(0, 3); // a stored block, not the last, of no bytes
        bits.flushToByte();
        for (quint8 byte : {0x00, 0x00, 0xff, 0xff})
            bits.putByte(byte);
    }
    bits.flushToByte();
    band.size = std::size_t(bits.position() - band.deflated.get());
}

// Appends a PNG's chunks of one type, cut at a size every reader takes,
// with their checksums, as the data arrives.
class ChunkWriter {
public:
    ChunkWriter(char *to, const char *type) : m_to(to), m_type(type) {}

    void append(const void *data, std::size_t size)
    {
        const auto *from = static_cast<const char *>(data);
        while (size > 0) {
            if (m_inChunk == kChunk)
                close();
            if (m_inChunk == 0 && !m_open)
                open();
            const std::size_t take = std::min(size, kChunk - m_inChunk);
            std::memcpy(m_to, from, take);
            m_to += take, from += take, size -= take, m_inChunk += take;
        }
    }
    char *finish()
    {
        if (!m_any)
            open(); // a chunk with no data, as IEND is
        if (m_open)
            close();
        return m_to;
    }
    // Bytes of chunk framing for data of this size.
    static std::size_t framing(std::size_t size) { return (size + kChunk - 1) / kChunk * 12; }

    static constexpr std::size_t kChunk = 8 << 20;

private:
    void open()
    {
        m_start = m_to;
        m_to += 4;
        std::memcpy(m_to, m_type, 4);
        m_to += 4;
        m_open = m_any = true;
    }
    void close()
    {
        appendBigEndian(m_start, quint32(m_inChunk));
        const auto *typed = reinterpret_cast<const Bytef *>(m_start + 4);
        appendBigEndian(m_to, quint32(crc32_z(crc32(0, nullptr, 0), typed, m_inChunk + 4)));
        m_to += 4;
        m_inChunk = 0;
        m_open = false;
    }

    char *m_to;
    const char *m_type;
    char *m_start = nullptr;
    std::size_t m_inChunk = 0;
    bool m_open = false;
    bool m_any = false;
};

} // namespace

std::vector<quint8> limitedCodeLengths(const std::vector<quint32> &counts, int maxLength)
{
    std::vector<quint8> lengths(counts.size(), 0);
    std::vector<quint32> weights = counts;
    for (;;) {
        // Huffman's tree over the symbols that occur; leaves first, then
        // the nodes made by joining the two lightest.
        struct Node {
            quint64 weight;
            int index;
            bool operator>(const Node &other) const
            {
                return weight != other.weight ? weight > other.weight : index > other.index;
            }
        };
        std::priority_queue<Node, std::vector<Node>, std::greater<>> queue;
        std::vector<int> parent;
        std::vector<int> leafSymbol;
        for (std::size_t symbol = 0; symbol < weights.size(); ++symbol) {
            if (!weights[symbol])
                continue;
            queue.push({weights[symbol], int(parent.size())});
            parent.push_back(-1);
            leafSymbol.push_back(int(symbol));
        }
        const std::size_t leaves = leafSymbol.size();
        if (leaves == 0)
            return lengths;
        if (leaves == 1) {
            // One symbol still gets a complete code: a second, unused one
            // of the same length beside it.
            lengths[std::size_t(leafSymbol[0])] = 1;
            if (lengths.size() > 1)
                lengths[leafSymbol[0] == 0 ? 1 : 0] = 1;
            return lengths;
        }
        while (queue.size() > 1) {
            const Node a = queue.top();
            queue.pop();
            const Node b = queue.top();
            queue.pop();
            const int joined = int(parent.size());
            parent.push_back(-1);
            parent[std::size_t(a.index)] = joined;
            parent[std::size_t(b.index)] = joined;
            queue.push({a.weight + b.weight, joined});
        }
        // Depths from the root down: every parent comes after its children.
        std::vector<int> depth(parent.size(), 0);
        int deepest = 0;
        for (std::size_t node = parent.size() - 1; node-- > 0;) {
            depth[node] = depth[std::size_t(parent[node])] + 1;
            if (node < leaves)
                deepest = std::max(deepest, depth[node]);
        }
        if (deepest <= maxLength) {
            for (std::size_t leaf = 0; leaf < leaves; ++leaf)
                lengths[std::size_t(leafSymbol[leaf])] = quint8(depth[leaf]);
            return lengths;
        }
        // Too deep: flatten the counts and build again. Halving brings
        // every weight towards one, where the depth is that of a balanced
        // tree, so this ends.
        for (quint32 &weight : weights) {
            if (weight)
                weight = (weight >> 1) | 1;
        }
    }
}

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
    const int bandCount = int(std::clamp<qint64>(pixels / kPixelsPerBand, 1,
                                                 std::min<qint64>(std::min(cores, kMaxBands), image.height())));
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

    std::size_t stream = 2 + 4; // zlib's header and checksum
    uLong adler = 1;
    for (const Band &band : bands) {
        stream += band.size;
        adler = adler32_combine(adler, band.adler, z_off_t(band.length));
    }

    char header[13];
    appendBigEndian(header, quint32(image.width()));
    appendBigEndian(header + 4, quint32(image.height()));
    const char rest[] = {8, char(alpha ? 6 : 2), 0, 0, 0}; // depth, colour type, deflate, filters, no interlace
    std::memcpy(header + 8, rest, 5);

    QByteArray png(qsizetype(8 + 25 + stream + ChunkWriter::framing(stream) + 12), Qt::Uninitialized);
    char *to = png.data();
    std::memcpy(to, kSignature, 8);
    to += 8;
    ChunkWriter ihdr(to, "IHDR");
    ihdr.append(header, sizeof header);
    ChunkWriter idat(ihdr.finish(), "IDAT");
    const char zlibHeader[] = {0x78, 0x01}; // deflate, 32 KiB window, fastest
    idat.append(zlibHeader, 2);
    for (Band &band : bands) {
        idat.append(band.deflated.get(), band.size);
        band.deflated.reset();
    }
    char checksum[4];
    appendBigEndian(checksum, quint32(adler));
    idat.append(checksum, 4);
    to = ChunkWriter(idat.finish(), "IEND").finish();
    Q_ASSERT(to == png.constData() + png.size());
    return png;
}

} // namespace PreviewPng
