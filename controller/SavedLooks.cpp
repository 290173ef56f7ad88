#include "controller/SavedLooks.h"

#include "controller/LookComparison.h"
#include "controller/LumoraLogin.h"
#include "controller/SettingModel.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "platform/VolumePath.h"
#include "privileged/Staging.h"

#include <QFileInfo>

#include <algorithm>

namespace {

Staging stagingOf(const LumoraLogin &document)
{
    const LumoraContext &context = document.context();
    return Staging(context.volume, context.bundle, context.defaults, context.authorization);
}

} // namespace

namespace SavedLooks {

LookHistory::Look current(const LumoraLogin &document)
{
    LookHistory::Look look;
    const Clock *clock = document.context().clock;
    look.saved = (clock ? clock->now() : QDateTime::currentDateTime()).toUTC();
    const auto domain = LoginWindow::domain(document.context().volume);
    for (const SettingModel *model : settingModels()) {
        const SettingValue value = model->current(document.context().volume);
        const QString key = model->key();
        if (const auto *image = std::get_if<Image>(&value)) {
            // Without DesktopPicture the login window shows the release's
            // own picture: a restore puts that back, as the stock look does.
            if (model->setting() == Setting::Background
                && !(domain && domain->contains(LoginWindow::kDesktopPictureKey)))
                continue;
            if (!image->path().isEmpty() && QFileInfo(image->path()).isFile())
                look.pictures.insert(key, volumePathOf(document.context().volume, image->path()).value_or(image->path()));
        } else if (const auto *text = std::get_if<std::optional<QString>>(&value)) {
            if (*text)
                look.values.insert(key, **text);
        } else if (const auto *tag = std::get_if<std::int32_t>(&value)) {
            look.values.insert(key, *tag);
        } else if (const auto *option = std::get_if<OptionValue>(&value); option && *option) {
            look.values.insert(key, **option);
        }
    }
    return look;
}

bool keepCurrent(const LumoraLogin &document)
{
    // A save that changes nothing replaces no look; nor does a picture that
    // does not decode, whose step stops before it writes it.
    const QList<MarkedSetting> marked = compareMarkedSettings(document);
    const auto replaces = [&document](const MarkedSetting &setting) {
        if (setting.comparison.holds)
            return false;
        const auto *picture = std::get_if<Image>(&document.document().value(setting.setting));
        const bool reverting = setting.setting == Setting::Background && document.shouldRevertBackground();
        return !picture || reverting || picture->isValid();
    };
    if (std::none_of(marked.cbegin(), marked.cend(), replaces))
        return true;
    const Staging staging = stagingOf(document);
    return LookHistory(staging).keep(current(document), keptCount(document));
}

QList<LookHistory::Look> list(const LumoraLogin &document, QStringList *refused)
{
    const Staging staging = stagingOf(document);
    return LookHistory(staging).list(refused);
}

std::optional<LookHistory::Look> read(const LumoraLogin &document, const QString &id, QString *why)
{
    const Staging staging = stagingOf(document);
    return LookHistory(staging).read(id, why);
}

bool restore(LumoraLogin &document, const QString &id, QString *why)
{
    const auto look = read(document, id, why);
    if (!look)
        return false;
    fill(document, *look);
    return true;
}

void fill(LumoraLogin &document, const LookHistory::Look &chosen)
{
    const LookHistory::Look *look = &chosen;
    bool revertBackground = false;
    for (const SettingModel *model : settingModels()) {
        const QString key = model->key();
        const SettingValue initial = model->initial();
        if (std::holds_alternative<Image>(initial)) {
            if (look->pictures.contains(key)) {
                document.document().setValue(model->setting(), Image::referencingFile(look->pictures.value(key)));
            } else if (model->setting() == Setting::Background) {
                document.document().setValue(model->setting(),
                                  Image::referencingFile(document.originalBackgroundPath().value_or(QString())));
                revertBackground = true;
            }
            // A logo or title the volume did not have stays as it is.
        } else if (std::holds_alternative<std::optional<QString>>(initial)) {
            document.document().setValue(model->setting(), look->values.contains(key)
                                                    ? std::optional<QString>(look->values.value(key).toString())
                                                    : std::optional<QString>());
        } else if (std::holds_alternative<std::int32_t>(initial)) {
            document.document().setValue(model->setting(), look->values.contains(key)
                                                    ? SettingValue(std::int32_t(look->values.value(key).toInt()))
                                                    : initial);
        } else {
            document.document().setValue(model->setting(), look->values.contains(key)
                                                    ? OptionValue(look->values.value(key).toInt())
                                                    : OptionValue());
        }
    }
    // After the background's setter, which clears it.
    if (revertBackground)
        document.setShouldRevertBackground(true);
}

int keptCount(const LumoraLogin &document)
{
    const UserDefaults *defaults = document.context().defaults;
    bool ok = false;
    const int kept = defaults ? defaults->objectForKey(LookHistory::kKeptKey).toInt(&ok) : 0;
    return ok && kept >= 1 ? std::min(kept, LookHistory::kMaxKept) : LookHistory::kDefaultKept;
}

} // namespace SavedLooks
