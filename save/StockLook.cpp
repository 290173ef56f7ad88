// Restore Default Look: what the stock look is; the controller fills the
// document with it and the next Save writes it to the volume.

#include "save/StockLook.h"

#include "platform/BoundedFile.h"
#include "platform/Image.h"
#include "platform/LoginWindow.h"
#include "platform/Log.h"
#include "platform/VolumeImages.h"
#include "privileged/Staging.h"

#include <QFileInfo>

namespace {

// The logo or title a restore shows: the backup of the stock file, else
// what the login window shows now (the application never replaced it),
// else our drawing.
QString stockImage(const VolumeResolver &files, const Bundle &bundle, const QString &first, const QString &second,
                   const QString &drawing)
{
    if (auto backup = StockLook::backupOf(files, first))
        return *backup;
    const Image inPlace = VolumeImages::loadFromPlaces(files, first, second);
    if (inPlace.isValid())
        return inPlace.path();
    return bundle.pathForResource(drawing).value_or(QString());
}

} // namespace

std::optional<QString> StockLook::backupOf(const VolumeResolver &files, const QString &volumePath)
{
    // Whether or not it decodes: the stock file goes back as it was.
    const QString backupPath = Staging::backupPathForPath(volumePath);
    const auto backup = files.resolve(backupPath);
    if (!backup || !files.openForReading(backupPath))
        return std::nullopt;
    return *backup;
}

QByteArray StockLook::bytesOf(const VolumeResolver &files, const QString &volumePath)
{
    auto file = files.openForReading(volumePath);
    if (!file)
        return {};
    auto bytes = BoundedFile::readAll(**file, BoundedFile::kMaxImageBytes);
    if (!bytes) {
        Log::write(QStringLiteral("%1 is too large to be an image (more than %2 bytes); it was not read")
                       .arg(volumePath)
                       .arg(BoundedFile::kMaxImageBytes));
        return {};
    }
    return *bytes;
}

std::optional<QString> StockLook::originalBackgroundPath(const Volume &volume, const Bundle &bundle)
{
    const VolumeResolver files(volume);
    if (!LoginWindow::isTiger(volume))
        return VolumeImages::readablePath(files, LoginWindow::kDefaultBackground);
    if (auto backup = backupOf(files, LoginWindow::kTigerDefaultBackground))
        return *backup;
    // The picture in place is the volume's own as long as there is no
    // backup: nothing has ever rewritten it.
    const auto inPlace = files.resolve(LoginWindow::kTigerDefaultBackground);
    if (inPlace && QFileInfo(*inPlace).isFile())
        return *inPlace;
    return bundle.pathForResource(LoginWindow::kStockBackground);
}

StockLook StockLook::of(const Volume &volume, const Bundle &bundle)
{
    // A missing resource leaves an image with no data; saving it then fails
    // at its staging step and leaves the system file alone.
    const VolumeResolver files(volume);
    StockLook look;
    look.logo = stockImage(files, bundle, LoginWindow::kLogoFirstPlace, LoginWindow::kLogoSecondPlace,
                           LoginWindow::kStockLogo);
    look.title = stockImage(files, bundle, LoginWindow::kTitleFirstPlace, LoginWindow::kTitleSecondPlace,
                            LoginWindow::kStockTitle);
    look.background = originalBackgroundPath(volume, bundle);
    look.message = QString(QLatin1String(""));
    look.hostInfoTag = 1;
    return look;
}
