// Replacing the login agent's logo and title images, after a one-time
// backup of the stock files, and moving other formats of them aside.

#include "save/SaveOperations.h"

#include "platform/LoginWindow.h"
#include "platform/Log.h"
#include "privileged/Authorization.h"
#include "privileged/Staging.h"
#include "save/StagingFile.h"

#include <QDir>
#include <QFileInfo>

struct SaveOperations::ImageTarget {
    QString destination; // volume path
    QString backupKey;
    QString stagingName;
    QString stagingFailure;
    QString copyFailure;
};

namespace {

QString withoutExtension(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

} // namespace

bool SaveOperations::saveImage(const Image &image, const ImageTarget &target) const
{
    // Never replace a stock image whose backup could not be made.
    if (!m_staging.backupFile(target.destination, true, target.backupKey)) {
        Log::write(target.copyFailure);
        return false;
    }
    const QString staging = Staging::tempFilePathWithName(target.stagingName);
    if (!StagingFile::writeAtomically(staging, StagingFile::tiffData(image))) {
        Log::write(target.stagingFailure);
        return false;
    }
    if (!m_staging.copyIntoPlace(staging, m_staging.volume().hostPath(target.destination))) {
        Log::write(target.copyFailure);
        return false;
    }
    removeOtherFormatsForFile(target.destination);
    return true;
}

bool SaveOperations::saveLogo(const Image &logo) const
{
    return saveImage(logo, {LoginWindow::kLogoFirstPlace, PreferenceKeys::kMadeLogoBackup, QStringLiteral("logo.tif"),
                            QStringLiteral("Failed to save logo to temp file"),
                            QStringLiteral("Failed to save new logo")});
}

bool SaveOperations::saveTitle(const Image &title) const
{
    return saveImage(title, {LoginWindow::kTitleFirstPlace, PreferenceKeys::kMadeTitleBackup,
                             QStringLiteral("title.tif"), QStringLiteral("Failed to save title to temp file"),
                             QStringLiteral("Failed to save new title")});
}

void SaveOperations::removeOtherFormatsForFile(const QString &path) const
{
    const QFileInfo info(m_staging.volume().hostPath(path));
    const QString name = info.fileName();
    const QString base = withoutExtension(name);
    const QDir folder = info.dir();
    const QString trash = Staging::applicationSupportPath() + QStringLiteral("/trash");

    const QStringList entries = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                     | QDir::NoDotAndDotDot,
                                                 QDir::Unsorted);
    for (const QString &entry : entries) {
        if (withoutExtension(entry) != base || entry == name)
            continue;
        if (!QFileInfo::exists(trash))
            QDir().mkpath(trash);
        if (!m_staging.runner().executeTool(QStringLiteral("/bin/mv"), folder.filePath(entry),
                                            trash + QLatin1Char('/') + entry, std::nullopt))
            Log::write(QStringLiteral("Unable to move unnecessary image format"));
    }
}
