// Restore Default Look: fills the document with the stock look; the next
// Save writes it to the volume.

#include "app/LumoraLogin.h"

#include "app/MessageView.h"

void LumoraLogin::defaults()
{
    // A missing resource leaves an image with no data; saving it then fails
    // at its staging step and leaves the system file alone.
    setLogo(Image::referencingFile(pathForResource(LoginWindow::kStockLogo).value_or(QString())));
    setTitle(Image::referencingFile(pathForResource(LoginWindow::kStockTitle).value_or(QString())));
    setBackground(Image::referencingFile(originalBackgroundPath().value_or(QString())));
    // After setBackground, which clears it.
    setShouldRevertBackground(true);
    if (m_messageView)
        m_messageView->setString(QString());
    setMessage(QString(QLatin1String("")));
    setHostInfoTag(1);
}
