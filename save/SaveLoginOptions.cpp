// The login options: typed values of the login window's domain, each
// written or removed with one run of the preference tool.

#include "save/SaveOperations.h"

#include "platform/LoginWindow.h"
#include "platform/Log.h"
#include "platform/PreferenceDomain.h"
#include "privileged/Staging.h"

bool SaveOperations::savePreference(const QString &key, const std::optional<QStringList> &typedValue) const
{
    bool saved = true;
    if (typedValue) {
        saved = m_staging.writePreference(key, *typedValue);
    } else {
        // Read quietly: the load that follows logs a missing domain.
        const auto domain = persistentDomainForName(m_staging.volume(), LoginWindow::kDomain);
        if (!domain || !domain->contains(key))
            return true;
        saved = m_staging.deletePreference(key);
    }
    if (!saved)
        Log::write(QStringLiteral("Failed to save login option %1").arg(key));
    return saved;
}

bool SaveOperations::saveBooleanPreference(const QString &key, std::optional<bool> value) const
{
    return savePreference(key, value ? std::optional<QStringList>({QStringLiteral("-bool"),
                                                                   *value ? QStringLiteral("YES") : QStringLiteral("NO")})
                                     : std::nullopt);
}

bool SaveOperations::saveCountPreference(const QString &key, std::optional<std::int32_t> value) const
{
    return savePreference(key, value ? std::optional<QStringList>({QStringLiteral("-int"), QString::number(*value)})
                                     : std::nullopt);
}
