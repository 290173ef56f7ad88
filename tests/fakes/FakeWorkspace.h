#pragma once

#include "platform/Workspace.h"

#include <QList>
#include <QUrl>

#include <mutex>

// Records the addresses it is asked to open instead of starting a browser,
// and says they opened unless told otherwise.
class FakeWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl &url) override
    {
        std::lock_guard lock(m_mutex);
        m_opened.append(url);
        return m_opens;
    }
    // false: as when no browser can be started.
    void setOpens(bool opens)
    {
        std::lock_guard lock(m_mutex);
        m_opens = opens;
    }
    [[nodiscard]] QList<QUrl> opened() const
    {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }

private:
    mutable std::mutex m_mutex;
    QList<QUrl> m_opened;
    bool m_opens = true;
};
