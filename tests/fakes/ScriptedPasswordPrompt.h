#pragma once

#include "platform/PasswordPrompt.h"

#include <QList>
#include <QStringList>

#include <mutex>

// Answers password requests from a script (Cancel once it has run out) and
// records what each request showed.
class ScriptedPasswordPrompt final : public PasswordPrompt {
public:
    void script(QList<std::optional<QByteArray>> answers)
    {
        std::lock_guard lock(m_mutex);
        m_answers = std::move(answers);
    }
    std::optional<QByteArray> askPassword(const QString &, const QString &complaint) override
    {
        std::lock_guard lock(m_mutex);
        m_complaints.append(complaint);
        return m_answers.isEmpty() ? std::nullopt : m_answers.takeFirst();
    }
    // One entry per time it asked: the complaint shown (empty on a first try).
    [[nodiscard]] QStringList complaints() const
    {
        std::lock_guard lock(m_mutex);
        return m_complaints;
    }

private:
    mutable std::mutex m_mutex;
    QList<std::optional<QByteArray>> m_answers;
    QStringList m_complaints;
};
