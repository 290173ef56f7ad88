// Reading what the login window shows now: its preference domain, the
// login agent's images and the default background of the release.

#include "controller/LumoraLogin.h"
#include "controller/SettingModel.h"

#include "platform/PreferenceDomain.h"
#include "platform/VolumeImages.h"
#include "save/StockLook.h"

#include <QCoreApplication>

bool LumoraLogin::isTiger() const
{
    return LoginWindow::isTiger(m_context.volume);
}

QString LumoraLogin::currentBackgroundPath() const
{
    if (const auto domain = LoginWindow::domain(m_context.volume)) {
        if (auto path = stringValue(*domain, LoginWindow::kDesktopPictureKey))
            return *path;
    }
    return isTiger() ? LoginWindow::kTigerDefaultBackground : LoginWindow::kDefaultBackground;
}

std::optional<QString> LumoraLogin::currentMessage() const
{
    return LoginWindow::currentMessage(m_context.volume);
}

std::int32_t LumoraLogin::currentHostInfoTag() const
{
    const auto domain = LoginWindow::domain(m_context.volume);
    return hostInfoTagForValue(domain ? stringValue(*domain, LoginWindow::kHostInfoKey) : std::nullopt);
}

std::int32_t LumoraLogin::hostInfoTagForValue(const std::optional<QString> &value)
{
    return LoginWindow::hostInfoTagForValue(value);
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

QString LumoraLogin::readUnreadableReason() const
{
    const DictionaryProblem problem = LoginWindow::domainProblem(m_context.volume);
    if (problem == DictionaryProblem::None || problem == DictionaryProblem::Missing)
        return {};
    return QCoreApplication::translate("Lumora", "The login window's preferences (%1) cannot be read: %2.")
        .arg(LoginWindow::kDomain + QStringLiteral(".plist"), problemText(problem));
}

void LumoraLogin::loadCurrentSettings()
{
    m_unreadableReason = readUnreadableReason();
    // Each setting through its setter, then its flag cleared, in Save's
    // order; every file is looked up within the volume.
    for (const SettingModel *model : settingModels()) {
        setValue(model->setting(), model->current(*this));
        setChanged(model->setting(), false);
    }
    setDirty(false);
}
