// Draws the stock artwork and builds a sample system volume from it.
//   lumora-sample-volume artwork FOLDER
//   lumora-sample-volume volume ROOT ARTWORK_FOLDER [RELEASE]

#include "tools/SampleVolume.h"

#include <QGuiApplication>

#include <cstdio>

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
    std::fprintf(stderr, "usage: lumora-sample-volume artwork FOLDER\n"
                         "       lumora-sample-volume volume ROOT ARTWORK_FOLDER [RELEASE]\n");
    return 64;
}
