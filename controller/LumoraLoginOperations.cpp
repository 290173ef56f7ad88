// The controller's staging, backup and save commands: each hands the
// document's value to the operation of its layer.

#include "controller/LumoraLogin.h"

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

bool LumoraLogin::saveMessage()
{
    // The document holds what the user typed; the view only edits it.
    const Staging s = staging();
    return SaveOperations(s).saveMessage(m_message.value_or(QString()));
}

bool LumoraLogin::saveHostInfo()
{
    const Staging s = staging();
    return SaveOperations(s).saveHostInfo(m_hostInfoTag);
}

QByteArray LumoraLogin::jpgDataForBackground() const { return SaveOperations::jpgDataForBackground(m_background); }

bool LumoraLogin::setBackgroundInDefaults(const std::optional<QString> &path)
{
    const Staging s = staging();
    return SaveOperations(s).setBackgroundInDefaults(path);
}

bool LumoraLogin::saveBackground()
{
    const Staging s = staging();
    return SaveOperations(s).saveBackground(m_background, m_shouldRevertBackground,
                                            m_shouldRevertBackground && isTiger());
}

bool LumoraLogin::saveBackgroundInTiger()
{
    const Staging s = staging();
    return SaveOperations(s).saveBackgroundInTiger(m_background);
}

bool LumoraLogin::saveLogo()
{
    const Staging s = staging();
    return SaveOperations(s).saveLogo(m_logo);
}

bool LumoraLogin::saveTitle()
{
    const Staging s = staging();
    return SaveOperations(s).saveTitle(m_title);
}

void LumoraLogin::removeOtherFormatsForFile(const QString &path)
{
    const Staging s = staging();
    SaveOperations(s).removeOtherFormatsForFile(path);
}

// --- Restore Default Look ---

void LumoraLogin::defaults()
{
    const StockLook look = StockLook::of(m_context.volume, m_context.bundle);
    setLogo(Image::referencingFile(look.logo));
    setTitle(Image::referencingFile(look.title));
    setBackground(Image::referencingFile(look.background.value_or(QString())));
    // After setBackground, which clears it.
    setShouldRevertBackground(true);
    setMessage(look.message);
    setHostInfoTag(look.hostInfoTag);
}
