#pragma once

#include <QString>

// A modal alert panel and the system beep. The window shows a QMessageBox;
// tests script the answers; the command-line companion prints the texts.
class AlertPanel {
public:
    // The answers of a panel, numbered as the platform numbers them.
    enum Answer { DefaultReturn = 1, AlternateReturn = 0, OtherReturn = -1 };

    virtual ~AlertPanel() = default;

    // Shows the panel and returns when the user has answered. Empty button
    // labels are left out. The message is shown literally. It carries a
    // warning sign: a failure, or a question with something at stake.
    virtual int runAlert(const QString &title, const QString &message, const QString &defaultButton,
                         const QString &alternateButton = {}, const QString &otherButton = {}) = 0;
    // The same panel for news that is no warning (up to date, a new
    // version). A panel that draws no sign shows it as runAlert does.
    virtual int runInformation(const QString &title, const QString &message, const QString &defaultButton,
                               const QString &alternateButton = {})
    {
        return runAlert(title, message, defaultButton, alternateButton);
    }
    // Tells an address that could not be opened for the user, standing on
    // its own so that it can be selected and copied; returns when dismissed.
    virtual void showAddress(const QString &title, const QString &message, const QString &address,
                             const QString &button)
    {
        (void)runAlert(title, message + QLatin1String("\n\n") + address, button);
    }
    virtual void beep() = 0;
    // Brings the application in front of every other application.
    virtual void activateApplication() = 0;
};
