// Replacing the login agent's logo and title images, after a one-time
// backup of the stock files, and moving other formats of them aside.

#include "app/LumoraLogin.h"

#include "platform/Log.h"
#include "privileged/Authorization.h"
#include "save/StagingFile.h"

#include <QDir>
#include <QFileInfo>

namespace {

struct ImageSave {
    QString destination; // volume path
    QString backupKey;
    QString stagingName;
    QString stagingFailure;
    QString copyFailure;
};

QString withoutExtension(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

} // namespace

static bool saveImage(LumoraLogin &controller, const Image &image, const ImageSave &spec)
{
    const LumoraContext &context = controller.context();
    // Never replace a stock image whose backup could not be made.
    if (!controller.backupFile(spec.destination, true, spec.backupKey)) {
        Log::write(spec.copyFailure);
        return false;
    }
    const QString staging = controller.tempFilePathWithName(spec.stagingName);
    if (!StagingFile::writeAtomically(staging, StagingFile::tiffData(image))) {
        Log::write(spec.stagingFailure);
        return false;
    }
    if (!controller.copyIntoPlace(staging, context.volume.hostPath(spec.destination))) {
        Log::write(spec.copyFailure);
        return false;
    }
    controller.removeOtherFormatsForFile(spec.destination);
    return true;
}

bool LumoraLogin::saveLogo()
{
    return saveImage(*this, m_logo,
                     {LoginWindow::kLogoFirstPlace, PreferenceKeys::kMadeLogoBackup, QStringLiteral("logo.tif"),
                      QStringLiteral("Failed to save logo to temp file"), QStringLiteral("Failed to save new logo")});
}

bool LumoraLogin::saveTitle()
{
    return saveImage(*this, m_title,
                     {LoginWindow::kTitleFirstPlace, PreferenceKeys::kMadeTitleBackup,
                      QStringLiteral("title.tif"), QStringLiteral("Failed to save title to temp file"),
                      QStringLiteral("Failed to save new title")});
}

void LumoraLogin::removeOtherFormatsForFile(const QString &path)
{
    const QFileInfo info(m_context.volume.hostPath(path));
    const QString name = info.fileName();
    const QString base = withoutExtension(name);
    const QDir folder = info.dir();
    const QString trash = applicationSupportPath() + QStringLiteral("/trash");

    const QStringList entries = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                     | QDir::NoDotAndDotDot,
                                                 QDir::Unsorted);
    for (const QString &entry : entries) {
        if (withoutExtension(entry) != base || entry == name)
            continue;
        if (!QFileInfo::exists(trash))
            QDir().mkpath(trash);
        if (!m_context.authorization->executeTool(QStringLiteral("/bin/mv"), folder.filePath(entry),
                                                  trash + QLatin1Char('/') + entry, std::nullopt))
            Log::write(QStringLiteral("Unable to move unnecessary image format"));
    }
}
