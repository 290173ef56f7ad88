// The writers of PropertyList::Value, for both encodings. Each writes
// what the strict reader reads back to the same value, or refuses.

#include "platform/PropertyListValue.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

namespace PropertyList {

namespace {

__extension__ typedef unsigned __int128 UInt128;

// Whole seconds as ISO 8601 in UTC.
std::optional<QString> dateText(double seconds)
{
    // A bound far beyond the year 9999, so the integer arithmetic below is safe.
    if (!std::isfinite(seconds) || std::abs(seconds) > 1e13)
        return std::nullopt;
    const auto total = qint64(std::floor(seconds));
    const qint64 days = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
    const qint64 inDay = total - days * 86400;
    const CalendarDay day = calendarDay(days);
    if (day.year < 1 || day.year > 9999)
        return std::nullopt;
    return QString::asprintf("%04lld-%02d-%02dT%02lld:%02lld:%02lldZ", static_cast<long long>(day.year), day.month,
                             day.day, static_cast<long long>(inDay / 3600), static_cast<long long>(inDay / 60 % 60),
                             static_cast<long long>(inDay % 60));
}

QByteArray realText(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, result.ptr - buffer);
}

class XmlWriter {
public:
    std::optional<QByteArray> write(const Value &value, QString *why)
    {
        m_out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                "<plist version=\"1.0\">\n";
        if (!writeValue(value, 0)) {
            if (why)
                *why = m_error;
            return std::nullopt;
        }
        m_out += "</plist>\n";
        return m_out;
    }

private:
    bool fail(const QString &what)
    {
        m_error = what;
        return false;
    }

    // Markup characters as entities, a carriage return as a reference
    // (a raw one would be read as a line feed). XML 1.0 cannot hold the
    // other control characters at all, not even as references.
    bool appendText(const QString &text)
    {
        QString escaped;
        escaped.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                escaped += c;
                escaped += text[++i];
                continue;
            }
            switch (c.unicode()) {
            case u'&':
                escaped += u"&amp;";
                continue;
            case u'<':
                escaped += u"&lt;";
                continue;
            case u'>':
                escaped += u"&gt;";
                continue;
            case u'"':
                escaped += u"&quot;";
                continue;
            case u'\r':
                escaped += u"&#13;";
                continue;
            case u'\t':
            case u'\n':
                escaped += c;
                continue;
            default:
                break;
            }
            if (c.unicode() < 0x20 || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF || c.isSurrogate())
                return fail(QStringLiteral("the text holds the character U+%1, which an XML property list cannot hold")
                                .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0'))));
            escaped += c;
        }
        m_out += escaped.toUtf8();
        return true;
    }

    void indent(int depth) { m_out.append(QByteArray(depth, '\t')); }

    bool leaf(const char *tag, const QByteArray &content, int depth)
    {
        indent(depth);
        m_out += '<' + QByteArray(tag) + '>' + content + "</" + QByteArray(tag) + ">\n";
        return true;
    }

    bool writeValue(const Value &v, int depth)
    {
        switch (v.type) {
        case Value::Type::Dictionary:
        case Value::Type::Array: {
            const bool dictionary = v.type == Value::Type::Dictionary;
            const QByteArray tag = dictionary ? "dict" : "array";
            indent(depth);
            if (v.items.empty()) {
                m_out += '<' + tag + "/>\n";
                return true;
            }
            m_out += '<' + tag + ">\n";
            for (size_t i = 0; i < v.items.size(); ++i) {
                if (dictionary) {
                    indent(depth + 1);
                    m_out += "<key>";
                    if (!appendText(v.keys[i]))
                        return false;
                    m_out += "</key>\n";
                }
                if (!writeValue(v.items[i], depth + 1))
                    return false;
            }
            indent(depth);
            m_out += "</" + tag + ">\n";
            return true;
        }
        case Value::Type::String:
            indent(depth);
            m_out += "<string>";
            if (!appendText(v.text))
                return false;
            m_out += "</string>\n";
            return true;
        case Value::Type::Data:
            return leaf("data", v.data.toBase64(), depth);
        case Value::Type::Date: {
            // An XML date has whole seconds: a list read from XML keeps
            // the text it held, but a fraction from elsewhere cannot be
            // written in a way other readers take.
            if (v.text.isEmpty() && std::isfinite(v.real) && v.real != std::floor(v.real))
                return fail(QStringLiteral("a date with a fraction of a second, which an XML property list cannot "
                                           "hold"));
            const std::optional<QString> text = v.text.isEmpty() ? dateText(v.real) : std::optional(v.text);
            if (!text)
                return fail(QStringLiteral("a date outside the years 1 to 9999, which an XML property list cannot "
                                           "hold"));
            return leaf("date", text->toLatin1(), depth);
        }
        case Value::Type::Integer:
            return leaf("integer", integerText(v.integer), depth);
        case Value::Type::Real:
            return leaf("real", realText(v.real), depth);
        case Value::Type::Boolean:
            indent(depth);
            m_out += v.integer ? "<true/>\n" : "<false/>\n";
            return true;
        case Value::Type::Uid:
            return fail(QStringLiteral("a UID, which an XML property list cannot hold"));
        }
        return false;
    }

    QByteArray m_out;
    QString m_error;
};

