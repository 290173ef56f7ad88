#include "platform/Image.h"

#include <QImageReader>

struct Image::State {
    QString path;
    mutable bool decoded = false;
    mutable QImage pixels;
};

namespace {

void prepareReader(QImageReader &reader)
{
    reader.setAllocationLimit(Image::kAllocationLimitMiB);
    reader.setAutoTransform(true);
}

} // namespace

Image Image::referencingFile(const QString &hostPath)
{
    Image image;
    image.d = std::make_shared<State>();
    image.d->path = hostPath;
    return image;
}

Image Image::fromPixels(const QImage &pixels)
{
    Image image;
    image.d = std::make_shared<State>();
    image.d->decoded = true;
    image.d->pixels = pixels;
    return image;
}

QString Image::path() const
{
    return d ? d->path : QString();
}

QImage Image::pixels() const
{
    if (!d)
        return {};
    if (!d->decoded) {
        d->decoded = true;
        if (!d->path.isEmpty()) {
            QImageReader reader(d->path);
            prepareReader(reader);
            d->pixels = reader.read();
        }
    }
    return d->pixels;
}

bool Image::isValid() const
{
    return !pixels().isNull();
}

QSize Image::size() const
{
    if (!d)
        return {};
    if (d->decoded)
        return d->pixels.size();
    QImageReader reader(d->path);
    prepareReader(reader);
    return reader.size();
}

QImage Image::thumbnail(const QSize &bounds) const
{
    if (!d)
        return {};
    if (d->decoded || d->path.isEmpty()) {
        if (d->pixels.isNull())
            return {};
        return d->pixels.size().boundedTo(bounds) == d->pixels.size()
                   ? d->pixels
                   : d->pixels.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    QImageReader reader(d->path);
    prepareReader(reader);
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > bounds.width() || full.height() > bounds.height()))
        reader.setScaledSize(full.scaled(bounds, Qt::KeepAspectRatio));
    return reader.read();
}
