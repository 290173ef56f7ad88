#pragma once

#include "platform/AlertPanel.h"
#include "platform/Workspace.h"

#include <QStringList>

#include <cstdio>

// Panels for a program without a window: the texts go to standard output,
// and every panel is answered with its default button, as pressing Return
// would. The update panel's default is "OK", which hands the download
// address to the workspace below, which prints it.
class ConsoleAlertPanel final : public AlertPanel {
public:
    explicit ConsoleAlertPanel(std::FILE *out = stdout) : m_out(out) {}

    int runAlert(const QString &title, const QString &message, const QString &defaultButton,
                 const QString &alternateButton = {}, const QString &otherButton = {}) override;
    // The address on a line of its own, as the workspace below prints one.
    void showAddress(const QString &title, const QString &message, const QString &address,
                     const QString &button) override;
    void beep() override {}
    void activateApplication() override {}

    // Titles of the panels shown so far, in order.
    [[nodiscard]] const QStringList &titles() const { return m_titles; }

private:
    std::FILE *m_out;
    QStringList m_titles;
};

// Prints the address it is asked to open; a scripted tool never starts a
// browser.
class ConsoleWorkspace final : public Workspace {
public:
    explicit ConsoleWorkspace(std::FILE *out = stdout) : m_out(out) {}
    bool openUrl(const QUrl &url) override;

private:
    std::FILE *m_out;
};

// Writes UTF-8 text as it is, without a line break of its own.
void writeText(std::FILE *stream, const QString &text);
