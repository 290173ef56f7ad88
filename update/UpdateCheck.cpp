// What every update check shares: its limits, how it is stopped, and the
// texts it stores and shows.

#include "update/UpdateCheck.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace UpdateCheck {

void Cancellation::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
}

bool Cancellation::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

bool Cancellation::waitUntil(const std::function<bool()> &ready)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_cancelled || ready(); });
    return !m_cancelled;
}

void Cancellation::notify(const std::function<void()> &update)
{
    {
        std::lock_guard lock(m_mutex);
        update();
    }
    m_changed.notify_all();
}

bool Cancellation::sleepFor(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, duration, [&] { return m_cancelled; });
    return !m_cancelled;
}

QString dateText(const QDateTime &moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    const int offset = moment.offsetFromUtc();
    const int magnitude = offset < 0 ? -offset : offset;
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d %c%02d%02d", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second(), offset < 0 ? '-' : '+',
                             magnitude / 3600, (magnitude % 3600) / 60);
}

std::optional<QDateTime> dateFromText(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2}) ([+-])(\\d{2})(\\d{2})$"));
    const auto match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    auto number = [&](int i) { return match.captured(i).toInt(); };
    const QDate date(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    const int hours = number(8);
    const int minutes = number(9);
    if (!date.isValid() || !time.isValid() || hours > 14 || minutes > 59)
        return std::nullopt;
    int offset = hours * 3600 + minutes * 60;
    if (match.captured(7) == QLatin1String("-"))
        offset = -offset;
    const QDateTime moment(date, time, QTimeZone(offset));
    if (!moment.isValid())
        return std::nullopt;
    return moment;
}

QString fillFormat(const QString &format, const QStringList &values)
{
    QString out;
    out.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == QLatin1Char('%') && i + 1 < format.size()) {
            if (format[i + 1] == QLatin1Char('@')) {
                if (next < values.size())
                    out += values[next];
                ++next;
                ++i;
                continue;
            }
            if (format[i + 1] == QLatin1Char('%')) {
                out += QLatin1Char('%');
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

} // namespace UpdateCheck
