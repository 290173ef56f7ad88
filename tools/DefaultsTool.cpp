#include "tools/DefaultsTool.h"

#include "tools/DefaultsValue.h"
#include "tools/DomainFile.h"

#include <QString>

#include <cmath>
#include <cstdio>

namespace DefaultsTool {

namespace {

using PropertyList::Value;

// Long enough for any number of writers queued behind each other; a save
// waits as long for its own lock.
constexpr std::chrono::seconds kLockWait(10);

void printError(const QByteArray &message)
{
    std::fprintf(stderr, "lumora-defaults: %s\n", message.constData());
}

// Keys and values go into the list as UTF-8; anything else would produce a
// file the login window cannot read.
bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

bool print(const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
}

// Plain values as text, the rest as an XML property list that reads back
// to the same value.
bool printValue(const Value &value, const QByteArray &what)
{
    switch (value.type) {
    case Value::Type::String:
        return print(value.text.toUtf8() + '\n');
    case Value::Type::Boolean:
        return print(value.integer ? "1\n" : "0\n");
    case Value::Type::Integer:
        return print(PropertyList::integerText(value.integer) + '\n');
    case Value::Type::Real:
        // The sign of -0.0 too, which the number formatting leaves out.
        if (value.real == 0 && std::signbit(value.real))
            return print("-0\n");
        return print(QByteArray::number(value.real, 'g', 17) + '\n');
    default:
        break;
    }
    QString why;
    const std::optional<QByteArray> xml = PropertyList::writeExact(value, PropertyList::Format::Xml, &why);
    const std::optional<Value> back = xml ? PropertyList::readExact(*xml) : std::nullopt;
    if (!xml || !back || !(*back == value)) {
        printError(what + ": cannot be shown as XML: " + (why.isEmpty() ? QByteArray("it does not read back")
                                                                        : why.toUtf8()));
        return false;
    }
    return print(*xml);
}

} // namespace

int writeKey(const QByteArray &domainName, const QByteArray &key, const QByteArray &rawValue, const QByteArray &type,
             const QString &root)
{
    const QByteArray value = type.isEmpty() ? DefaultsValue::parse(rawValue) : rawValue;
    if (!isUtf8(key) || !isUtf8(value)) {
        printError("the key and the value must be UTF-8 text");
        return kExitFailure;
    }
    std::optional<Value> newValue = Value::string(QString::fromUtf8(value));
    if (!type.isEmpty() && !(newValue = DefaultsValue::typed(type, rawValue))) {
        printError(key + ": '" + rawValue + "' is not a value of type " + type);
        return kExitFailure;
    }
    DomainFile domain(domainName, root);
    switch (domain.openFolder()) {
    case DomainFile::Folder::Missing:
        printError(domain.shownPath() + ": its folder does not exist");
        return kExitFailure;
    case DomainFile::Folder::Failed:
        return kExitFailure;
    case DomainFile::Folder::Open:
        break;
    }
    if (!domain.lock(kLockWait) || !domain.load())
        return kExitFailure;
    domain.root().insert(QString::fromUtf8(key), std::move(*newValue));
    return domain.store() ? 0 : kExitFailure;
}

int deleteKey(const QByteArray &domainName, const QByteArray &key, const QString &root)
{
    DomainFile domain(domainName, root);
    switch (domain.openFolder()) {
    case DomainFile::Folder::Missing:
        return 0;
    case DomainFile::Folder::Failed:
        return kExitFailure;
    case DomainFile::Folder::Open:
        break;
    }
    if (!domain.lock(kLockWait) || !domain.load())
        return kExitFailure;
    // Nothing to delete is not a failure, and the file is not touched.
    if (!domain.exists() || !domain.root().remove(QString::fromUtf8(key)))
        return 0;
    return domain.store() ? 0 : kExitFailure;
}

int read(const QByteArray &domainName, const QByteArray *key, const QString &root)
{
    DomainFile domain(domainName, root);
    const DomainFile::Folder folder = domain.openFolder();
    if (folder == DomainFile::Folder::Failed)
        return kExitFailure;
    if (folder == DomainFile::Folder::Open && !domain.load())
        return kExitFailure;
    if (!domain.exists()) {
        printError("the domain " + domainName + " does not exist");
        return kExitFailure;
    }
    const Value *value = &domain.root();
    if (key) {
        value = domain.root().find(QString::fromUtf8(*key));
        if (!value) {
            printError("the key " + *key + " does not exist in " + domainName);
            return kExitFailure;
        }
    }
    if (!printValue(*value, key ? *key : domain.shownPath()))
        return kExitFailure;
    return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

} // namespace DefaultsTool
