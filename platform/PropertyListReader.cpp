// The strict readers of PropertyList::Value: what they accept, they keep
// exactly; what a careful reader would reject, they refuse with a reason.

#include "platform/PropertyListLimits.h"
#include "platform/PropertyListValue.h"

#include <QSet>
#include <QXmlStreamReader>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace PropertyList {

namespace {

__extension__ typedef unsigned __int128 UInt128;
constexpr UInt128 kInt128Max = ~UInt128(0) >> 1;

bool isXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

QStringView trimmedXml(QStringView text)
{
    while (!text.isEmpty() && isXmlSpace(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isXmlSpace(text.back()))
        text.chop(1);
    return text;
}

// Decimal with an optional sign, or unsigned hexadecimal after 0x: what
// careful readers agree on. Anything beyond 128 bits is refused rather
// than cut down.
std::optional<Int128> parseInteger(QStringView text)
{
    text = trimmedXml(text);
    bool negative = false;
    int base = 10;
    if (text.startsWith(u"0x") || text.startsWith(u"0X")) {
        base = 16;
        text = text.sliced(2);
    } else if (text.startsWith(u'-') || text.startsWith(u'+')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    UInt128 magnitude = 0;
    for (const QChar c : text) {
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c.unicode() - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c.unicode() - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c.unicode() - u'A' + 10;
        if (digit < 0)
            return std::nullopt;
        if (magnitude > (kInt128Max + 1 - UInt128(digit)) / UInt128(base))
            return std::nullopt;
        magnitude = magnitude * UInt128(base) + UInt128(digit);
    }
    if (!negative && magnitude > kInt128Max)
        return std::nullopt;
    return negative ? Int128(UInt128(0) - magnitude) : Int128(magnitude);
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// How many decimal digits `text` starts with from `at`.
qsizetype digitsAt(QStringView text, qsizetype at)
{
    qsizetype n = 0;
    while (at + n < text.size() && isDigit(text[at + n]))
        ++n;
    return n;
}

// A decimal real, or nan / inf / infinity in any case. A number too large
// or too small for a double is refused: reading it would change it.
std::optional<double> parseReal(QStringView text)
{
    text = trimmedXml(text);
    bool negative = false;
    if (text.startsWith(u'-') || text.startsWith(u'+')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.compare(u"nan", Qt::CaseInsensitive) == 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (text.compare(u"inf", Qt::CaseInsensitive) == 0 || text.compare(u"infinity", Qt::CaseInsensitive) == 0)
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    // Digits, a point and more digits (digits on at least one side), then
    // an optional exponent.
    const qsizetype whole = digitsAt(text, 0);
    qsizetype at = whole;
    qsizetype fraction = 0;
    if (at < text.size() && text[at] == u'.') {
        fraction = digitsAt(text, at + 1);
        at += 1 + fraction;
    }
    if (whole == 0 && fraction == 0)
        return std::nullopt;
    if (at < text.size() && (text[at] == u'e' || text[at] == u'E')) {
        ++at;
        if (at < text.size() && (text[at] == u'-' || text[at] == u'+'))
            ++at;
        const qsizetype exponent = digitsAt(text, at);
        if (exponent == 0)
            return std::nullopt;
        at += exponent;
    }
    if (at != text.size())
        return std::nullopt;
    const QByteArray latin = text.toLatin1();
    double value = 0;
    const auto [end, error] = std::from_chars(latin.data(), latin.data() + latin.size(), value);
    if (error != std::errc() || end != latin.data() + latin.size())
        return std::nullopt;
    return negative ? -value : value;
}

// YYYY-MM-DDTHH:MM:SSZ, with an optional fraction of a second, for the
// years 1 to 9999. The text is kept, so the date is written back as read.
std::optional<double> parseDate(QStringView text)
{
    // Positions of the separators; digits everywhere else up to the 19th.
    constexpr char kForm[] = "dddd-dd-ddTdd:dd:dd";
    constexpr qsizetype kLength = sizeof kForm - 1;
    if (text.size() < kLength + 1 || text.back() != u'Z')
        return std::nullopt;
    for (qsizetype i = 0; i < kLength; ++i) {
        if (kForm[i] == 'd' ? !isDigit(text[i]) : text[i] != QLatin1Char(kForm[i]))
            return std::nullopt;
    }
    const QStringView rest = text.sliced(kLength, text.size() - kLength - 1);
    if (!rest.isEmpty() && (rest.front() != u'.' || rest.size() < 2 || digitsAt(rest, 1) != rest.size() - 1))
        return std::nullopt;
    auto number = [&](qsizetype from, qsizetype count) {
        int n = 0;
        for (qsizetype i = from; i < from + count; ++i)
            n = n * 10 + (text[i].unicode() - u'0');
        return n;
    };
    const int year = number(0, 4);
    const int month = number(5, 2);
    const int day = number(8, 2);
    const int hour = number(11, 2);
    const int minute = number(14, 2);
    const int second = number(17, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0))
        return std::nullopt;
    const qint64 seconds = daysSince2001(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    double fraction = 0;
    if (!rest.isEmpty()) {
        const QByteArray digits = "0" + rest.toLatin1();
        std::from_chars(digits.constData(), digits.constData() + digits.size(), fraction);
    }
    return double(seconds) + fraction;
}

// Standard base64 with its padding; whitespace between the characters is
// allowed, anything else outside the alphabet is not.
std::optional<QByteArray> parseBase64(QStringView text)
{
    QByteArray compact;
    compact.reserve(text.size());
    for (const QChar c : text) {
        if (isXmlSpace(c))
            continue;
        const char16_t u = c.unicode();
        const bool inAlphabet = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9')
                                || u == u'+' || u == u'/' || u == u'=';
        if (!inAlphabet)
            return std::nullopt;
        compact.append(char(u));
    }
    if (compact.size() % 4 != 0)
        return std::nullopt;
    const qsizetype padding = compact.endsWith("==") ? 2 : compact.endsWith('=') ? 1 : 0;
    const qsizetype firstPad = compact.indexOf('=');
    if (firstPad >= 0 && firstPad != compact.size() - padding)
        return std::nullopt;
    return QByteArray::fromBase64(compact);
}

// The first key that occurs twice in a dictionary, or none. An open
// table of indices, twice as large as there are keys, probed linearly.
const QString *duplicateKey(const std::vector<QString> &keys)
{
    if (keys.size() <= 8) {
        for (size_t i = 1; i < keys.size(); ++i) {
            for (size_t j = 0; j < i; ++j) {
                if (keys[i] == keys[j])
                    return &keys[i];
            }
        }
        return nullptr;
    }
    size_t tableSize = 16;
    while (tableSize < keys.size() * 2)
        tableSize *= 2;
    constexpr quint32 kFree = ~quint32(0);
    std::vector<quint32> table(tableSize, kFree);
    for (size_t i = 0; i < keys.size(); ++i) {
        size_t at = qHash(keys[i]) & (tableSize - 1);
        while (table[at] != kFree) {
            if (keys[table[at]] == keys[i])
                return &keys[i];
            at = (at + 1) & (tableSize - 1);
        }
        table[at] = quint32(i);
    }
    return nullptr;
}

class XmlReader {
public:
    XmlReader(const QByteArray &bytes, const Limits &limits) : m_reader(bytes), m_limits(limits) {}

    std::optional<Value> read(QString *why)
    {
        std::optional<Value> value = readDocument();
        // The XML reader's own complaint comes first: what follows from it
        // here would only be a consequence.
        if (m_reader.hasError())
            m_error = QStringLiteral("not well-formed XML (line %1: %2)")
                          .arg(m_reader.lineNumber())
                          .arg(m_reader.errorString());
        if (value && m_error.isEmpty())
            return value;
        if (why)
            *why = m_error.isEmpty() ? QStringLiteral("not an XML property list") : m_error;
        return std::nullopt;
    }

private:
    bool fail(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("%1 (line %2)").arg(what).arg(m_reader.lineNumber());
        return false;
    }

    // The next element start or end, past comments, processing
    // instructions and whitespace; text there is refused.
    QXmlStreamReader::TokenType nextMarkup()
    {
        for (;;) {
            const QXmlStreamReader::TokenType token = m_reader.readNext();
            switch (token) {
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction:
                continue;
            case QXmlStreamReader::Characters:
                if (m_reader.isWhitespace())
                    continue;
                fail(QStringLiteral("text outside a value"));
                return QXmlStreamReader::Invalid;
            case QXmlStreamReader::EntityReference:
                fail(QStringLiteral("an undeclared entity &%1;").arg(m_reader.name()));
                return QXmlStreamReader::Invalid;
            default:
                return token;
            }
        }
    }

    // The text of a leaf element up to its end; an element inside is refused.
    std::optional<QString> leafText()
    {
        QString text;
        for (;;) {
            switch (m_reader.readNext()) {
            case QXmlStreamReader::Characters:
                text += m_reader.text();
                continue;
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction:
                continue;
            case QXmlStreamReader::EndElement:
                return text;
            case QXmlStreamReader::StartElement:
                fail(QStringLiteral("an element <%1> inside a value").arg(m_reader.qualifiedName()));
                return std::nullopt;
            case QXmlStreamReader::EntityReference:
                fail(QStringLiteral("an undeclared entity &%1;").arg(m_reader.name()));
                return std::nullopt;
            default:
                fail(QStringLiteral("unexpected markup"));
                return std::nullopt;
            }
        }
    }

    std::optional<Value> readDocument()
    {
        if (m_reader.readNext() != QXmlStreamReader::StartDocument)
            return std::nullopt;
        const QStringView encoding = m_reader.documentEncoding();
        if (!encoding.isEmpty() && encoding.compare(u"UTF-8", Qt::CaseInsensitive) != 0) {
            fail(QStringLiteral("an encoding other than UTF-8"));
            return std::nullopt;
        }
        QXmlStreamReader::TokenType token = QXmlStreamReader::NoToken;
        for (;;) {
            token = nextMarkup();
            if (token != QXmlStreamReader::DTD)
                break;
            if (!m_reader.entityDeclarations().isEmpty()) {
                fail(QStringLiteral("an entity declaration"));
                return std::nullopt;
            }
        }
        if (token != QXmlStreamReader::StartElement || m_reader.qualifiedName() != u"plist") {
            fail(QStringLiteral("no <plist> element"));
            return std::nullopt;
        }
        if (nextMarkup() != QXmlStreamReader::StartElement) {
            fail(QStringLiteral("a <plist> without a value"));
            return std::nullopt;
        }
        std::optional<Value> value = readValue(1);
        if (!value)
            return std::nullopt;
        if (nextMarkup() != QXmlStreamReader::EndElement) {
            fail(QStringLiteral("more than one value in <plist>"));
            return std::nullopt;
        }
        if (nextMarkup() != QXmlStreamReader::EndDocument || m_reader.hasError())
            return std::nullopt;
        return value;
    }

    // At the start tag of a value.
    std::optional<Value> readValue(int depth)
    {
        if (depth > m_limits.maxDepth) {
            fail(QStringLiteral("nested too deeply"));
            return std::nullopt;
        }
        const QString name = m_reader.qualifiedName().toString();
        Value v;
        if (name == u"dict")
            return readDictionary(depth);
        if (name == u"array") {
            v.type = Value::Type::Array;
            for (;;) {
                const QXmlStreamReader::TokenType token = nextMarkup();
                if (token == QXmlStreamReader::EndElement)
                    return v;
                if (token != QXmlStreamReader::StartElement)
                    return std::nullopt;
                std::optional<Value> item = readValue(depth + 1);
                if (!item)
                    return std::nullopt;
                v.items.push_back(std::move(*item));
            }
        }
        const std::optional<QString> text = leafText();
        if (!text)
            return std::nullopt;
        if (name == u"string") {
            v.type = Value::Type::String;
            v.text = *text;
        } else if (name == u"data") {
            std::optional<QByteArray> data = parseBase64(*text);
            if (!data)
                return failValue(QStringLiteral("bad base64 in <data>"));
            v.type = Value::Type::Data;
            v.data = std::move(*data);
        } else if (name == u"date") {
            const std::optional<double> seconds = parseDate(*text);
            if (!seconds)
                return failValue(QStringLiteral("a bad date '%1'").arg(*text));
            v.type = Value::Type::Date;
            v.real = *seconds;
            v.text = *text;
        } else if (name == u"integer") {
            const std::optional<Int128> integer = parseInteger(*text);
            if (!integer)
                return failValue(QStringLiteral("a bad or too large integer '%1'").arg(*text));
            v.type = Value::Type::Integer;
            v.integer = *integer;
        } else if (name == u"real") {
            const std::optional<double> real = parseReal(*text);
            if (!real)
                return failValue(QStringLiteral("a bad real '%1'").arg(*text));
            v.type = Value::Type::Real;
            v.real = *real;
        } else if (name == u"true" || name == u"false") {
            if (!trimmedXml(*text).isEmpty())
                return failValue(QStringLiteral("text inside <%1>").arg(name));
            v.type = Value::Type::Boolean;
            v.integer = name == u"true" ? 1 : 0;
        } else {
            return failValue(QStringLiteral("an unknown element <%1>").arg(name));
        }
        return v;
    }

    std::optional<Value> readDictionary(int depth)
    {
        Value v;
        v.type = Value::Type::Dictionary;
        QSet<QString> seen;
        for (;;) {
            QXmlStreamReader::TokenType token = nextMarkup();
            if (token == QXmlStreamReader::EndElement)
                return v;
            if (token != QXmlStreamReader::StartElement)
                return std::nullopt;
            if (m_reader.qualifiedName() != u"key")
                return failValue(QStringLiteral("a value without a key"));
            std::optional<QString> key = leafText();
            if (!key)
                return std::nullopt;
            if (seen.contains(*key))
                return failValue(QStringLiteral("the key '%1' twice").arg(*key));
            seen.insert(*key);
            token = nextMarkup();
            if (token != QXmlStreamReader::StartElement || m_reader.qualifiedName() == u"key")
                return failValue(QStringLiteral("the key '%1' without a value").arg(*key));
            std::optional<Value> item = readValue(depth + 1);
            if (!item)
                return std::nullopt;
            v.keys.push_back(*key);
            v.items.push_back(std::move(*item));
        }
    }

    std::optional<Value> failValue(const QString &what)
    {
        fail(what);
        return std::nullopt;
    }

    QXmlStreamReader m_reader;
    const Limits &m_limits;
    QString m_error;
};

// The plain form nearly every XML list is written in, read straight from
// its UTF-8 bytes: the usual declaration and document type, elements
// without attributes (but <plist version="1.0">), text with the predefined
// entities and character references. At anything else (comments, CDATA,
// other declarations, a carriage return, text that is not valid UTF-8, a
// malformed or refused value) it gives up, and the general reader above
// reads the list from the start and gives the verdict: this reader only
// ever accepts what that one accepts, as the same value.
class PlainXmlReader {
public:
    PlainXmlReader(const QByteArray &bytes, const Limits &limits)
        : m_at(bytes.constData()), m_end(bytes.constData() + bytes.size()), m_limits(limits)
    {
    }

    std::optional<Value> read()
    {
        take("\xEF\xBB\xBF");
        if (!take(R"(<?xml version="1.0" encoding="UTF-8"?>)") && startsWith("<?"))
            return std::nullopt;
        skipSpace();
        take(R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">)");
        skipSpace();
        if (!take(R"(<plist version="1.0">)") && !take("<plist>"))
            return std::nullopt;
        skipSpace();
        const std::optional<Tag> tag = readTag();
        if (!tag || tag->kind == Tag::Close)
            return std::nullopt;
        std::optional<Value> value = readValue(*tag, 1);
        if (!value)
            return std::nullopt;
        skipSpace();
        if (!take("</plist>"))
            return std::nullopt;
        skipSpace();
        if (m_at != m_end)
            return std::nullopt;
        return value;
    }

private:
    enum class Name { Plist, Dict, Array, Key, String, Data, Date, Integer, Real, True, False };
    struct Tag {
        enum Kind { Open, Close, Empty } kind;
        Name name;
    };

    bool startsWith(std::string_view text) const
    {
        return size_t(m_end - m_at) >= text.size() && std::memcmp(m_at, text.data(), text.size()) == 0;
    }

    bool take(std::string_view text)
    {
        if (!startsWith(text))
            return false;
        m_at += text.size();
        return true;
    }

    void skipSpace()
    {
        // A carriage return is left to the general reader, which folds
        // line ends.
        while (m_at < m_end && (*m_at == ' ' || *m_at == '\t' || *m_at == '\n'))
            ++m_at;
    }

    static std::optional<Name> nameOf(std::string_view name)
    {
        static constexpr std::pair<std::string_view, Name> kNames[] = {
            {"key", Name::Key},         {"string", Name::String}, {"integer", Name::Integer},
            {"dict", Name::Dict},       {"array", Name::Array},   {"real", Name::Real},
            {"true", Name::True},       {"false", Name::False},   {"date", Name::Date},
            {"data", Name::Data},       {"plist", Name::Plist},
        };
        for (const auto &[text, value] : kNames) {
            if (text == name)
                return value;
        }
        return std::nullopt;
    }

    std::optional<Tag> readTag()
    {
        if (m_at == m_end || *m_at != '<')
            return std::nullopt;
        ++m_at;
        Tag tag{Tag::Open, Name::Plist};
        if (m_at < m_end && *m_at == '/') {
            tag.kind = Tag::Close;
            ++m_at;
        }
        const char *name = m_at;
        while (m_at < m_end && *m_at >= 'a' && *m_at <= 'z')
            ++m_at;
        const std::optional<Name> known = nameOf(std::string_view(name, size_t(m_at - name)));
        if (!known)
            return std::nullopt;
        tag.name = *known;
        if (tag.kind == Tag::Open && take("/>"))
            tag.kind = Tag::Empty;
        else if (!take(">"))
            return std::nullopt;
        return tag;
    }

    bool closes(Name name)
    {
        const std::optional<Tag> tag = readTag();
        return tag && tag->kind == Tag::Close && tag->name == name;
    }

    static void appendCodePoint(QString &text, char32_t c)
    {
        if (c >= 0x10000) {
            text += QChar(QChar::highSurrogate(c));
            text += QChar(QChar::lowSurrogate(c));
        } else {
            text += QChar(char16_t(c));
        }
    }

    static bool isXmlChar(char32_t c)
    {
        return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
               || (c >= 0x10000 && c <= 0x10FFFF);
    }

    // One character of valid UTF-8 from `at`, moved past it.
    static std::optional<char32_t> utf8At(const char *&at, const char *end)
    {
        const auto lead = uchar(*at);
        int more = 0;
        char32_t c = 0;
        uchar low = 0x80;
        uchar high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            c = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            c = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return std::nullopt;
        }
        if (end - at <= more)
            return std::nullopt;
        for (int i = 1; i <= more; ++i) {
            const auto next = uchar(at[i]);
            if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF))
                return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        at += 1 + more;
        return c;
    }

    // A reference after its '&', moved past its ';'.
    static std::optional<char32_t> referenceAt(const char *&at, const char *end)
    {
        const char *semicolon = static_cast<const char *>(std::memchr(at, ';', size_t(std::min<qsizetype>(end - at, 12))));
        if (!semicolon)
            return std::nullopt;
        const std::string_view name(at, size_t(semicolon - at));
        at = semicolon + 1;
        static constexpr std::pair<std::string_view, char32_t> kEntities[] = {
            {"amp", U'&'}, {"lt", U'<'}, {"gt", U'>'}, {"quot", U'"'}, {"apos", U'\''}};
        for (const auto &[entity, c] : kEntities) {
            if (name == entity)
                return c;
        }
        if (name.size() < 2 || name[0] != '#')
            return std::nullopt;
        const bool hex = name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        quint32 c = 0;
        const auto [end2, error] = std::from_chars(digits.data(), digits.data() + digits.size(), c, hex ? 16 : 10);
        if (digits.empty() || error != std::errc() || end2 != digits.data() + digits.size() || !isXmlChar(c))
            return std::nullopt;
        return c;
    }

    // The text up to the next tag.
    std::optional<QString> readText()
    {
        const char *start = m_at;
        const auto *tagStart = static_cast<const char *>(std::memchr(m_at, '<', size_t(m_end - m_at)));
        if (!tagStart || tagStart + 1 == m_end || tagStart[1] == '!' || tagStart[1] == '?')
            return std::nullopt;
        m_at = tagStart;
        bool plain = true;
        for (const char *c = start; c < tagStart && plain; ++c)
            plain = (*c >= 0x20 && *c < 0x7F && *c != '&' && *c != ']') || *c == '\t' || *c == '\n';
        if (plain)
            return QString::fromLatin1(start, tagStart - start);
        QString text;
        text.reserve(tagStart - start);
        for (const char *c = start; c < tagStart;) {
            const auto byte = uchar(*c);
            if (byte == '&') {
                ++c;
                const std::optional<char32_t> referenced = referenceAt(c, tagStart);
                if (!referenced)
                    return std::nullopt;
                appendCodePoint(text, *referenced);
            } else if (byte >= 0x80) {
                const std::optional<char32_t> decoded = utf8At(c, tagStart);
                if (!decoded || !isXmlChar(*decoded))
                    return std::nullopt;
                appendCodePoint(text, *decoded);
            } else if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F
                       || (byte == ']' && tagStart - c >= 3 && c[1] == ']' && c[2] == '>')) {
                // (DEL is a character of XML; it is rare enough to leave.)
                return std::nullopt;
            } else {
                text += QLatin1Char(char(byte));
                ++c;
            }
        }
        return text;
    }

    std::optional<QString> leafText(const Tag &tag)
    {
        if (tag.kind == Tag::Empty)
            return QString();
        std::optional<QString> text = readText();
        if (!text || !closes(tag.name))
            return std::nullopt;
        return text;
    }

    std::optional<Value> readValue(const Tag &tag, int depth)
    {
        if (depth > m_limits.maxDepth)
            return std::nullopt;
        Value v;
        switch (tag.name) {
        case Name::Dict:
        case Name::Array:
            return readContainer(tag, depth);
        case Name::Plist:
        case Name::Key:
            return std::nullopt;
        default:
            break;
        }
        const std::optional<QString> text = leafText(tag);
        if (!text)
            return std::nullopt;
        switch (tag.name) {
        case Name::String:
            v.type = Value::Type::String;
            v.text = *text;
            return v;
        case Name::Data: {
            std::optional<QByteArray> data = parseBase64(*text);
            if (!data)
                return std::nullopt;
            v.type = Value::Type::Data;
            v.data = std::move(*data);
            return v;
        }
        case Name::Date: {
            const std::optional<double> seconds = parseDate(*text);
            if (!seconds)
                return std::nullopt;
            v.type = Value::Type::Date;
            v.real = *seconds;
            v.text = *text;
            return v;
        }
        case Name::Integer: {
            const std::optional<Int128> integer = parseInteger(*text);
            if (!integer)
                return std::nullopt;
            v.type = Value::Type::Integer;
            v.integer = *integer;
            return v;
        }
        case Name::Real: {
            const std::optional<double> real = parseReal(*text);
            if (!real)
                return std::nullopt;
            v.type = Value::Type::Real;
            v.real = *real;
            return v;
        }
        case Name::True:
        case Name::False:
            if (!trimmedXml(*text).isEmpty())
                return std::nullopt;
            v.type = Value::Type::Boolean;
            v.integer = tag.name == Name::True ? 1 : 0;
            return v;
        default:
            return std::nullopt;
        }
    }

    std::optional<Value> readContainer(const Tag &tag, int depth)
    {
        Value v;
        const bool dictionary = tag.name == Name::Dict;
        v.type = dictionary ? Value::Type::Dictionary : Value::Type::Array;
        if (tag.kind == Tag::Empty)
            return v;
        for (;;) {
            skipSpace();
            std::optional<Tag> next = readTag();
            if (!next)
                return std::nullopt;
            if (next->kind == Tag::Close) {
                if (next->name != tag.name || (dictionary && duplicateKey(v.keys)))
                    return std::nullopt;
                return v;
            }
            if (dictionary) {
                if (next->name != Name::Key)
                    return std::nullopt;
                std::optional<QString> key = leafText(*next);
                if (!key)
                    return std::nullopt;
                skipSpace();
                next = readTag();
                if (!next || next->kind == Tag::Close)
                    return std::nullopt;
                v.keys.push_back(std::move(*key));
            }
            std::optional<Value> item = readValue(*next, depth + 1);
            if (!item)
                return std::nullopt;
            v.items.push_back(std::move(*item));
        }
    }

    const char *m_at;
    const char *m_end;
    const Limits &m_limits;
};

// Reads the objects of a binary list that isWithinLimits has checked:
// every extent, reference and key type is known to be sound, so this only
// decodes, and refuses what the structure check lets through but a strict
// reader does not (strings invalid in their encoding, duplicate keys, and
// the null, fill and set objects, which no preference file holds).
class BinaryReader {
public:
    BinaryReader(const QByteArray &bytes, const BinaryTrailer &trailer)
        : m_bytes(bytes), m_data(reinterpret_cast<const uchar *>(bytes.constData())), m_trailer(trailer)
    {
    }

    std::optional<Value> read(QString *why)
    {
        std::optional<Value> value = readObject(m_trailer.top);
        if (!value && why)
            *why = m_error;
        return value;
    }

private:
    std::optional<Value> fail(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = what;
        return std::nullopt;
    }

    quint64 readLength(quint64 &pos, quint64 length) const
    {
        if (length != 0x0f)
            return length;
        const int n = 1 << (m_data[pos] & 0x0f);
        length = readBigEndian(m_data + pos + 1, n);
        pos += 1 + quint64(n);
        return length;
    }

    std::optional<Value> readObject(quint64 index)
    {
        quint64 pos = binaryObjectOffset(m_bytes, m_trailer, index);
        const uchar marker = m_data[pos++];
        const int type = marker >> 4;
        const quint64 low = marker & 0x0f;
        Value v;
        switch (type) {
        case 0x0:
            if (marker != 0x08 && marker != 0x09)
                return fail(QStringLiteral("a null or fill object"));
            v.type = Value::Type::Boolean;
            v.integer = marker == 0x09 ? 1 : 0;
            return v;
        case 0x1: {
            const int size = 1 << low;
            v.type = Value::Type::Integer;
            if (size == 16) {
                UInt128 bits = (UInt128(readBigEndian(m_data + pos, 8)) << 64) | readBigEndian(m_data + pos + 8, 8);
                v.integer = Int128(bits);
            } else if (size == 8) {
                v.integer = qint64(readBigEndian(m_data + pos, 8));
            } else {
                v.integer = readBigEndian(m_data + pos, size); // narrower integers are unsigned
            }
            return v;
        }
        case 0x2:
            v.type = Value::Type::Real;
            if (low == 2) {
                v.real = double(std::bit_cast<float>(quint32(readBigEndian(m_data + pos, 4))));
                v.singlePrecision = true;
            } else {
                v.real = std::bit_cast<double>(readBigEndian(m_data + pos, 8));
            }
            return v;
        case 0x3:
            v.type = Value::Type::Date;
            v.real = std::bit_cast<double>(readBigEndian(m_data + pos, 8));
            return v;
        case 0x4: {
            const quint64 length = readLength(pos, low);
            v.type = Value::Type::Data;
            v.data = QByteArray(reinterpret_cast<const char *>(m_data + pos), qsizetype(length));
            return v;
        }
        case 0x5:
        case 0x6: {
            const quint64 length = readLength(pos, low);
            std::optional<QString> text = readString(type, pos, length);
            if (!text)
                return std::nullopt;
            v.type = Value::Type::String;
            v.text = std::move(*text);
            return v;
        }
        case 0x8:
            v.type = Value::Type::Uid;
            v.integer = readBigEndian(m_data + pos, int(low) + 1);
            return v;
        case 0xA:
        case 0xD: {
            v.type = type == 0xA ? Value::Type::Array : Value::Type::Dictionary;
            const quint64 length = readLength(pos, low);
            return readContainer(v, pos, length);
        }
        default:
            return fail(QStringLiteral("a set object"));
        }
    }

    // ASCII must be ASCII and UTF-16 must pair its surrogates; a reader
    // that repairs either loses what the file held.
    std::optional<QString> readString(int type, quint64 pos, quint64 length)
    {
        if (type == 0x5) {
            const char *bytes = reinterpret_cast<const char *>(m_data + pos);
            for (quint64 i = 0; i < length; ++i) {
                if (uchar(bytes[i]) >= 0x80) {
                    fail(QStringLiteral("an ASCII string holding the byte 0x%1")
                             .arg(uchar(bytes[i]), 2, 16, QLatin1Char('0')));
                    return std::nullopt;
                }
            }
            return QString::fromLatin1(bytes, qsizetype(length));
        }
        QString text(qsizetype(length), Qt::Uninitialized);
        for (quint64 i = 0; i < length; ++i)
            text[qsizetype(i)] = QChar(char16_t(readBigEndian(m_data + pos + 2 * i, 2)));
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                ++i;
                continue;
            }
            if (text[i].isSurrogate()) {
                fail(QStringLiteral("a UTF-16 string with a lone surrogate"));
                return std::nullopt;
            }
        }
        return text;
    }

