#pragma once

#include "controller/LumoraLogin.h"
#include "controller/MessageView.h"
#include "cli/CommandLine.h"

#include <QHash>
#include <QStringList>

#include <array>

#include <cstdio>

class ConsoleAlertPanel;

// The companion's commands over the window's own controller: the same
// loading, setters, Save, restore and update check, with the results
// printed instead of shown.
class LoginCtl {
public:
    // Exit statuses.
    static constexpr int kSuccess = 0;
    static constexpr int kFailed = 1;
    static constexpr int kUsage = 2;

    LoginCtl(LumoraContext context, std::FILE *out = stdout, std::FILE *err = stderr);

    // How set and restore report, and whether they write at all.
    struct ApplyOptions {
        bool check = false; // compare only: nothing is written
        bool json = false;
    };

    [[nodiscard]] int show(bool json);
    [[nodiscard]] int set(const SetInputs &inputs, ApplyOptions options);
    [[nodiscard]] int restore(ApplyOptions options);
    // The looks saves replaced, newest first (LookHistory.cpp of the companion).
    [[nodiscard]] int history(bool json);
    // restore with the look `id` of the history instead of the stock one.
    [[nodiscard]] int restoreLook(const QString &id, ApplyOptions options);
    [[nodiscard]] int checkUpdates(const ConsoleAlertPanel &panels);

    [[nodiscard]] LumoraLogin &controller() { return m_controller; }
    // Whether set or restore tried to write anything (a disk image is then
    // saved; one that was only read is left byte for byte as it was).
    [[nodiscard]] bool wroteVolume() const { return m_wroteVolume; }

private:
    // What each requested setting should read back as after the save.
    struct Expected {
        std::array<std::optional<SettingValue>, kSettingCount> values;
        bool revertBackground = false; // the background goes back to the release's picture
    };
    // Saves what differs from the volume, or with `check` only compares
    // (SettingDiff.cpp).
    [[nodiscard]] int apply(Expected expected, ApplyOptions options);
    // Saves the marked settings, `decide` run once the volume's lock is held;
    // `results` gets "saved" or "failed" for each one `expected` then names.
    [[nodiscard]] int saveAndVerify(const Expected &expected, QHash<QString, QString> &results,
                                    const LumoraLogin::LockedDecision &decide);
    // Names why the volume's preferences cannot be read, if they cannot.
    [[nodiscard]] bool refuseUnreadable(const QString &reason) const;
    void print(const QString &text) const;
    void complain(const QString &text) const;

    MemoryMessageView m_view;
    LumoraLogin m_controller;
    std::FILE *m_out;
    std::FILE *m_err;
    bool m_wroteVolume = false;
};
