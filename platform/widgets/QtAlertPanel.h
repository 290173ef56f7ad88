#pragma once

#include "platform/AlertPanel.h"

class QWidget;

// Alerts as QMessageBox. Safe to call from a worker thread: the panel is
// shown by the GUI thread and the caller waits for the answer.
class QtAlertPanel final : public AlertPanel {
public:
    explicit QtAlertPanel(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    int runAlert(const QString &title, const QString &message, const QString &defaultButton,
                 const QString &alternateButton, const QString &otherButton) override;
    int runInformation(const QString &title, const QString &message, const QString &defaultButton,
                       const QString &alternateButton) override;
    // A dialog with the address in a selected read-only field and a Copy
    // button that puts it on the clipboard without closing the dialog.
    void showAddress(const QString &title, const QString &message, const QString &address,
                     const QString &button) override;
    void beep() override;
    void activateApplication() override;

private:
    int run(bool information, const QString &title, const QString &message, const QString &defaultButton,
            const QString &alternateButton, const QString &otherButton);
    int runOnGuiThread(bool information, const QString &title, const QString &message,
                       const QString &defaultButton, const QString &alternateButton, const QString &otherButton);
    void showAddressOnGuiThread(const QString &title, const QString &message, const QString &address,
                                const QString &button);
    QWidget *m_parent = nullptr;
};
