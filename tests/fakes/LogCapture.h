#pragma once

#include "platform/Log.h"

#include <QStringList>

#include <mutex>

// Collects log lines for the length of its life instead of printing them.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    [[nodiscard]] QStringList lines() const;
    [[nodiscard]] int count(const QString &line) const;
    void clear();

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
    Log::Sink m_previous;
};
