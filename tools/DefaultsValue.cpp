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

bool isTypeFlag(const QByteArray &type)
{
    return type == "-bool" || type == "-boolean" || type == "-int" || type == "-integer";
}

std::optional<PropertyList::Value> typed(const QByteArray &type, const QByteArray &value)
{
    using PropertyList::Value;
    Value typedValue;
    if (type == "-bool" || type == "-boolean") {
        const QByteArray word = value.toLower();
        typedValue.type = Value::Type::Boolean;
        if (word == "yes" || word == "true" || word == "1")
            typedValue.integer = 1;
        else if (word == "no" || word == "false" || word == "0")
            typedValue.integer = 0;
        else
            return std::nullopt;
        return typedValue;
    }
    if (type == "-int" || type == "-integer") {
        // Digits only: toLongLong would also take spaces around them.
        const qsizetype start = value.startsWith('-') || value.startsWith('+') ? 1 : 0;
        if (value.size() == start)
            return std::nullopt;
        for (qsizetype i = start; i < value.size(); ++i) {
            if (value.at(i) < '0' || value.at(i) > '9')
                return std::nullopt;
        }
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        typedValue.type = Value::Type::Integer;
        typedValue.integer = number;
        return typedValue;
    }
    return std::nullopt;
}

} // namespace DefaultsValue
