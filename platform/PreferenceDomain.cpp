#include "platform/PreferenceDomain.h"

#include "platform/PropertyList.h"
#include "platform/PropertyListLimits.h"
#include "platform/VolumeResolver.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <limits>

namespace {

using Problem = DictionaryProblem;

// A file the resolver finds nowhere may still be a link that the host
// follows off the volume: somebody meant a file we must not read. A link to
// nothing at all is a missing file, as it is to the Mac.
Problem missingOrOffVolume(const Volume &volume, const QString &volumePath)
{
    if (volume.isRootFilesystem())
        return Problem::Missing;
    const QString host = QFileInfo(volume.root() + volumePath).canonicalFilePath();
    const QString root = QFileInfo(volume.root()).canonicalFilePath();
    if (host.isEmpty() || root.isEmpty() || host.startsWith(root + QLatin1Char('/')))
        return Problem::Missing;
    return Problem::OffVolume;
}

Problem problemOf(VolumeResolver::Error error)
{
    switch (error) {
    case VolumeResolver::Error::None:
        return Problem::None;
    case VolumeResolver::Error::Missing:
        return Problem::Missing;
    case VolumeResolver::Error::NotAFile:
        return Problem::NotAFile;
    case VolumeResolver::Error::TooManyLinks:
        return Problem::LinkLoop;
    case VolumeResolver::Error::OutsideVolume:
        return Problem::OffVolume;
    case VolumeResolver::Error::NotAFolder:
    case VolumeResolver::Error::Failed:
        return Problem::Unreadable;
    }
    return Problem::Unreadable;
}

struct ProblemText {
    Problem problem;
    const char *log;
    const char *people;
};
constexpr ProblemText kProblemTexts[] = {
    {Problem::Missing, "missing", QT_TRANSLATE_NOOP("Lumora", "it does not exist")},
    {Problem::NotAFile, "not a regular file", QT_TRANSLATE_NOOP("Lumora", "it is not a regular file")},
    {Problem::LinkLoop, "a link loop", QT_TRANSLATE_NOOP("Lumora", "it is a link loop")},
    {Problem::OffVolume, "a link off the volume", QT_TRANSLATE_NOOP("Lumora", "it is a link off the volume")},
    {Problem::TooLarge, "too large", QT_TRANSLATE_NOOP("Lumora", "it is too large")},
    {Problem::TooDeep, "nested too deeply", QT_TRANSLATE_NOOP("Lumora", "it is nested too deeply")},
    {Problem::NotAList, "not a property list", QT_TRANSLATE_NOOP("Lumora", "it is not a property list")},
    {Problem::Unreadable, "cannot be opened", QT_TRANSLATE_NOOP("Lumora", "the system does not let it be opened")},
};

} // namespace

std::optional<QVariantMap> persistentDomainForName(const Volume &volume, const QString &domain)
{
    return readDictionaryOnVolume(volume, domain + QStringLiteral(".plist"));
}

std::optional<QVariantMap> readDictionaryOnVolume(const Volume &volume, const QString &volumePath)
{
    return readDictionaryWithReason(volume, volumePath).values;
}

DictionaryRead readDictionaryWithReason(const Volume &volume, const QString &volumePath)
{
    auto file = VolumeResolver(volume).openForReading(volumePath);
    if (!file) {
        const Problem problem = problemOf(file.error());
        return {std::nullopt, problem == Problem::Missing ? missingOrOffVolume(volume, volumePath) : problem};
    }
    const PropertyList::Limits limits;
    if ((*file)->size() > limits.maxBytes)
        return {std::nullopt, Problem::TooLarge};
    // One byte past the limit, so that a file that grew meanwhile is refused too.
    const QByteArray bytes = (*file)->read(limits.maxBytes + 1);
    if (bytes.size() > limits.maxBytes)
        return {std::nullopt, Problem::TooLarge};
    const auto value = PropertyList::parse(bytes, limits);
    if (!value) {
        // Only the depth tells a list nested too deeply from no list at all.
        const bool tooDeep = PropertyList::isNestedTooDeeply(bytes, limits);
        return {std::nullopt, tooDeep ? Problem::TooDeep : Problem::NotAList};
    }
    if (value->typeId() != QMetaType::QVariantMap)
        return {std::nullopt, Problem::NotAList};
    return {value->toMap(), Problem::None};
}

QString problemLogText(DictionaryProblem problem)
{
    for (const ProblemText &text : kProblemTexts) {
        if (text.problem == problem)
            return QString::fromLatin1(text.log);
    }
    return {};
}

QString problemText(DictionaryProblem problem)
{
    for (const ProblemText &text : kProblemTexts) {
        if (text.problem == problem)
            return QCoreApplication::translate("Lumora", text.people);
    }
    return {};
}

std::optional<QString> stringValue(const QVariantMap &domain, const QString &key)
{
    const auto it = domain.constFind(key);
    if (it == domain.cend() || it->typeId() != QMetaType::QString)
        return std::nullopt;
    return it->toString();
}

std::optional<bool> booleanValue(const QVariantMap &domain, const QString &key)
{
    const auto it = domain.constFind(key);
    if (it == domain.cend())
        return std::nullopt;
    switch (it->typeId()) {
    case QMetaType::Bool:
        return it->toBool();
    case QMetaType::ULongLong:
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
        if (it->toULongLong() <= 1)
            return it->toULongLong() == 1;
        return std::nullopt;
    case QMetaType::QString: {
        const QString text = it->toString().trimmed();
        for (const char *yes : {"YES", "true", "1"}) {
            if (text.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0)
                return true;
        }
        for (const char *no : {"NO", "false", "0"}) {
            if (text.compare(QLatin1String(no), Qt::CaseInsensitive) == 0)
                return false;
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::int32_t> countValue(const QVariantMap &domain, const QString &key)
{
    const auto it = domain.constFind(key);
    if (it == domain.cend())
        return std::nullopt;
    bool isNumber = false;
    qulonglong count = 0;
    switch (it->typeId()) {
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        count = it->toULongLong(&isNumber);
        break;
    case QMetaType::LongLong:
    case QMetaType::Int:
        isNumber = it->toLongLong() >= 0;
        count = qulonglong(it->toLongLong());
        break;
    case QMetaType::QString:
        count = it->toString().trimmed().toULongLong(&isNumber);
        break;
    default:
        break;
    }
    // The property list reader gives a negative integer as its unsigned
    // two's complement; that is no count either.
    if (!isNumber || count > qulonglong(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return std::int32_t(count);
}
