#include "tests/fakes/LogCapture.h"

LogCapture::LogCapture()
{
    m_previous = Log::setSink([this](const QString &line) {
        std::lock_guard lock(m_mutex);
        m_lines.append(line);
    });
}

LogCapture::~LogCapture()
{
    Log::setSink(std::move(m_previous));
}

QStringList LogCapture::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

int LogCapture::count(const QString &line) const
{
    std::lock_guard lock(m_mutex);
    return int(m_lines.count(line));
}

void LogCapture::clear()
{
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}
