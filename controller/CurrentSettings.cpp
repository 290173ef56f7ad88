// Reading what the login window shows now: each setting's model reads its
// own place on the volume.

#include "controller/LumoraLogin.h"
#include "controller/SettingModel.h"

#include "platform/VolumeImages.h"
#include "save/StockLook.h"

QString LumoraLogin::currentBackgroundPath() const
{
    return ::currentBackgroundPath(m_context.volume);
}

std::optional<QString> LumoraLogin::currentMessage() const
{
    return std::get<std::optional<QString>>(settingModel(Setting::Message).current(m_context.volume));
}

std::int32_t LumoraLogin::currentHostInfoTag() const
{
    return std::get<std::int32_t>(settingModel(Setting::HostInfo).current(m_context.volume));
}

QString LumoraLogin::hostInfoValueForTag(std::int32_t tag)
{
    return LoginWindow::hostInfoValueForTag(tag);
}

std::optional<QString> LumoraLogin::originalBackgroundPath() const
{
    return StockLook::originalBackgroundPath(m_context.volume, m_context.bundle);
}

std::optional<QString> LumoraLogin::pathForResource(const QString &fileName) const
{
    return m_context.bundle.pathForResource(fileName);
}

Image LumoraLogin::loadImageAtPath(const QString &path, bool tryingOtherFormats)
{
    // A host path is a path on the volume "/".
    return VolumeImages::load(VolumeResolver(Volume()), path, tryingOtherFormats);
}

void LumoraLogin::loadCurrentSettings()
{
    m_unreadableReason = ::unreadableReason(m_context.volume);
    // Each setting through the document's setter, then its flag cleared, in
    // Save's order; every file is looked up within the volume.
    for (const SettingModel *model : settingModels()) {
        m_document.setValue(model->setting(), model->current(m_context.volume));
        m_document.setChanged(model->setting(), false);
    }
    m_document.setDirty(false);
}
