// How long reading and writing property lists takes: the application's
// read of a domain (PropertyList::parse), the preference tool's exact read
// and write, and one whole `write` of the tool, on the login window's
// domain and on a domain of 100,000 keys, in both encodings.
//
//   lumora-plist-bench [--benchmark_filter=...]

#include "platform/PropertyList.h"
#include "platform/PropertyListValue.h"
#include "tools/DefaultsTool.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

using PropertyList::Format;
using PropertyList::Value;

Value scalar(Value::Type type)
{
    Value v;
    v.type = type;
    return v;
}

// The login window's domain as a Mac OS X 10.4 volume holds it.
Value loginWindowDomain()
{
    Value domain;
    domain.insert(QStringLiteral("AdminHostInfo"), Value::string(QStringLiteral("IPAddress")));
    domain.insert(QStringLiteral("LoginwindowText"), Value::string(QStringLiteral("Welcome to the lab \u2014 ask at the desk")));
    domain.insert(QStringLiteral("DesktopPicture"),
                  Value::string(QStringLiteral("/Library/Desktop Pictures/Aqua Blue.jpg")));
    domain.insert(QStringLiteral("lastUserName"), Value::string(QStringLiteral("student")));
    Value hide = scalar(Value::Type::Boolean);
    hide.integer = 1;
    domain.insert(QStringLiteral("SHOWFULLNAME"), hide);
    Value retries = scalar(Value::Type::Integer);
    retries.integer = 3;
    domain.insert(QStringLiteral("RetriesUntilHint"), retries);
    Value users = scalar(Value::Type::Array);
    users.items = {Value::string(QStringLiteral("admin")), Value::string(QStringLiteral("root"))};
    domain.insert(QStringLiteral("HiddenUsersList"), users);
    return domain;
}

// Every kind of value in turn, as a large domain of some program holds them.
Value largeDomain(int keys)
{
    Value domain;
    domain.keys.reserve(size_t(keys));
    domain.items.reserve(size_t(keys));
    for (int i = 0; i < keys; ++i) {
        Value v;
        switch (i % 7) {
        case 0:
            v = Value::string(QStringLiteral("value number %1 with some text").arg(i));
            break;
        case 1:
            v = scalar(Value::Type::Integer);
            v.integer = qint64(i) * 7919 - 400000;
            break;
        case 2:
            v = scalar(Value::Type::Real);
            v.real = i / 7.0;
            break;
        case 3:
            v = scalar(Value::Type::Boolean);
            v.integer = i & 8 ? 1 : 0;
            break;
        case 4:
            v = scalar(Value::Type::Date);
            v.real = 136405815.0 + i % 60;
            break;
        case 5:
            v = scalar(Value::Type::Data);
            v.data = QByteArray(12, char(i));
            break;
        default: {
            v = scalar(Value::Type::Array);
            Value inner;
            inner.insert(QStringLiteral("inner"), Value::string(QStringLiteral("b")));
            Value number = scalar(Value::Type::Integer);
            number.integer = i;
            v.items = {Value::string(QStringLiteral("a")), number, inner};
            break;
        }
        }
        domain.keys.push_back(QStringLiteral("key%1").arg(i, 6, 10, QLatin1Char('0')));
        domain.items.push_back(std::move(v));
    }
    return domain;
}

const QByteArray &bytesOf(bool large, Format format)
{
    static const QByteArray smallXml = *PropertyList::writeExact(loginWindowDomain(), Format::Xml);
    static const QByteArray smallBinary = *PropertyList::writeExact(loginWindowDomain(), Format::Binary);
    static const QByteArray largeXml = *PropertyList::writeExact(largeDomain(100000), Format::Xml);
    static const QByteArray largeBinary = *PropertyList::writeExact(largeDomain(100000), Format::Binary);
    if (large)
        return format == Format::Xml ? largeXml : largeBinary;
    return format == Format::Xml ? smallXml : smallBinary;
}

// Arguments: 0 = the login window's domain, 1 = 100,000 keys; 0 = XML, 1 = binary.
void arguments(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"large", "binary"});
    for (int large : {0, 1})
        for (int binary : {0, 1})
            b->Args({large, binary});
    b->Unit(benchmark::kMicrosecond);
}

Format formatArg(const benchmark::State &state)
{
    return state.range(1) ? Format::Binary : Format::Xml;
}

// What the application does with a domain file's bytes.
void BM_ApplicationRead(benchmark::State &state)
{
    const QByteArray &bytes = bytesOf(state.range(0) != 0, formatArg(state));
    for (auto _ : state) {
        auto value = PropertyList::parse(bytes);
        if (!value)
            state.SkipWithError("not read");
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ApplicationRead)->Apply(arguments);

void BM_ExactRead(benchmark::State &state)
{
    const QByteArray &bytes = bytesOf(state.range(0) != 0, formatArg(state));
    for (auto _ : state) {
        auto value = PropertyList::readExact(bytes);
        if (!value)
            state.SkipWithError("not read");
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ExactRead)->Apply(arguments);

void BM_ExactWrite(benchmark::State &state)
{
    const Format format = formatArg(state);
    const Value value = *PropertyList::readExact(bytesOf(state.range(0) != 0, format));
    for (auto _ : state) {
        auto bytes = PropertyList::writeExact(value, format);
        if (!bytes)
            state.SkipWithError("not written");
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_ExactWrite)->Apply(arguments);

// One `lumora-defaults write` in-process: lock, read, change one key,
// write, check and rename into place.
void BM_DefaultsWrite(benchmark::State &state)
{
    // A RAM disk where there is one: the tool syncs what it writes.
    const bool shm = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
    QTemporaryDir dir(shm ? QStringLiteral("/dev/shm/lumora-plist-bench-XXXXXX") : QString());
    const QByteArray domain = QFile::encodeName(dir.filePath(QStringLiteral("com.example.domain")));
    QFile file(QFile::decodeName(domain) + QStringLiteral(".plist"));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytesOf(state.range(0) != 0, formatArg(state))) < 0) {
        state.SkipWithError("cannot write the domain");
        return;
    }
    file.close();
    int round = 0;
    for (auto _ : state) {
        const QByteArray text = "text " + QByteArray::number(++round % 2);
        if (DefaultsTool::writeKey(domain, "LoginwindowText", text, {}, {}) != 0)
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_DefaultsWrite)->Apply(arguments);

} // namespace

BENCHMARK_MAIN();
