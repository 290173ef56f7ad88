// The controller's staging, backup and save commands: each setting hands
// the document's value to the operation of its layer (SettingModel).

#include "controller/LumoraLogin.h"
#include "controller/SettingModel.h"

#include "privileged/Staging.h"
#include "save/SaveOperations.h"
#include "save/StockLook.h"

Staging LumoraLogin::staging() const
{
    return Staging(m_context.volume, m_context.bundle, m_context.defaults, m_context.authorization);
}

// --- Staging, backups and modes ---

QString LumoraLogin::applicationSupportPath() { return Staging::applicationSupportPath(); }

QString LumoraLogin::tempFilePathWithName(const std::optional<QString> &name)
{
    return Staging::tempFilePathWithName(name);
}

QString LumoraLogin::backupPathForPath(const QString &path) { return Staging::backupPathForPath(path); }

bool LumoraLogin::backupFile(const QString &path, bool withAuthorization, const QString &defaultsKey)
{
    return staging().backupFile(path, withAuthorization, defaultsKey);
}

QString LumoraLogin::backupMadeKey(const QString &defaultsKey) const { return staging().backupMadeKey(defaultsKey); }

bool LumoraLogin::copyIntoPlace(const QString &source, const QString &destination)
{
    return staging().copyIntoPlace(source, destination);
}

bool LumoraLogin::createApplicationSupportPath() { return staging().createApplicationSupportPath(); }

int LumoraLogin::removeLeftovers() { return staging().removeLeftovers(); }

bool LumoraLogin::setMode(const QString &mode, const QString &path) { return staging().setMode(mode, path); }

QString LumoraLogin::preferenceToolPath() const { return staging().preferenceToolPath(); }

// --- Save operations ---

bool LumoraLogin::saveSetting(Setting setting)
{
    const Staging s = staging();
    return settingModel(setting).save(*this, SaveOperations(s));
}

// --- Restore Default Look ---

void LumoraLogin::defaults()
{
    const StockLook look = StockLook::of(m_context.volume, m_context.bundle);
    for (const SettingModel *model : settingModels())
        setValue(model->setting(), model->stock(look));
    // After the background's setter, which clears it.
    setShouldRevertBackground(true);
}
