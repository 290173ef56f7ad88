#pragma once

#include "platform/PasswordPrompt.h"

class QWidget;

// The window's password dialog for the sudo back end: the application's
// name, why it asks, a password field that shows nothing, what went wrong
// with the last try, Cancel and OK. Safe to call from a worker thread: the
// GUI thread shows the dialog and the caller waits for the answer.
class QtPasswordDialog final : public PasswordPrompt {
public:
    explicit QtPasswordDialog(QWidget *parent = nullptr);
    [[nodiscard]] std::optional<QByteArray> askPassword(const QString &reason, const QString &complaint) override;

private:
    [[nodiscard]] std::optional<QByteArray> askOnGuiThread(const QString &reason, const QString &complaint);
    QWidget *m_parent = nullptr;
};
