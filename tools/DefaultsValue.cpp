#include "tools/DefaultsValue.h"

namespace DefaultsValue {

QByteArray parse(const QByteArray &value)
{
    if (value.size() < 2 || !value.startsWith('"') || !value.endsWith('"'))
        return value;

    const QByteArray inner = value.mid(1, value.size() - 2);
    QByteArray out;
    out.reserve(inner.size());
    for (qsizetype i = 0; i < inner.size(); ++i) {
        const char c = inner.at(i);
        if (c == '\\' && i + 1 < inner.size()) {
            const char next = inner.at(i + 1);
            if (next == '"' || next == '\\') {
                out.append(next);
                ++i;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

} // namespace DefaultsValue
