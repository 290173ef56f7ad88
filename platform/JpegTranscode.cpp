#include "platform/JpegTranscode.h"

#include <QFile>
#include <QImage>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <csetjmp>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

namespace JpegTranscode {

namespace {

// The decoder's errors jump back out of it; its warnings are noted, since
// a file the decoder has to patch up is not one we reproduce, and one whose
// data is missing or damaged is not a picture we save.
struct ErrorManager : jpeg_error_mgr {
    std::jmp_buf jump;
    bool warned = false;
    bool damaged = false;
};

extern "C" void errorExit(j_common_ptr info)
{
    std::longjmp(static_cast<ErrorManager *>(info->err)->jump, 1);
}

extern "C" void emitMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    auto *errors = static_cast<ErrorManager *>(info->err);
    errors->warned = true;
    switch (errors->msg_code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_JPEG_EOF:
        errors->damaged = true;
        break;
    default:
        break;
    }
}

extern "C" void outputMessage(j_common_ptr) {}

void prepareErrors(ErrorManager &errors)
{
    jpeg_std_error(&errors);
    errors.error_exit = errorExit;
    errors.emit_message = emitMessage;
    errors.output_message = outputMessage;
}

// Reads the file a buffer at a time, or the bytes in memory at once. At
// their end the decoder is handed an end-of-image marker, as Qt's reader
// does, and `ended` remembers that the data ran out.
struct Source : jpeg_source_mgr {
    QFile *file = nullptr;
    const QByteArray *bytes = nullptr;
    bool ended = false;
    JOCTET buffer[64 * 1024];
};

extern "C" void initSource(j_decompress_ptr) {}

extern "C" boolean fillInput(j_decompress_ptr info)
{
    auto *source = static_cast<Source *>(info->src);
    if (source->bytes) {
        const QByteArray *bytes = std::exchange(source->bytes, nullptr);
        source->next_input_byte = reinterpret_cast<const JOCTET *>(bytes->constData());
        source->bytes_in_buffer = size_t(bytes->size());
        return TRUE;
    }
    const qint64 got =
        source->file ? source->file->read(reinterpret_cast<char *>(source->buffer), sizeof source->buffer) : 0;
    source->next_input_byte = source->buffer;
    if (got <= 0) {
        source->ended = true;
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        source->bytes_in_buffer = 2;
    } else {
        source->bytes_in_buffer = size_t(got);
    }
    return TRUE;
}

extern "C" void skipInput(j_decompress_ptr info, long count)
{
    auto *source = static_cast<Source *>(info->src);
    if (count <= 0)
        return;
    while (size_t(count) > source->bytes_in_buffer) {
        count -= long(source->bytes_in_buffer);
        (void)fillInput(info);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= size_t(count);
}

extern "C" void termSource(j_decompress_ptr) {}

// Collects the encoder's output.
struct Destination : jpeg_destination_mgr {
    QByteArray *bytes = nullptr;
    JOCTET buffer[64 * 1024];
};

extern "C" void initDestination(j_compress_ptr info)
{
    auto *destination = static_cast<Destination *>(info->dest);
    destination->next_output_byte = destination->buffer;
    destination->free_in_buffer = sizeof destination->buffer;
}

extern "C" boolean emptyOutput(j_compress_ptr info)
{
    auto *destination = static_cast<Destination *>(info->dest);
    destination->bytes->append(reinterpret_cast<const char *>(destination->buffer), sizeof destination->buffer);
    destination->next_output_byte = destination->buffer;
    destination->free_in_buffer = sizeof destination->buffer;
    return TRUE;
}

extern "C" void termDestination(j_compress_ptr info)
{
    auto *destination = static_cast<Destination *>(info->dest);
    destination->bytes->append(reinterpret_cast<const char *>(destination->buffer),
                               qsizetype(sizeof destination->buffer - destination->free_in_buffer));
}

// Rows in blocks of a fixed number, passed from the decoder to the encoder;
// a few blocks are all there is, so the decoder waits when it runs ahead.
class RowQueue {
public:
    struct Block {
        std::vector<JSAMPLE> samples;
        std::vector<JSAMPROW> rows;
        int count = 0;
    };

    static constexpr int kRowsPerBlock = 16;
    static constexpr int kBlocks = 8;

    explicit RowQueue(std::size_t rowBytes)
        : m_blocks(kBlocks)
    {
        for (Block &block : m_blocks) {
            block.samples.resize(rowBytes * kRowsPerBlock);
            for (int row = 0; row < kRowsPerBlock; ++row)
                block.rows.push_back(block.samples.data() + rowBytes * std::size_t(row));
            m_empty.push_back(&block);
        }
    }

    // An empty block to fill; none once the encoder has given up.
    Block *takeEmpty()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_abandoned || !m_empty.empty(); });
        if (m_abandoned)
            return nullptr;
        Block *block = m_empty.front();
        m_empty.pop_front();
        return block;
    }

    void pushFull(Block *block)
    {
        {
            std::lock_guard lock(m_mutex);
            m_full.push_back(block);
        }
        m_changed.notify_all();
    }

    // No more rows: all of them, or the decode stopped.
    void finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_changed.notify_all();
    }

    // The next block of rows; none when the decoder has finished without
    // sending more.
    Block *takeFull()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_finished || !m_full.empty(); });
        if (m_full.empty())
            return nullptr;
        Block *block = m_full.front();
        m_full.pop_front();
        return block;
    }

    void giveBack(Block *block)
    {
        {
            std::lock_guard lock(m_mutex);
            m_empty.push_back(block);
        }
        m_changed.notify_all();
    }

    void abandon()
    {
        {
            std::lock_guard lock(m_mutex);
            m_abandoned = true;
        }
        m_changed.notify_all();
    }

