#pragma once

#include "platform/Workspace.h"

#include <QList>
#include <QUrl>

#include <mutex>

// Records the addresses it is asked to open instead of starting a browser.
class FakeWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl &url) override
    {
        std::lock_guard lock(m_mutex);
        m_opened.append(url);
        return true;
    }
    [[nodiscard]] QList<QUrl> opened() const
    {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }

private:
    mutable std::mutex m_mutex;
    QList<QUrl> m_opened;
};
