// Whether the document's marked settings already hold on the volume: the
// document is compared, not the request, so Restore's stock look is judged
// by whatever defaults() filled in.

#include "controller/LookComparison.h"

#include "controller/LumoraLogin.h"

QList<MarkedSetting> compareMarkedSettings(const LumoraLogin &document)
{
    const Volume &volume = document.context().volume;
    QList<MarkedSetting> settings;
    if (document.logoDirty())
        settings.append({QStringLiteral("logo"), SaveComparison::logo(volume, document.logo())});
    if (document.titleDirty())
        settings.append({QStringLiteral("title"), SaveComparison::title(volume, document.title())});
    if (document.backgroundDirty()) {
        settings.append({QStringLiteral("background"),
                         document.shouldRevertBackground()
                             ? SaveComparison::revertedBackground(volume, document.background(), document.isTiger())
                             : SaveComparison::background(volume, document.background())});
    }
    if (document.messageDirty())
        settings.append({QStringLiteral("message"),
                         SaveComparison::message(volume, document.message().value_or(QString()))});
    if (document.hostInfoTagDirty())
        settings.append({QStringLiteral("host information"), SaveComparison::hostInfo(volume, document.hostInfoTag())});
    return settings;
}

int unmarkSettingsThatHold(LumoraLogin &document, const QList<MarkedSetting> &settings)
{
    int marked = 0;
    for (const MarkedSetting &setting : settings) {
        if (!setting.comparison.holds) {
            ++marked;
            continue;
        }
        if (setting.name == QLatin1String("logo"))
            document.setLogoDirty(false);
        else if (setting.name == QLatin1String("title"))
            document.setTitleDirty(false);
        else if (setting.name == QLatin1String("background"))
            document.setBackgroundDirty(false);
        else if (setting.name == QLatin1String("message"))
            document.setMessageDirty(false);
        else if (setting.name == QLatin1String("host information"))
            document.setHostInfoTagDirty(false);
    }
    return marked;
}