private:
    std::vector<Block> m_blocks;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Block *> m_empty;
    std::deque<Block *> m_full;
    bool m_finished = false;
    bool m_abandoned = false;
};

// Both library objects live here, where a jump out of the library cannot
// skip their clean-up.
struct Decoder {
    jpeg_decompress_struct info{};
    ErrorManager errors;
    Source source;
    bool created = false;
    // A file of several scans that ran out before its rows were made: a
    // cut between two scans leaves no other trace.
    bool scansCut = false;
    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

struct Encoder {
    jpeg_compress_struct info{};
    ErrorManager errors;
    Destination destination;
    bool created = false;
    ~Encoder()
    {
        if (created)
            jpeg_destroy_compress(&info);
    }
};

// What the picture read through Qt carries into Qt's writer, besides its rows.
struct Picture {
    int width = 0;
    int height = 0;
    bool gray = false;
    int dotsPerMeterX = 0;
    int dotsPerMeterY = 0;
};

// Reads from `file`, or else from `bytes`.
bool readHeader(Decoder &decoder, QFile *file, const QByteArray *bytes = nullptr)
{
    Source &source = decoder.source;
    source.file = file;
    source.bytes = bytes;
    source.init_source = initSource;
    source.fill_input_buffer = fillInput;
    source.skip_input_data = skipInput;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = termSource;
    source.next_input_byte = nullptr;
    source.bytes_in_buffer = 0;
    if (setjmp(decoder.errors.jump))
        return false;
    jpeg_create_decompress(&decoder.info);
    decoder.created = true;
    decoder.info.src = &source;
    // The markers Qt's reader looks at.
    jpeg_save_markers(&decoder.info, JPEG_COM, 0xFFFF);
    jpeg_save_markers(&decoder.info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&decoder.info, JPEG_APP0 + 2, 0xFFFF);
    (void)jpeg_read_header(&decoder.info, TRUE);
    jpeg_calc_output_dimensions(&decoder.info);
    return true;
}

// True when every orientation in an Exif block says the picture is stored
// upright (or there is none), so the reader would not turn it. Anything it
// cannot follow counts as turned.
bool exifLeavesUpright(const JOCTET *data, std::size_t size)
{
    if (size < 6 || std::memcmp(data, "Exif\0\0", 6) != 0)
        return true;
    const JOCTET *tiff = data + 6;
    const std::size_t length = size - 6;
    if (length < 8)
        return false;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return false;
    const auto read16 = [&](std::size_t at) {
        return little ? unsigned(tiff[at]) | unsigned(tiff[at + 1]) << 8 : unsigned(tiff[at]) << 8 | unsigned(tiff[at + 1]);
    };
    const auto read32 = [&](std::size_t at) {
        return little ? read16(at) | read16(at + 2) << 16 : read16(at) << 16 | read16(at + 2);
    };
    if (read16(2) != 0x2a)
        return false;
    std::size_t offset = read32(4);
    for (int ifd = 0; ifd < 10; ++ifd) {
        if (offset < 8 || offset + 2 > length)
            return false;
        const std::size_t entries = read16(offset);
        const std::size_t next = offset + 2 + entries * 12;
        if (next + 4 > length)
            return false;
        for (std::size_t entry = offset + 2; entry < next; entry += 12) {
            if (read16(entry) == 0x0112 && (read16(entry + 2) != 3 || read32(entry + 4) != 1 || read16(entry + 8) != 1))
                return false;
        }
        offset = read32(next);
        if (offset == 0)
            return true;
    }
    return false;
}

// The picture as Qt's reader would give it, when this is a file whose
// decode and encode we reproduce exactly.
std::optional<Picture> reproducible(const jpeg_decompress_struct &info, int allocationLimitMiB)
{
    if (info.data_precision != 8 || info.scale_num != info.scale_denom)
        return std::nullopt;
    Picture picture;
    if (info.jpeg_color_space == JCS_YCbCr && info.num_components == 3 && info.out_color_space == JCS_RGB
        && info.output_components == 3)
        picture.gray = false;
    else if (info.jpeg_color_space == JCS_GRAYSCALE && info.num_components == 1
             && info.out_color_space == JCS_GRAYSCALE && info.output_components == 1)
        picture.gray = true;
    else
        return std::nullopt;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        // Comments become the picture's text and a profile its colour
        // space, both written back by Qt in ways of its own.
        if (marker->marker == JPEG_COM || marker->marker == JPEG_APP0 + 2)
            return std::nullopt;
        if (marker->marker == JPEG_APP0 + 1 && !exifLeavesUpright(marker->data, marker->data_length))
            return std::nullopt;
    }
    picture.width = int(info.output_width);
    picture.height = int(info.output_height);
    // The reader's allocation: 32-bit pixels, or 8-bit grey rows padded to
    // four bytes.
    const qint64 rowBytes = picture.gray ? (qint64(picture.width) + 3) / 4 * 4 : qint64(picture.width) * 4;
    if (picture.width <= 0 || picture.height <= 0 || rowBytes * picture.height > qint64(allocationLimitMiB) << 20)
        return std::nullopt;

