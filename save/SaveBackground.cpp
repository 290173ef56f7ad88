// Installing the background picture, or putting the default one back.

#include "save/SaveOperations.h"

#include "platform/LoginWindow.h"
#include "platform/Log.h"
#include "privileged/Authorization.h"
#include "privileged/Staging.h"
#include "save/LookHistory.h"
#include "save/StagingFile.h"
#include "save/StockLook.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

QByteArray SaveOperations::jpgDataForBackground(const Image &background)
{
    return StagingFile::jpegData(background);
}

bool SaveOperations::setBackgroundInDefaults(const std::optional<QString> &path) const
{
    if (!path) {
        const bool deleted = m_staging.deletePreference(LoginWindow::kDesktopPictureKey);
        if (!deleted)
            Log::write(QStringLiteral("Failed to set defaults for new login background."));
        return deleted;
    }
    // The preference names the picture as the login window sees it: a
    // volume path, not where the volume happens to be mounted here.
    const bool written = m_staging.writePreference(LoginWindow::kDesktopPictureKey, {*path});
    if (!written) {
        Log::write(QStringLiteral("Failed to set defaults for new login background."));
        return false;
    }
    return m_staging.setMode(QStringLiteral("664"), *path);
}

bool SaveOperations::saveBackground(const Image &background, bool revert, bool tiger) const
{
    if (revert) {
        const bool deleted = setBackgroundInDefaults(std::nullopt);
        bool reverted = deleted;
        if (tiger)
            reverted = saveBackgroundInTiger(background) && reverted;
        // The picture we installed is named by nothing now: it goes too,
        // rather than lie in the shared folder for ever.
        if (deleted
            && LoginWindow::domain(m_staging.volume()).value_or(QVariantMap{}).value(LoginWindow::kDesktopPictureKey)
                   != QVariant(LoginWindow::kInstalledBackground))
            (void)m_staging.removeInstalledBackground();
        return reverted;
    }

    const QString staging = Staging::tempFilePathWithName(QStringLiteral("background.jpg"));
    bool staged = false;
    {
        // A look from the history goes back byte for byte, when it is a JPEG.
        const auto kept = LookHistory::restoredBytes(background.path());
        const QByteArray data = kept && kept->startsWith("\xff\xd8") ? *kept : jpgDataForBackground(background);
        // A picture that cannot be encoded stops here, before the shared
        // folder is made, so a failed save leaves the volume exactly as it was.
        if (data.isEmpty()) {
            Log::write(QStringLiteral("Failed to save background to temp file."));
            return false;
        }
        // A folder that could not be made has been logged; the copy into
        // it then fails on its own and says so.
        (void)m_staging.createApplicationSupportPath();
        staged = StagingFile::writeAtomically(staging, data);
    }
    // The picture is on disk now; its pixels and bytes need not stay in
    // memory while it is copied and read back.
    background.release();
    if (!staged) {
        Log::write(QStringLiteral("Failed to save background to temp file."));
        return false;
    }
    const bool copied = m_staging.copyIntoPlace(staging, m_staging.volume().hostPath(LoginWindow::kInstalledBackground));
    // Our copy of the picture has done its work once it is in place.
    if (copied)
        QFile::remove(staging);
    if (!copied) {
        Log::write(QStringLiteral("Failed to save new background."));
        return false;
    }
    return setBackgroundInDefaults(LoginWindow::kInstalledBackground);
}

bool SaveOperations::saveBackgroundInTiger(const Image &background) const
{
    const VolumeResolver files = m_staging.resolver();
    const QString backupPath = Staging::backupPathForPath(LoginWindow::kTigerDefaultBackground);
    const auto target = files.writablePath(LoginWindow::kTigerDefaultBackground);
    const auto backup = files.writablePath(backupPath);
    if (!target || !backup) {
        Log::write(QStringLiteral("Failed to save new background."));
        return false;
    }
    const bool present = QFileInfo(*target).isFile();
    // The volume's own picture, which a restore leaves where it is.
    if (present && background.path() == *target)
        return true;
    // Its backup goes back byte for byte, not re-encoded.
    const bool fromBackup = !background.path().isEmpty() && background.path() == *backup;
    const QByteArray data = fromBackup ? StockLook::bytesOf(files, backupPath) : jpgDataForBackground(background);

    const QString staging = Staging::tempFilePathWithName(QStringLiteral("background.jpg"));
    if (::access(QFile::encodeName(*target).constData(), W_OK) == 0) {
        // With the user's own rights, through the same tool: a folder of the
        // volume swapped for a link meanwhile must not steer the write onto
        // the user's own files. The volume's own picture is kept first.
        if (data.isEmpty() || (present && !keepTigerOriginal(*target, *backup, true))
            || !StagingFile::writeAtomically(staging, data)
            || !m_staging.copyIntoPlace(staging, *target, Staging::Rights::User)) {
            Log::write(QStringLiteral("Failed to save new background without asking for authentication."));
            return false;
        }
        QFile::remove(staging);
        return true;
    }
    if (data.isEmpty() || !StagingFile::writeAtomically(staging, data)) {
        Log::write(QStringLiteral("Failed to save background to temp file."));
        return false;
    }
    if ((present && !keepTigerOriginal(*target, *backup, false)) || !m_staging.copyIntoPlace(staging, *target)) {
        Log::write(QStringLiteral("Failed to save new background."));
        return false;
    }
    QFile::remove(staging);
    return true;
}

bool SaveOperations::keepTigerOriginal(const QString &picture, const QString &backup, bool direct) const
{
    if (QFileInfo::exists(backup) || QFileInfo(backup).isSymLink())
        return true;
    return m_staging.copyWithinVolume(picture, backup, direct ? Staging::Rights::User : Staging::Rights::Administrator);
}
