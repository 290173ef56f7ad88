#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Asks the user for their password so that the sudo back end can obtain
// administrator rights. The window shows a dialog; the command-line
// companion asks on the terminal with echo off.
class PasswordPrompt {
public:
    virtual ~PasswordPrompt() = default;
    // Nothing when the user cancelled (or there is no way to ask). The
    // caller wipes the returned bytes after use.
    [[nodiscard]] virtual std::optional<QByteArray> askPassword(const QString &reason) = 0;
};
