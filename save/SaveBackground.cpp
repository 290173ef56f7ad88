// Installing the background picture, or putting the default one back.

#include "save/SaveOperations.h"

#include "platform/LoginWindow.h"
#include "platform/Log.h"
#include "privileged/Authorization.h"
#include "privileged/Staging.h"
#include "save/StagingFile.h"

#include <QFile>

#include <unistd.h>

QByteArray SaveOperations::jpgDataForBackground(const Image &background)
{
    return StagingFile::jpegData(background);
}

bool SaveOperations::setBackgroundInDefaults(const std::optional<QString> &path) const
{
    const QString tool = m_staging.preferenceToolPath();
    const QString domain = m_staging.volume().hostPath(LoginWindow::kDomain);
    Authorization &runner = m_staging.runner();
    if (!path) {
        const bool deleted =
            runner.executeTool(tool, QStringLiteral("delete"), domain, LoginWindow::kDesktopPictureKey, std::nullopt);
        if (!deleted)
            Log::write(QStringLiteral("Failed to set defaults for new login background."));
        return deleted;
    }
    // The preference names the picture as the login window sees it: a
    // volume path, not where the volume happens to be mounted here.
    const bool written =
        runner.executeTool(tool, QStringLiteral("write"), domain, LoginWindow::kDesktopPictureKey, *path);
    if (!written) {
        Log::write(QStringLiteral("Failed to set defaults for new login background."));
        return false;
    }
    return m_staging.setMode(QStringLiteral("664"), *path);
}

bool SaveOperations::saveBackground(const Image &background, bool revert, bool tiger) const
{
    if (revert) {
        bool reverted = setBackgroundInDefaults(std::nullopt);
        if (tiger)
            reverted = saveBackgroundInTiger(background) && reverted;
        return reverted;
    }

    const QByteArray data = jpgDataForBackground(background);
    // A picture that cannot be encoded stops here, before the shared folder
    // is made, so a failed save leaves the volume exactly as it was.
    if (data.isEmpty()) {
        Log::write(QStringLiteral("Failed to save background to temp file."));
        return false;
    }
    m_staging.createApplicationSupportPath();
    const QString staging = Staging::tempFilePathWithName(QStringLiteral("background.jpg"));
    if (!StagingFile::writeAtomically(staging, data)) {
        Log::write(QStringLiteral("Failed to save background to temp file."));
        return false;
    }
    if (!m_staging.copyIntoPlace(staging, m_staging.volume().hostPath(LoginWindow::kInstalledBackground))) {
        Log::write(QStringLiteral("Failed to save new background."));
        return false;
    }
    return setBackgroundInDefaults(LoginWindow::kInstalledBackground);
}

bool SaveOperations::saveBackgroundInTiger(const Image &background) const
{
    const QByteArray data = jpgDataForBackground(background);
    const QString target = m_staging.volume().hostPath(LoginWindow::kTigerDefaultBackground);
    if (::access(QFile::encodeName(target).constData(), W_OK) == 0) {
        // Through a temporary file only: rewriting the picture in place
        // could leave it cut short, and it has no backup.
        if (!StagingFile::writeAtomically(target, data)) {
            Log::write(QStringLiteral("Failed to save new background without asking for authentication."));
            return false;
        }
        return true;
    }
    const QString staging = Staging::tempFilePathWithName(QStringLiteral("background.jpg"));
    if (!StagingFile::writeAtomically(staging, data)) {
        Log::write(QStringLiteral("Failed to save background to temp file."));
        return false;
    }
    if (!m_staging.copyIntoPlace(staging, target)) {
        Log::write(QStringLiteral("Failed to save new background."));
        return false;
    }
    return true;
}
