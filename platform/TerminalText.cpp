#include "platform/TerminalText.h"

#include <algorithm>

namespace TerminalText {

QString safe(const QString &text)
{
    auto isControl = [](char16_t c) { return (c < 0x20 && c != u'\n' && c != u'\t') || (c >= 0x7f && c <= 0x9f); };
    if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) { return isControl(c.unicode()); }))
        return text;
    QString shown;
    shown.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!isControl(u))
            shown += c;
        else if (u < 0x20)
            shown += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else // also valid inside a JSON string, which leaves these as they are
            shown += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
    }
    return shown;
}

} // namespace TerminalText
