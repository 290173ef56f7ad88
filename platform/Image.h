#pragma once

#include <QImage>
#include <QSize>
#include <QString>

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

    // The same image object (not equal pixels).
    [[nodiscard]] bool isSameAs(const Image &other) const { return d == other.d; }

    // The largest decode we allow, in MiB of pixels.
    static constexpr int kAllocationLimitMiB = 512;

private:
    struct State;
    std::shared_ptr<State> d;
};
