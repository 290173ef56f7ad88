#pragma once

#include "platform/Workspace.h"

#include <chrono>

// Opens addresses with the desktop's opener (xdg-open, else $BROWSER), and
// says whether that worked: QDesktopServices counts an opener that starts
// and then fails (no browser configured) as success, so ours is run and
// watched for `settle`. One still running then has a browser in front of
// it and counts as opened. Without either, QDesktopServices decides.
class QtWorkspace final : public Workspace {
public:
    explicit QtWorkspace(std::chrono::milliseconds settle = std::chrono::milliseconds(1500)) : m_settle(settle) {}
    bool openUrl(const QUrl &url) override;

private:
    std::chrono::milliseconds m_settle;
};
