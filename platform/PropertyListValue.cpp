#include "platform/PropertyListValue.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace PropertyList {

Value Value::string(const QString &text)
{
    Value v;
    v.type = Type::String;
    v.text = text;
    return v;
}

const Value *Value::find(const QString &key) const
{
    const auto at = std::find(keys.cbegin(), keys.cend(), key);
    return at == keys.cend() ? nullptr : &items[size_t(at - keys.cbegin())];
}

void Value::insert(const QString &key, Value value)
{
    const auto at = std::find(keys.cbegin(), keys.cend(), key);
    if (at != keys.cend()) {
        items[size_t(at - keys.cbegin())] = std::move(value);
        return;
    }
    keys.push_back(key);
    items.push_back(std::move(value));
}

bool Value::remove(const QString &key)
{
    const auto at = std::find(keys.cbegin(), keys.cend(), key);
    if (at == keys.cend())
        return false;
    const auto index = at - keys.cbegin();
    keys.erase(at);
    items.erase(items.begin() + index);
    return true;
}

namespace {

bool sameReal(double a, double b)
{
    if (std::isnan(a) && std::isnan(b))
        return true;
    return std::bit_cast<quint64>(a) == std::bit_cast<quint64>(b);
}

} // namespace

bool operator==(const Value &a, const Value &b)
{
    if (a.type != b.type)
        return false;
    switch (a.type) {
    case Value::Type::Dictionary:
        return a.keys == b.keys && a.items == b.items;
    case Value::Type::Array:
        return a.items == b.items;
    case Value::Type::String:
        return a.text == b.text;
    case Value::Type::Data:
        return a.data == b.data;
    case Value::Type::Date:
    case Value::Type::Real:
        return sameReal(a.real, b.real);
    case Value::Type::Integer:
    case Value::Type::Boolean:
    case Value::Type::Uid:
        return a.integer == b.integer;
    }
    return false;
}

QByteArray integerText(Int128 value)
{
    __extension__ typedef unsigned __int128 UInt128;
    // The magnitude of the most negative value does not fit the signed type.
    UInt128 magnitude = value < 0 ? UInt128(0) - UInt128(value) : UInt128(value);
    QByteArray digits;
    do {
        digits.prepend(char('0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        digits.prepend('-');
    return digits;
}

// Howard Hinnant's day counts, shifted from 1970 to 2001.
constexpr qint64 kDaysFrom1970To2001 = 11323;

qint64 daysSince2001(qint64 year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const qint64 yearOfEra = year - era * 400;
    const qint64 dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 - kDaysFrom1970To2001;
}

CalendarDay calendarDay(qint64 days)
{
    days += 719468 + kDaysFrom1970To2001;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153;
    CalendarDay out;
    out.day = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    out.month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    out.year = yearOfEra + era * 400 + (out.month <= 2 ? 1 : 0);
    return out;
}

} // namespace PropertyList
