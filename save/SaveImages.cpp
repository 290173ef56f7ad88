// Replacing the login agent's logo and title images, after a one-time
// backup of the stock files, and moving other formats of them aside.

#include "save/SaveOperations.h"

#include "platform/BoundedFile.h"
#include "platform/LoginWindow.h"
#include "platform/Log.h"
#include "privileged/Authorization.h"
#include "privileged/Staging.h"
#include "platform/VolumeImages.h"
#include "save/LookHistory.h"
#include "save/StagingFile.h"
#include "save/StockLook.h"

#include <QDir>
#include <QFileInfo>

struct SaveOperations::ImageTarget {
    QString destination; // volume path
    QString secondPlace; // volume path, only read
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
    const VolumeResolver files = m_staging.resolver();
    // The image the login window shows now (after a restore on a volume
    // whose image was never replaced): it stays as it is.
    if (!image.path().isEmpty()
        && image.path() == VolumeImages::loadFromPlaces(files, target.destination, target.secondPlace).path()
        && image.isValid())
        return true;
    // The volume's own stock image goes back byte for byte, not re-encoded.
    const auto backup = image.path().isEmpty() ? std::nullopt : StockLook::backupOf(files, target.destination);
    const bool fromBackup = backup && image.path() == *backup;

    // A file larger than any image is no stock image to keep a copy of: it
    // is named, and nothing changes.
    if (const auto inPlace = files.openForReading(target.destination);
        inPlace && !BoundedFile::fits(**inPlace, BoundedFile::kMaxImageBytes)) {
        Log::write(QStringLiteral("%1 is too large to be an image (more than %2 bytes); it was left as it is")
                       .arg(target.destination)
                       .arg(BoundedFile::kMaxImageBytes));
        Log::write(target.copyFailure);
        return false;
    }
    // Never replace a stock image whose backup could not be made.
    if (!m_staging.backupFile(target.destination, true, target.backupKey)) {
        Log::write(target.copyFailure);
        return false;
    }
    const QString staging = Staging::tempFilePathWithName(target.stagingName);
    // A look from the history goes back byte for byte too, when it is a TIFF.
    const auto kept = LookHistory::restoredBytes(image.path());
    const bool keptTiff = kept && (kept->startsWith("II*") || kept->startsWith(QByteArray("MM\0*", 4)));
    const QByteArray data = fromBackup ? StockLook::bytesOf(files, Staging::backupPathForPath(target.destination))
                            : keptTiff ? *kept
                                       : StagingFile::tiffData(image);
    if (data.isEmpty() || !StagingFile::writeAtomically(staging, data)) {
        Log::write(target.stagingFailure);
        return false;
    }
    if (!m_staging.copyIntoPlace(staging, m_staging.volume().hostPath(target.destination))) {
        Log::write(target.copyFailure);
        return false;
    }
    QFile::remove(staging); // our copy has done its work
    removeOtherFormatsForFile(target.destination);
    return true;
}

bool SaveOperations::saveLogo(const Image &logo) const
{
    return saveImage(logo, {LoginWindow::kLogoFirstPlace, LoginWindow::kLogoSecondPlace, PreferenceKeys::kMadeLogoBackup, QStringLiteral("logo.tif"),
                            QStringLiteral("Failed to save logo to temp file"),
                            QStringLiteral("Failed to save new logo")});
}

bool SaveOperations::saveTitle(const Image &title) const
{
    return saveImage(title, {LoginWindow::kTitleFirstPlace, LoginWindow::kTitleSecondPlace,
                             PreferenceKeys::kMadeTitleBackup,
                             QStringLiteral("title.tif"), QStringLiteral("Failed to save title to temp file"),
                             QStringLiteral("Failed to save new title")});
}

void SaveOperations::removeOtherFormatsForFile(const QString &path) const
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    const QString name = path.mid(slash + 1);
    const QString base = withoutExtension(name);
    const QString trash = Staging::applicationSupportPath() + QStringLiteral("/trash");

    // The folder as the volume's links lead. Only regular files are moved:
    // a link is left where it is, so nothing it points at is touched.
    const VolumeResolver files = m_staging.resolver();
    const auto entries = files.list(folder);
    if (!entries)
        return;
    for (const QString &entry : *entries) {
        if (withoutExtension(entry) != base || entry == name)
            continue;
        if (!QFileInfo::exists(trash))
            QDir().mkpath(trash);
        if (!m_staging.moveOut(folder + QLatin1Char('/') + entry, trash + QLatin1Char('/') + entry))
            Log::write(QStringLiteral("Unable to move unnecessary image format"));
    }
}
