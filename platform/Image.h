#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <QByteArray>

#include "platform/JpegTranscode.h"

#include <functional>
#include <memory>

// An image as the settings document holds it: either a reference to a file
// (decoded lazily, on first use) or pixels in memory. A default-constructed
// Image is "no image". Copies share the same decoded pixels.
class Image {
public:
    Image() = default;

    [[nodiscard]] static Image referencingFile(const QString &hostPath);
    [[nodiscard]] static Image fromPixels(const QImage &pixels);

    [[nodiscard]] bool isNull() const { return !d; }
    // True when the image decodes. Decoding is bounded: a file that would
    // need more than the allocation limit is invalid rather than allocated.
    [[nodiscard]] bool isValid() const;
    // The referenced host path; empty for in-memory pixels and no image.
    [[nodiscard]] QString path() const;
    // The decoded pixels; a null QImage when invalid.
    [[nodiscard]] QImage pixels() const;
    // A decode scaled to fit `bounds`, without decoding the full picture
    // where the format allows it (used for display).
    [[nodiscard]] QImage thumbnail(const QSize &bounds) const;
    [[nodiscard]] QSize size() const;
    // True when the pixels are in memory: pixels() and thumbnail() then
    // read no file.
    [[nodiscard]] bool isDecoded() const;

    // The pixels encoded by `encode` as `format`, made once per image and
    // format: comparing a picture with the volume and writing it then cost
    // one encode. Empty when there are no pixels or the encode fails (which
    // is not kept, so a later call tries again).
    //
    // `fromFile`, when given, is tried first for a file whose pixels are not
    // in memory: it encodes straight from the file and stands for one decode
    // and one encode. A file it finds unreadable is an invalid image from
    // then on; one it does not handle goes through `encode` as usual.
    [[nodiscard]] QByteArray encoded(const QByteArray &format,
                                     const std::function<QByteArray(const QImage &)> &encode,
                                     const std::function<JpegTranscode::Result(const QString &)> &fromFile = {}) const;
    // The bytes encoded() made as `format` and keeps; empty when none were
    // made. Never encodes.
    [[nodiscard]] QByteArray keptEncoding(const QByteArray &format) const;
    // Lets go of the decoded pixels of an image read from a file, once a
    // save has written it (the encoded bytes, far smaller, stay); size()
    // still answers without a decode, and pixels() decodes the file again
    // if it is asked for. In-memory pixels, which could not be made again,
    // are kept.
    void release() const;

    // Encodes made so far by all images, to tell how often a save went
    // through the encoder.
    [[nodiscard]] static long encodeCount();
    // Called with the path of every file decoded in full, on the decoding
    // thread; set it only while no image decodes.
    static void setDecodeObserver(std::function<void(const QString &)> observer);

    // The same image object (not equal pixels).
    [[nodiscard]] bool isSameAs(const Image &other) const { return d == other.d; }

    // The largest decode we allow, in MiB of pixels.
    static constexpr int kAllocationLimitMiB = 512;

private:
    struct State;
    std::shared_ptr<State> d;
};
