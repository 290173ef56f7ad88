#pragma once

#include "platform/PasswordPrompt.h"

#include <QString>

// Asks on the controlling terminal (/dev/tty) with echo off, so the
// password never shows and never passes through standard input or output.
// Without a terminal there is no way to ask, and the answer is nothing.
class TerminalPasswordPrompt final : public PasswordPrompt {
public:
    explicit TerminalPasswordPrompt(QString terminalPath = QStringLiteral("/dev/tty"));
    [[nodiscard]] std::optional<QByteArray> askPassword(const QString &reason, const QString &complaint) override;

private:
    QString m_terminalPath;
};
