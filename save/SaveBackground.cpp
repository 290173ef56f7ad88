// Installing the background picture, or putting the default one back.

#include "app/LumoraLogin.h"

#include "platform/Log.h"
#include "privileged/Authorization.h"
#include "save/StagingFile.h"

#include <QFile>

#include <unistd.h>

QByteArray LumoraLogin::jpgDataForBackground() const
{
    return StagingFile::jpegData(m_background);
}

bool LumoraLogin::setBackgroundInDefaults(const std::optional<QString> &path)
{
    const QString tool = preferenceToolPath();
    const QString domain = m_context.volume.hostPath(LoginWindow::kDomain);
    if (!path) {
        const bool deleted = m_context.authorization->executeTool(
            tool, QStringLiteral("delete"), domain, LoginWindow::kDesktopPictureKey, std::nullopt);
        if (!deleted)
            Log::write(QStringLiteral("Failed to set defaults for new login background."));
        return deleted;
    }
    // The preference names the picture as the login window sees it: a
    // volume path, not where the volume happens to be mounted here.
    const bool written = m_context.authorization->executeTool(tool, QStringLiteral("write"), domain,
                                                              LoginWindow::kDesktopPictureKey, *path);
    if (!written) {
        Log::write(QStringLiteral("Failed to set defaults for new login background."));
        return false;
    }
    return setMode(QStringLiteral("664"), *path);
}

bool LumoraLogin::saveBackground()
{
    if (m_shouldRevertBackground) {
        bool reverted = setBackgroundInDefaults(std::nullopt);
        if (isTiger())
            reverted = saveBackgroundInTiger() && reverted;
        return reverted;
    }

    const QByteArray data = jpgDataForBackground();
    // A picture that cannot be encoded stops here, before the shared folder
    // is made, so a failed save leaves the volume exactly as it was.
    if (data.isEmpty()) {
        Log::write(QStringLiteral("Failed to save background to temp file."));
        return false;
    }
    createApplicationSupportPath();
    const QString staging = tempFilePathWithName(QStringLiteral("background.jpg"));
    if (!StagingFile::writeAtomically(staging, data)) {
        Log::write(QStringLiteral("Failed to save background to temp file."));
        return false;
    }
    if (!copyIntoPlace(staging, m_context.volume.hostPath(LoginWindow::kInstalledBackground))) {
        Log::write(QStringLiteral("Failed to save new background."));
        return false;
    }
    return setBackgroundInDefaults(LoginWindow::kInstalledBackground);
}

bool LumoraLogin::saveBackgroundInTiger()
{
    const QByteArray data = jpgDataForBackground();
    const QString target = m_context.volume.hostPath(LoginWindow::kTigerDefaultBackground);
    if (::access(QFile::encodeName(target).constData(), W_OK) == 0) {
        // Through a temporary file only: rewriting the picture in place
        // could leave it cut short, and it has no backup.
        if (!StagingFile::writeAtomically(target, data)) {
            Log::write(QStringLiteral("Failed to save new background without asking for authentication."));
            return false;
        }
        return true;
    }
    const QString staging = tempFilePathWithName(QStringLiteral("background.jpg"));
    if (!StagingFile::writeAtomically(staging, data)) {
        Log::write(QStringLiteral("Failed to save background to temp file."));
        return false;
    }
    if (!copyIntoPlace(staging, target)) {
        Log::write(QStringLiteral("Failed to save new background."));
        return false;
    }
    return true;
}
