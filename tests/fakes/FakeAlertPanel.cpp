#include "tests/fakes/FakeAlertPanel.h"

int FakeAlertPanel::runAlert(const QString &title, const QString &message, const QString &defaultButton,
                             const QString &alternateButton, const QString &otherButton)
{
    std::lock_guard lock(m_mutex);
    m_shown.append({title, message, defaultButton, alternateButton, otherButton, false, {}});
    m_events.append(QStringLiteral("alert:") + title);
    return m_answers.isEmpty() ? DefaultReturn : m_answers.takeFirst();
}

int FakeAlertPanel::runInformation(const QString &title, const QString &message, const QString &defaultButton,
                                   const QString &alternateButton)
{
    std::lock_guard lock(m_mutex);
    m_shown.append({title, message, defaultButton, alternateButton, {}, true, {}});
    m_events.append(QStringLiteral("alert:") + title);
    return m_answers.isEmpty() ? DefaultReturn : m_answers.takeFirst();
}

void FakeAlertPanel::showAddress(const QString &title, const QString &message, const QString &address,
                                 const QString &button)
{
    std::lock_guard lock(m_mutex);
    m_shown.append({title, message, button, {}, {}, false, address});
    m_events.append(QStringLiteral("address:") + address);
}

void FakeAlertPanel::beep()
{
    std::lock_guard lock(m_mutex);
    ++m_beeps;
    m_events.append(QStringLiteral("beep"));
}

void FakeAlertPanel::activateApplication()
{
    std::lock_guard lock(m_mutex);
    ++m_activations;
}

void FakeAlertPanel::scriptAnswers(const QList<int> &answers)
{
    std::lock_guard lock(m_mutex);
    m_answers = answers;
}

QList<FakeAlertPanel::Shown> FakeAlertPanel::shown() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

int FakeAlertPanel::beeps() const
{
    std::lock_guard lock(m_mutex);
    return m_beeps;
}

int FakeAlertPanel::activations() const
{
    std::lock_guard lock(m_mutex);
    return m_activations;
}

QStringList FakeAlertPanel::events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}
