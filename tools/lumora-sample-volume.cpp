// Draws the stock artwork and builds a sample system volume from it, as a
// folder or as a disk image.
//   lumora-sample-volume artwork FOLDER
//   lumora-sample-volume volume ROOT ARTWORK_FOLDER [RELEASE]
//   lumora-sample-volume image FILE ARTWORK_FOLDER [RELEASE] [--format raw|qcow2] [--size MiB]

#include "tools/SampleImage.h"
#include "tools/SampleVolume.h"

#include <QGuiApplication>

#include <cstdio>
#include <optional>

namespace {

std::optional<SampleImage::Options> imageOptions(const QStringList &args)
{
    SampleImage::Options options;
    bool haveRelease = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--format") && hasValue) {
            const QString value = args[++i];
            if (value == QLatin1String("raw"))
                options.format = SampleImage::Format::Raw;
            else if (value == QLatin1String("qcow2"))
                options.format = SampleImage::Format::Qcow2;
            else
                return std::nullopt;
        } else if (arg == QLatin1String("--size") && hasValue) {
            bool ok = false;
            options.volumeMiB = args[++i].toULongLong(&ok);
            // Up to 1 TiB: the partition map counts 512-byte blocks in 32 bits.
            if (!ok || options.volumeMiB == 0 || options.volumeMiB > (1u << 20))
                return std::nullopt;
        } else if (!arg.startsWith(QLatin1String("--")) && !haveRelease) {
            options.release = arg;
            haveRelease = true;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("artwork"))
        return SampleVolume::drawStockArtwork(args[2]) ? 0 : 1;
    if ((args.size() == 4 || args.size() == 5) && args[1] == QLatin1String("volume")) {
        SampleVolume::Options options;
        options.computerName = QStringLiteral("Lumora Sample Mac");
        if (args.size() == 5)
            options.release = args[4];
        return SampleVolume::build(args[2], args[3], options) ? 0 : 1;
    }
    if (args.size() >= 4 && args[1] == QLatin1String("image")) {
        if (const std::optional<SampleImage::Options> options = imageOptions(args.mid(4)))
            return SampleImage::write(args[2], args[3], *options) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: lumora-sample-volume artwork FOLDER\n"
                         "       lumora-sample-volume volume ROOT ARTWORK_FOLDER [RELEASE]\n"
                         "       lumora-sample-volume image FILE ARTWORK_FOLDER [RELEASE] [--format raw|qcow2] [--size MiB]\n");
    return 64;
}
