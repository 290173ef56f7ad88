#include "platform/PictureAdjustments.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One pass of a box blur of `radius` along a line of `count` pixels, `step`
// apart, the edge pixels repeated beyond the ends. A running sum keeps it
// linear in the pixels whatever the radius.
void boxLine(QRgb *line, int count, qsizetype step, int radius, std::vector<QRgb> &scratch)
{
    scratch.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        scratch[size_t(i)] = line[qsizetype(i) * step];
    auto at = [&scratch, count](int i) { return scratch[size_t(std::clamp(i, 0, count - 1))]; };
    const int width = 2 * radius + 1;
    int r = 0;
    int g = 0;
    int b = 0;
    for (int i = -radius; i <= radius; ++i) {
        const QRgb p = at(i);
        r += qRed(p);
        g += qGreen(p);
        b += qBlue(p);
    }
    for (int i = 0; i < count; ++i) {
        line[qsizetype(i) * step] = qRgb((r + width / 2) / width, (g + width / 2) / width, (b + width / 2) / width);
        const QRgb out = at(i - radius);
        const QRgb in = at(i + radius + 1);
        r += qRed(in) - qRed(out);
        g += qGreen(in) - qGreen(out);
        b += qBlue(in) - qBlue(out);
    }
}

// Three box passes each way come close to a Gaussian; together they reach
// about `radius` pixels to each side.
void blur(QImage &image, int radius)
{
    const int box = std::max(1, (radius + 2) / 3);
    const int w = image.width();
    const int h = image.height();
    const qsizetype stride = image.bytesPerLine() / qsizetype(sizeof(QRgb));
    std::vector<QRgb> scratch;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y)
            boxLine(reinterpret_cast<QRgb *>(image.scanLine(y)), w, 1, box, scratch);
        QRgb *top = reinterpret_cast<QRgb *>(image.bits());
        for (int x = 0; x < w; ++x)
            boxLine(top + x, h, stride, box, scratch);
    }
}

void darken(QImage &image, int percent)
{
    // Fixed point: each channel times (100 - percent) / 100, rounded.
    const int keep = 100 - percent;
    for (int y = 0; y < image.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgb((qRed(p) * keep + 50) / 100, (qGreen(p) * keep + 50) / 100, (qBlue(p) * keep + 50) / 100);
        }
    }
}

} // namespace

QSize PictureAdjustments::fittedSize(const QSize &size, const QSize &screen)
{
    if (size.isEmpty() || screen.isEmpty())
        return size;
    const double scale = std::max(double(screen.width()) / size.width(), double(screen.height()) / size.height());
    if (scale >= 1.0)
        return size;
    // The side that decides the scale comes out exactly at the screen's; the
    // other is rounded and never falls below the screen's.
    const bool byWidth = double(screen.width()) / size.width() >= double(screen.height()) / size.height();
    if (byWidth)
        return {screen.width(), std::max(screen.height(), int(std::lround(size.height() * scale)))};
    return {std::max(screen.width(), int(std::lround(size.width() * scale))), screen.height()};
}

QImage PictureAdjustments::apply(const QImage &picture, const PictureAdjustments &adjustments)
{
    if (picture.isNull() || adjustments.isNone())
        return picture;
    // A login background is opaque: the login window draws nothing under it.
    QImage image = picture.convertToFormat(QImage::Format_RGB32);
    if (adjustments.fit) {
        const QSize fitted = fittedSize(image.size(), *adjustments.fit);
        if (fitted != image.size())
            image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_RGB32);
    }
    const int percent = std::clamp(adjustments.darkenPercent, 0, kMaxDarken);
    if (percent > 0)
        darken(image, percent);
    const int radius = std::clamp(adjustments.blurRadius, 0, kMaxBlur);
    if (radius > 0 && !image.isNull())
        blur(image, radius);
    return image;
}

bool PictureAdjustments::worthFitting(const QSize &size, const QSize &screen)
{
    return !screen.isEmpty() && size.width() > 2 * screen.width() && size.height() > 2 * screen.height();
}
