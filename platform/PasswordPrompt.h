#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Asks the user for their password so that the sudo back end can obtain
// administrator rights. The window shows a dialog; the command-line
// companion asks on the terminal with echo off.
class PasswordPrompt {
public:
    // As sudo does: a wrong password is asked for again, up to this many
    // tries in all, before the request fails.
    static constexpr int kTries = 3;

    virtual ~PasswordPrompt() = default;
    // Nothing when the user cancelled (or there is no way to ask). The
    // caller wipes the returned bytes after use. `complaint` is empty on
    // the first try and says why it asks again on the next ones.
    [[nodiscard]] virtual std::optional<QByteArray> askPassword(const QString &reason,
                                                                const QString &complaint) = 0;
};
