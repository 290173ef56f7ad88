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
    // labels are left out. The message is shown literally.
    virtual int runAlert(const QString &title, const QString &message, const QString &defaultButton,
                         const QString &alternateButton = {}, const QString &otherButton = {}) = 0;
    virtual void beep() = 0;
    // Brings the application in front of every other application.
    virtual void activateApplication() = 0;
};
