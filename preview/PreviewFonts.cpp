#include "preview/PreviewFonts.h"

#include "platform/Log.h"

#include <QFontDatabase>
#include <QStringList>

#include <mutex>

namespace {

struct Loaded {
    QString family = QStringLiteral("DejaVu Sans");
    bool ok = false;
};

const Loaded &loadOnce()
{
    static Loaded loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        const QString folder = QString::fromLatin1(PreviewFonts::kFolder);
        bool ok = true;
        for (const char *file : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"}) {
            const int id = QFontDatabase::addApplicationFont(folder + QLatin1Char('/') + QLatin1String(file));
            const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
            if (families.isEmpty())
                ok = false;
            else
                loaded.family = families.first();
        }
        loaded.ok = ok;
        if (!ok)
            Log::write(QStringLiteral("Unable to load the preview fonts from %1").arg(folder));
    });
    return loaded;
}

} // namespace

namespace PreviewFonts {

QFont font(int pixelSize, bool bold)
{
    QFont font(loadOnce().family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    // Hinting and subpixel order depend on the machine's settings; plain
    // grey antialiasing does not.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    font.setKerning(true);
    return font;
}

bool loaded()
{
    return loadOnce().ok;
}

} // namespace PreviewFonts