    // The density a read picture has: the file's, or a new image's.
    const QImage fresh(1, 1, picture.gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    picture.dotsPerMeterX = fresh.dotsPerMeterX();
    picture.dotsPerMeterY = fresh.dotsPerMeterY();
    if (info.density_unit == 1 || info.density_unit == 2) {
        if (info.X_density == 0 || info.Y_density == 0)
            return std::nullopt;
        const double perMeter = info.density_unit == 1 ? 100. / 2.54 : 100.;
        picture.dotsPerMeterX = int(perMeter * info.X_density);
        picture.dotsPerMeterY = int(perMeter * info.Y_density);
    }
    return picture;
}

// Qt's writer: the density in whichever unit holds it with less rounding.
void setDensity(jpeg_compress_struct &info, const Picture &picture)
{
    const double x = picture.dotsPerMeterX;
    const double y = picture.dotsPerMeterY;
    const double inchX = x * 2.54 / 100.;
    const double inchY = y * 2.54 / 100.;
    const double diffInch = qAbs(inchX - qRound(inchX)) + qAbs(inchY - qRound(inchY));
    const double diffCm = (qAbs(x / 100. - qRound(x / 100.)) + qAbs(y / 100. - qRound(y / 100.))) * 2.54;
    if (diffInch < diffCm) {
        info.density_unit = 1;
        info.X_density = UINT16(qRound(inchX));
        info.Y_density = UINT16(qRound(inchY));
    } else {
        info.density_unit = 2;
        info.X_density = UINT16((picture.dotsPerMeterX + 50) / 100);
        info.Y_density = UINT16((picture.dotsPerMeterY + 50) / 100);
    }
}

// False when the decoder gave up; a warning stops it early and is left in
// its error manager.
bool decodeRows(Decoder &decoder, RowQueue &queue)
{
    if (setjmp(decoder.errors.jump))
        return false;
    jpeg_decompress_struct &info = decoder.info;
    (void)jpeg_start_decompress(&info);
    decoder.scansCut = decoder.source.ended && jpeg_has_multiple_scans(&info);
    while (info.output_scanline < info.output_height && !decoder.errors.warned) {
        RowQueue::Block *block = queue.takeEmpty();
        if (!block)
            return true;
        block->count = 0;
        while (block->count < RowQueue::kRowsPerBlock && info.output_scanline < info.output_height)
            block->count += int(jpeg_read_scanlines(&info, block->rows.data() + block->count,
                                                    JDIMENSION(RowQueue::kRowsPerBlock - block->count)));
        queue.pushFull(block);
    }
    if (!decoder.errors.warned)
        (void)jpeg_finish_decompress(&info);
    return true;
}

// Qt's writer, step for step, over the rows the queue brings. False when it
// gave up or the rows stopped coming.
bool encodeRows(Encoder &encoder, const Picture &picture, int quality, RowQueue &queue)
{
    if (setjmp(encoder.errors.jump))
        return false;
    jpeg_compress_struct &info = encoder.info;
    jpeg_create_compress(&info);
    encoder.created = true;
    info.dest = &encoder.destination;
    info.image_width = JDIMENSION(picture.width);
    info.image_height = JDIMENSION(picture.height);
    info.input_components = picture.gray ? 1 : 3;
    info.in_color_space = picture.gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    setDensity(info, picture);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        RowQueue::Block *block = queue.takeFull();
        if (!block)
            return false;
        (void)jpeg_write_scanlines(&info, block->rows.data(), JDIMENSION(block->count));
        queue.giveBack(block);
    }
    jpeg_finish_compress(&info);
    return true;
}