    std::optional<Value> readContainer(Value &v, quint64 pos, quint64 length)
    {
        const int refSize = m_trailer.refSize;
        auto ref = [&](quint64 i) { return readBigEndian(m_data + pos + i * quint64(refSize), refSize); };
        const bool dictionary = v.type == Value::Type::Dictionary;
        v.items.reserve(size_t(length));
        if (dictionary)
            v.keys.reserve(size_t(length));
        for (quint64 i = 0; i < length; ++i) {
            if (dictionary) {
                std::optional<Value> key = readObject(ref(i));
                if (!key)
                    return std::nullopt;
                v.keys.push_back(std::move(key->text));
            }
            std::optional<Value> item = readObject(ref(dictionary ? length + i : i));
            if (!item)
                return std::nullopt;
            v.items.push_back(std::move(*item));
        }
        if (const QString *twice = dictionary ? duplicateKey(v.keys) : nullptr)
            return fail(QStringLiteral("the key '%1' twice").arg(*twice));
        return std::move(v);
    }

    const QByteArray &m_bytes;
    const uchar *m_data;
    BinaryTrailer m_trailer;
    QString m_error;
};

// Readers tell an XML list by its first bytes, so a list that starts
// otherwise (even as well-formed XML) is not one to them.
bool startsLikeXmlList(const QByteArray &bytes)
{
    QByteArrayView text(bytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    return text.startsWith("<?xml") || text.startsWith("<plist");
}

} // namespace

