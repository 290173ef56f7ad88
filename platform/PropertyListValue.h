#pragma once

#include "platform/PropertyList.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A property list exactly as its file holds it: what the application reads
// (through PropertyList.h), and what the preference tool writes back, every
// value it was not asked to change included. Integers of up to 128 bits,
// the sign of -0.0, the fraction of a date, 4-byte reals and the text of an
// XML date are all kept; malformed input is refused, never repaired.
namespace PropertyList {

__extension__ typedef __int128 Int128;

struct Value {
    enum class Type : quint8 { Dictionary, Array, String, Data, Date, Integer, Real, Boolean, Uid };

    Type type = Type::Dictionary;
    Int128 integer = 0;         // Integer and Uid; a Boolean is 0 or 1
    double real = 0;            // Real; a Date as seconds since 2001-01-01 UTC
    bool singlePrecision = false; // a 4-byte real of a binary list, written back as one
    QString text;               // String; a Date read from XML keeps its text here
    QByteArray data;            // Data
    std::vector<Value> items;   // Array items; Dictionary values
    std::vector<QString> keys;  // Dictionary keys, in file order

    static Value string(const QString &text);

    [[nodiscard]] const Value *find(const QString &key) const;
    // Replaces the value in place, or adds the key at the end.
    void insert(const QString &key, Value value);
    bool remove(const QString &key);

    // Reals and dates compare by their bits (so -0.0 is not 0.0), except
    // that any two NaNs are equal: XML has one way to write NaN.
    friend bool operator==(const Value &a, const Value &b);
};

// The value of a strictly read list, or nothing with the reason in `why`.
// Refused besides what isWithinLimits refuses: XML that is not well-formed
// or not a property list (a key without a value, bad base64, an unknown
// element, a date or number that does not parse, an encoding other than
// UTF-8, entity declarations), binary strings that are not valid in their
// declared encoding, duplicate keys, and integers beyond 128 bits.
[[nodiscard]] std::optional<Value> readExact(const QByteArray &bytes, const Limits &limits = {},
                                             Format *format = nullptr, QString *why = nullptr);

// The bytes of `value`, or nothing with the reason in `why` when the
// encoding cannot hold it: XML 1.0 has no way to write most control
// characters, nor a UID, nor a date outside the years 1 to 9999.
[[nodiscard]] std::optional<QByteArray> writeExact(const Value &value, Format format, QString *why = nullptr);

// An integer as decimal text; 128 bits, so no printf does it.
[[nodiscard]] QByteArray integerText(Int128 value);

// Days from 2001-01-01, the epoch of property-list dates, to a day of the
// proleptic Gregorian calendar, and back.
[[nodiscard]] qint64 daysSince2001(qint64 year, int month, int day);
struct CalendarDay {
    qint64 year = 2001;
    int month = 1;
    int day = 1;
};
[[nodiscard]] CalendarDay calendarDay(qint64 daysSince2001);

} // namespace PropertyList