// The rows straight into the image; false when the decoder gave up or
// spoke.
bool decodeInto(Decoder &decoder, QImage &image)
{
    if (setjmp(decoder.errors.jump))
        return false;
    jpeg_decompress_struct &info = decoder.info;
    (void)jpeg_start_decompress(&info);
    decoder.scansCut = decoder.source.ended && jpeg_has_multiple_scans(&info);
    if (decoder.scansCut)
        return false;
    while (info.output_scanline < info.output_height && !decoder.errors.warned) {
        JSAMPROW row = image.scanLine(int(info.output_scanline));
        (void)jpeg_read_scanlines(&info, &row, 1);
    }
    if (decoder.errors.warned)
        return false;
    (void)jpeg_finish_decompress(&info);
    return !decoder.errors.warned;
}

} // namespace

QImage decode(const QByteArray &bytes, int allocationLimitMiB, bool *damaged)
{
    if (damaged)
        *damaged = false;
    if (bytes.size() < 2 || uchar(bytes[0]) != 0xFF || uchar(bytes[1]) != 0xD8)
        return {};
    auto decoder = std::make_unique<Decoder>();
    decoder->info.err = &decoder->errors;
    prepareErrors(decoder->errors);
    const auto refuse = [&] {
        if (damaged)
            *damaged = decoder->errors.damaged || decoder->scansCut;
        return QImage();
    };
    if (!readHeader(*decoder, nullptr, &bytes)) {
        // As for transcode(): a JPEG whose header cannot be read is no picture.
        if (damaged)
            *damaged = true;
        return QImage();
    }
    const std::optional<Picture> picture = decoder->errors.warned ? std::nullopt
                                                                  : reproducible(decoder->info, allocationLimitMiB);
    if (!picture)
        return refuse();
    // The decoder writes the pixels in the order QImage keeps them, alpha
    // (always opaque here) included.
    if (!picture->gray)
        decoder->info.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;
    QImage image(picture->width, picture->height, picture->gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull() || !decodeInto(*decoder, image))
        return refuse();
    image.setDotsPerMeterX(picture->dotsPerMeterX);
    image.setDotsPerMeterY(picture->dotsPerMeterY);
    return image;
}

Result transcode(const QString &path, int quality, int allocationLimitMiB)
{
    QFile file(path);
    char signature[2];
    if (!file.open(QIODevice::ReadOnly) || file.peek(signature, 2) != 2 || uchar(signature[0]) != 0xFF
        || uchar(signature[1]) != 0xD8)
        return {};

    auto decoder = std::make_unique<Decoder>();
    decoder->info.err = &decoder->errors;
    prepareErrors(decoder->errors);
    if (!readHeader(*decoder, &file) || decoder->errors.damaged)
        return {Outcome::Unreadable, {}};
    if (decoder->errors.warned)
        return {};
    const std::optional<Picture> picture = reproducible(decoder->info, allocationLimitMiB);
    if (!picture)
        return {};

    QByteArray bytes;
    auto encoder = std::make_unique<Encoder>();
    encoder->info.err = &encoder->errors;
    prepareErrors(encoder->errors);
    encoder->destination.bytes = &bytes;
    encoder->destination.init_destination = initDestination;
    encoder->destination.empty_output_buffer = emptyOutput;
    encoder->destination.term_destination = termDestination;

    RowQueue queue(std::size_t(picture->width) * (picture->gray ? 1 : 3));
    bool encoded = false;
    std::thread encoding([&] {
        encoded = encodeRows(*encoder, *picture, quality, queue);
        if (!encoded)
            queue.abandon();
    });
    const bool decoded = decodeRows(*decoder, queue);
    queue.finish();
    encoding.join();

    if (!decoded || decoder->errors.damaged || decoder->scansCut)
        return {Outcome::Unreadable, {}};
    if (decoder->errors.warned)
        return {};
    if (!encoded)
        return {};
    return {Outcome::Encoded, bytes};
}

} // namespace JpegTranscode