std::optional<Value> readPlainXml(const QByteArray &bytes, const Limits &limits)
{
    return PlainXmlReader(bytes, limits).read();
}

std::optional<Value> readGeneralXml(const QByteArray &bytes, const Limits &limits, QString *why)
{
    return XmlReader(bytes, limits).read(why);
}

std::optional<Value> readExact(const QByteArray &bytes, const Limits &limits, Format *format, QString *why)
{
    if (!isWithinLimits(bytes, limits)) {
        if (why)
            *why = QStringLiteral("not a property list, or too large or too deeply nested");
        return std::nullopt;
    }
    std::optional<Value> value;
    if (looksBinary(bytes)) {
        const std::optional<BinaryTrailer> trailer = readBinaryTrailer(bytes, limits);
        if (trailer)
            value = BinaryReader(bytes, *trailer).read(why);
    } else if (!startsLikeXmlList(bytes)) {
        if (why)
            *why = QStringLiteral("neither an XML declaration nor <plist> at the start");
        return std::nullopt;
    } else {
        value = readPlainXml(bytes, limits);
        if (!value)
            value = readGeneralXml(bytes, limits, why);
    }
    if (value && format)
        *format = looksBinary(bytes) ? Format::Binary : Format::Xml;
    return value;
}

} // namespace PropertyList
