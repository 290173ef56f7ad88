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
    void beep() override;
    void activateApplication() override;

private:
    int runOnGuiThread(const QString &title, const QString &message, const QString &defaultButton,
                       const QString &alternateButton, const QString &otherButton);
    QWidget *m_parent = nullptr;
};
