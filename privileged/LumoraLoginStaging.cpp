// Groundwork of the save operations: staging files in the user's own
// support folder, one-time backups of stock system files, the shared
// support folder on the volume, and file modes.

#include "app/LumoraLogin.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString LumoraLogin::applicationSupportPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/Lumora Login");
}

QString LumoraLogin::tempFilePathWithName(const std::optional<QString> &name)
{
    const QString folder = applicationSupportPath();
    if (!QFileInfo::exists(folder) && !QDir().mkpath(folder))
        Log::write(QStringLiteral("Failed to create directory: %1").arg(folder));
    return folder + QLatin1Char('/') + name.value_or(QStringLiteral("image"));
}

QString LumoraLogin::backupPathForPath(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) // no extension (or only a leading dot)
        return path + QStringLiteral("_Original");
    return path.left(dot) + QStringLiteral("_Original") + path.mid(dot);
}

bool LumoraLogin::backupFile(const QString &path, bool withAuthorization, const QString &defaultsKey)
{
    UserDefaults &defaults = *m_context.defaults;
    if (defaults.boolForKey(defaultsKey))
        return true;

    const QString file = m_context.volume.hostPath(path);
    if (QFileInfo::exists(file)) {
        const QString backup = backupPathForPath(file);
        if (!QFileInfo::exists(backup)) {
            const bool copied = withAuthorization
                                    ? m_context.authorization->executeTool(QStringLiteral("/bin/cp"), file,
                                                                           backup, std::nullopt)
                                    : QFile::copy(file, backup);
            // Only a backup that is really there lets the caller go on to
            // replace the stock file.
            if (!copied || !QFileInfo::exists(backup)) {
                // The key stays NO so that the next save tries again.
                Log::write(QStringLiteral("Unable to backup file for key %1").arg(defaultsKey));
                return false;
            }
        }
    }
    defaults.setBool(defaultsKey, true);
    return true;
}

bool LumoraLogin::createApplicationSupportPath()
{
    const QString folder = m_context.volume.hostPath(LoginWindow::kSharedSupportFolder);
    auto isFolder = [&folder] { return QFileInfo(folder).isDir(); };
    if (isFolder())
        return true;
    QDir().mkdir(folder);
    if (!isFolder()) {
        (void)m_context.authorization->executeTool(QStringLiteral("/bin/mkdir"), QStringLiteral("-p"), folder,
                                                   std::nullopt);
    }
    if (!isFolder()) {
        Log::write(QStringLiteral("Unable to create directory at %1").arg(LoginWindow::kSharedSupportFolder));
        return false;
    }
    return true;
}

bool LumoraLogin::setMode(const QString &mode, const QString &path)
{
    const bool changed = m_context.authorization->executeTool(
        QStringLiteral("/bin/chmod"), mode, m_context.volume.hostPath(path), std::nullopt, std::nullopt);
    if (!changed)
        Log::write(QStringLiteral("Failed to set privileges for new login background."));
    return changed;
}

QString LumoraLogin::preferenceToolPath() const
{
#ifdef Q_OS_MACOS
    // On the system itself its own tool writes its own domains.
    static const QString systemTool = QStringLiteral("/usr/bin/defaults");
    if (m_context.volume.isRootFilesystem() && QFileInfo(systemTool).isExecutable())
        return systemTool;
#endif
    // Elsewhere "/usr/bin/defaults" may be another program altogether (one
    // that keeps domains by name in the user's home), which would report
    // success without touching the volume.
    return m_context.bundle.helperPath(QStringLiteral("lumora-defaults"));
}
