// Restore Default Look: what the stock look is; the controller fills the
// document with it and the next Save writes it to the volume.

#include "save/StockLook.h"

#include "platform/LoginWindow.h"

std::optional<QString> StockLook::originalBackgroundPath(const Volume &volume, const Bundle &bundle)
{
    if (LoginWindow::isTiger(volume))
        return bundle.pathForResource(LoginWindow::kStockBackground);
    return volume.hostPath(LoginWindow::kDefaultBackground);
}

StockLook StockLook::of(const Volume &volume, const Bundle &bundle)
{
    // A missing resource leaves an image with no data; saving it then fails
    // at its staging step and leaves the system file alone.
    StockLook look;
    look.logo = bundle.pathForResource(LoginWindow::kStockLogo).value_or(QString());
    look.title = bundle.pathForResource(LoginWindow::kStockTitle).value_or(QString());
    look.background = originalBackgroundPath(volume, bundle);
    look.message = QString(QLatin1String(""));
    look.hostInfoTag = 1;
    return look;
}
