#pragma once

#include "platform/PasswordPrompt.h"

class QWidget;

// The window's password dialog for the sudo back end: the application's
// name, why it asks, a password field that shows nothing, Cancel and OK.
class QtPasswordDialog final : public PasswordPrompt {
public:
    explicit QtPasswordDialog(QWidget *parent = nullptr);
    [[nodiscard]] std::optional<QByteArray> askPassword(const QString &reason) override;

private:
    QWidget *m_parent = nullptr;
};