// Objects in depth-first order, the top one first, none shared.
class BinaryWriter {
public:
    QByteArray write(const Value &value)
    {
        const quint64 count = objectCount(value);
        m_refSize = byteCountFor(count);
        m_offsets.reserve(count);
        m_out = "bplist00";
        writeObject(value, 0);
        const quint64 tableOffset = quint64(m_out.size());
        const int offsetSize = byteCountFor(tableOffset);
        for (const quint64 offset : m_offsets)
            appendBigEndian(offset, offsetSize);
        m_out.append(QByteArray(6, '\0'));
        m_out.append(char(offsetSize));
        m_out.append(char(m_refSize));
        appendBigEndian(count, 8);
        appendBigEndian(0, 8);
        appendBigEndian(tableOffset, 8);
        return m_out;
    }

private:
    static int byteCountFor(quint64 value)
    {
        return value <= 0xff ? 1 : value <= 0xffff ? 2 : value <= 0xffffffffu ? 4 : 8;
    }

    static quint64 objectCount(const Value &v)
    {
        quint64 n = 1 + v.keys.size();
        for (const Value &item : v.items)
            n += objectCount(item);
        return n;
    }

    void appendBigEndian(quint64 value, int size)
    {
        for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
            m_out.append(char((value >> shift) & 0xff));
    }

    // As other writers do: non-negative values in the fewest of 1, 2, 4 or
    // 8 bytes (8 being signed), the rest of 64 bits in 8, beyond in 16.
    void appendInteger(Int128 v)
    {
        if (v >= 0 && v <= 0xffffffff) {
            const int size = byteCountFor(quint64(v));
            m_out.append(char(0x10 | std::countr_zero(unsigned(size))));
            appendBigEndian(quint64(v), size);
        } else if (v >= std::numeric_limits<qint64>::min() && v <= std::numeric_limits<qint64>::max()) {
            m_out.append(char(0x13));
            appendBigEndian(quint64(qint64(v)), 8);
        } else {
            m_out.append(char(0x14));
            appendBigEndian(quint64(UInt128(v) >> 64), 8);
            appendBigEndian(quint64(UInt128(v)), 8);
        }
    }

    void appendMarker(int type, quint64 length)
    {
        if (length < 15) {
            m_out.append(char((type << 4) | int(length)));
            return;
        }
        m_out.append(char((type << 4) | 0x0f));
        appendInteger(Int128(length));
    }

    void appendString(const QString &text)
    {
        bool ascii = true;
        for (const QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii) {
            appendMarker(0x5, quint64(text.size()));
            m_out.append(text.toLatin1());
            return;
        }
        appendMarker(0x6, quint64(text.size()));
        for (const QChar c : text)
            appendBigEndian(c.unicode(), 2);
    }

    void appendRef(quint64 index) { appendBigEndian(index, m_refSize); }

    void writeObject(const Value &v, quint64 index)
    {
        m_offsets.push_back(quint64(m_out.size()));
        Q_ASSERT(m_offsets.size() == index + 1);
        switch (v.type) {
        case Value::Type::Dictionary:
        case Value::Type::Array: {
            const bool dictionary = v.type == Value::Type::Dictionary;
            appendMarker(dictionary ? 0xD : 0xA, v.items.size());
            quint64 next = index + 1;
            if (dictionary) {
                for (size_t i = 0; i < v.keys.size(); ++i)
                    appendRef(next++);
            }
            std::vector<quint64> itemIndex;
            itemIndex.reserve(v.items.size());
            for (const Value &item : v.items) {
                itemIndex.push_back(next);
                appendRef(next);
                next += objectCount(item);
            }
            quint64 keyIndex = index + 1;
            for (const QString &key : v.keys) {
                m_offsets.push_back(quint64(m_out.size()));
                Q_ASSERT(m_offsets.size() == keyIndex + 1);
                appendString(key);
                ++keyIndex;
            }
            for (size_t i = 0; i < v.items.size(); ++i)
                writeObject(v.items[i], itemIndex[i]);
            return;
        }
        case Value::Type::String:
            appendString(v.text);
            return;
        case Value::Type::Data:
            appendMarker(0x4, quint64(v.data.size()));
            m_out.append(v.data);
            return;
        case Value::Type::Date:
            m_out.append(char(0x33));
            appendBigEndian(std::bit_cast<quint64>(v.real), 8);
            return;
        case Value::Type::Integer:
            appendInteger(v.integer);
            return;
        case Value::Type::Real:
            if (v.singlePrecision) {
                m_out.append(char(0x22));
                appendBigEndian(std::bit_cast<quint32>(float(v.real)), 4);
            } else {
                m_out.append(char(0x23));
                appendBigEndian(std::bit_cast<quint64>(v.real), 8);
            }
            return;
        case Value::Type::Boolean:
            m_out.append(char(v.integer ? 0x09 : 0x08));
            return;
        case Value::Type::Uid: {
            const int size = byteCountFor(quint64(v.integer));
            m_out.append(char(0x80 | (size - 1)));
            appendBigEndian(quint64(v.integer), size);
            return;
        }
        }
    }

    QByteArray m_out;
    std::vector<quint64> m_offsets;
    int m_refSize = 1;
};

} // namespace

std::optional<QByteArray> writeExact(const Value &value, Format format, QString *why)
{
    if (format == Format::Binary)
        return BinaryWriter().write(value);
    return XmlWriter().write(value, why);
}

} // namespace PropertyList
