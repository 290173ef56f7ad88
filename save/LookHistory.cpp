// The history of saved looks on the volume.

#include "save/LookHistory.h"

#include "platform/BoundedFile.h"
#include "platform/Log.h"
#include "platform/LookFiles.h"
#include "platform/PropertyList.h"
#include "platform/Sha256.h"
#include "platform/UniqueFd.h"
#include "privileged/Staging.h"
#include "save/StagingFile.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A record is a few lines; anything larger is not one of ours.
constexpr qint64 kMaxRecordBytes = 256 * 1024;
const QString kSavedKey = QStringLiteral("saved");
const QString kPicturesKey = QStringLiteral("pictures");
const QString kValuesKey = QStringLiteral("values");
const QStringList kRoles{QStringLiteral("logo"), QStringLiteral("title"), QStringLiteral("background")};

QString entryPath(const QString &name)
{
    return LookFiles::kFolder + QLatin1Char('/') + name;
}

QString sha256(const QByteArray &bytes)
{
    return Sha256::hex(bytes);
}

// The history folder as it stands: a plain folder (not a link), or why not.
bool folderIsPlain(const VolumeResolver &files, QString *why)
{
    const auto place = files.locate(LookFiles::kFolder);
    if (!place || !place->exists) {
        *why = QStringLiteral("there is no history of looks on the volume");
        return false;
    }
    if (!S_ISDIR(place->info.st_mode)) {
        *why = QStringLiteral("%1 is not a folder (a link?); it is not read").arg(LookFiles::kFolder);
        return false;
    }
    return true;
}

// An entry of the history folder, read through its folder's descriptor
// without following its name; a link, anything but a regular file, a file
// with other names, or one over `limit` is refused with the reason.
std::optional<QByteArray> readEntry(const VolumeResolver &files, const QString &name, qint64 limit, QString *why)
{
    const QString path = entryPath(name);
    auto place = files.locate(path);
    if (!place || !place->exists) {
        *why = QStringLiteral("%1 is missing").arg(path);
        return std::nullopt;
    }
    if (S_ISLNK(place->info.st_mode)) {
        *why = QStringLiteral("%1 is a link; it is not followed").arg(path);
        return std::nullopt;
    }
    if (!S_ISREG(place->info.st_mode) || place->info.st_nlink > 1 || place->info.st_size > limit) {
        *why = QStringLiteral("%1 is not a file of the history").arg(path);
        return std::nullopt;
    }
    UniqueFd fd(::openat(place->folder.get(), place->name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (!fd || ::fstat(fd.get(), &opened) != 0 || opened.st_ino != place->info.st_ino
        || opened.st_dev != place->info.st_dev) {
        *why = QStringLiteral("%1 cannot be read").arg(path);
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly)) {
        *why = QStringLiteral("%1 cannot be read").arg(path);
        return std::nullopt;
    }
    auto bytes = BoundedFile::readAll(file, limit);
    if (!bytes)
        *why = QStringLiteral("%1 cannot be read").arg(path);
    return bytes;
}

QString idOfRecord(const QString &name)
{
    return name.mid(5, name.size() - 5 - 6); // "look-" ... ".plist"
}

// Records oldest first: by time, then by the number of a second look in
// the same second.
bool olderRecord(const QString &a, const QString &b)
{
    const auto key = [](const QString &name) {
        const QString id = idOfRecord(name);
        const qsizetype dash = id.indexOf(QLatin1Char('-'));
        return std::make_pair(id.left(dash < 0 ? id.size() : dash), dash < 0 ? 1 : id.mid(dash + 1).toInt());
    };
    return key(a) < key(b);
}

// A record's fields, checked: anything else is a damaged record.
std::optional<LookHistory::Look> parseRecord(const QString &name, const QByteArray &bytes, QString *why)
{
    PropertyList::Limits limits;
    limits.maxBytes = kMaxRecordBytes;
    limits.maxDepth = 4;
    const auto parsed = PropertyList::parse(bytes, limits);
    const QVariantMap root = parsed ? parsed->toMap() : QVariantMap();
    const QVariant saved = root.value(kSavedKey);
    const QVariant pictures = root.value(kPicturesKey);
    const QVariant values = root.value(kValuesKey);
    if (!parsed || parsed->typeId() != QMetaType::QVariantMap || saved.typeId() != QMetaType::QDateTime
        || pictures.typeId() != QMetaType::QVariantMap || values.typeId() != QMetaType::QVariantMap) {
        *why = QStringLiteral("%1 is damaged: not a record of a look").arg(entryPath(name));
        return std::nullopt;
    }
    LookHistory::Look look;
    look.id = idOfRecord(name);
    look.saved = saved.toDateTime();
    const QVariantMap pictureMap = pictures.toMap();
    for (auto it = pictureMap.cbegin(); it != pictureMap.cend(); ++it) {
        const QString digest = it.value().toString();
        if (!kRoles.contains(it.key()) || it.value().typeId() != QMetaType::QString
            || !LookFiles::isPictureName(LookFiles::pictureName(digest))) {
            *why = QStringLiteral("%1 is damaged: it names a picture wrongly").arg(entryPath(name));
            return std::nullopt;
        }
        look.digests.insert(it.key(), digest);
        look.pictures.insert(it.key(), entryPath(LookFiles::pictureName(digest)));
    }
    const QVariantMap valueMap = values.toMap();
    for (auto it = valueMap.cbegin(); it != valueMap.cend(); ++it) {
        const int type = it.value().typeId();
        if (type != QMetaType::QString && type != QMetaType::LongLong && type != QMetaType::ULongLong) {
            *why = QStringLiteral("%1 is damaged: a value of another kind").arg(entryPath(name));
            return std::nullopt;
        }
        look.values.insert(it.key(), type == QMetaType::QString ? it.value() : QVariant(it.value().toInt()));
    }
    return look;
}

QByteArray recordBytes(const QDateTime &saved, const QMap<QString, QString> &digests, const QVariantMap &values)
{
    QVariantMap pictures;
    for (auto it = digests.cbegin(); it != digests.cend(); ++it)
        pictures.insert(it.key(), it.value());
    QVariantMap stored;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        stored.insert(it.key(), it.value().typeId() == QMetaType::QString ? it.value() : QVariant(qlonglong(it.value().toInt())));
    return PropertyList::serialize(
        QVariantMap{{kSavedKey, saved}, {kPicturesKey, pictures}, {kValuesKey, stored}}, PropertyList::Format::Xml);
}

bool sameValues(const QVariantMap &a, const QVariantMap &b)
{
    if (a.keys() != b.keys())
        return false;
    for (auto it = a.cbegin(); it != a.cend(); ++it) {
        const QVariant &other = b.value(it.key());
        if (it.value().typeId() == QMetaType::QString || other.typeId() == QMetaType::QString) {
            if (it.value().typeId() != other.typeId() || it.value().toString() != other.toString())
                return false;
        } else if (it.value().toInt() != other.toInt()) {
            return false;
        }
    }
    return true;
}

} // namespace

QString LookHistory::restoredFolder()
{
    return Staging::applicationSupportPath() + QStringLiteral("/looks");
}

std::optional<QByteArray> LookHistory::restoredBytes(const QString &hostPath)
{
    const QFileInfo info(hostPath);
    if (hostPath.isEmpty() || info.absolutePath() != restoredFolder() || !LookFiles::isPictureName(info.fileName())
        || info.isSymLink())
        return std::nullopt;
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    auto bytes = BoundedFile::readAll(file, BoundedFile::kMaxImageBytes);
    if (!bytes || LookFiles::pictureName(sha256(*bytes)) != info.fileName())
        return std::nullopt;
    return bytes;
}

QList<LookHistory::Look> LookHistory::list(QStringList *refused) const
{
    const VolumeResolver files = m_staging.resolver();
    QString why;
    if (!folderIsPlain(files, &why)) {
        if (refused && why.contains(QLatin1String("link")))
            *refused << why;
        return {};
    }
    const auto names = files.list(LookFiles::kFolder);
    if (!names)
        return {};
    QStringList records;
    for (const QString &name : *names) {
        if (LookFiles::isRecordName(name))
            records << name;
    }
    std::sort(records.begin(), records.end(), olderRecord);
    QList<Look> looks;
    for (auto it = records.crbegin(); it != records.crend(); ++it) {
        const auto bytes = readEntry(files, *it, kMaxRecordBytes, &why);
        auto look = bytes ? parseRecord(*it, *bytes, &why) : std::nullopt;
        if (look) {
            looks << *look;
        } else if (refused) {
            *refused << why;
        }
    }
    return looks;
}

std::optional<LookHistory::Look> LookHistory::read(const QString &id, QString *why) const
{
    const QString name = LookFiles::recordName(id);
    if (!LookFiles::isRecordName(name)) {
        *why = QStringLiteral("'%1' is not the name of a saved look").arg(id);
        return std::nullopt;
    }
    const VolumeResolver files = m_staging.resolver();
    if (!folderIsPlain(files, why))
        return std::nullopt;
    const auto bytes = readEntry(files, name, kMaxRecordBytes, why);
    if (!bytes) {
        if (why->endsWith(QLatin1String("is missing")))
            *why = QStringLiteral("there is no saved look '%1'").arg(id);
        return std::nullopt;
    }
    auto look = parseRecord(name, *bytes, why);
    if (!look)
        return std::nullopt;
    if (!QDir().mkpath(restoredFolder())) {
        *why = QStringLiteral("%1 cannot be made").arg(restoredFolder());
        return std::nullopt;
    }
    for (auto it = look->digests.cbegin(); it != look->digests.cend(); ++it) {
        const QString picture = LookFiles::pictureName(it.value());
        const auto content = readEntry(files, picture, BoundedFile::kMaxImageBytes, why);
        if (!content)
            return std::nullopt;
        if (sha256(*content) != it.value()) {
            *why = QStringLiteral("%1 is damaged: its content is not what its name says").arg(entryPath(picture));
            return std::nullopt;
        }
        const QString copy = restoredFolder() + QLatin1Char('/') + picture;
        if (!StagingFile::writeAtomically(copy, *content)) {
            *why = QStringLiteral("%1 cannot be written").arg(copy);
            return std::nullopt;
        }
        look->pictures[it.key()] = copy;
    }
    return look;
}

bool LookHistory::keep(const Look &look, int kept) const
{
    const VolumeResolver files = m_staging.resolver();
    QMap<QString, QString> digests;
    QMap<QString, QByteArray> contents;
    for (auto it = look.pictures.cbegin(); it != look.pictures.cend(); ++it) {
        // Read inside the volume: a folder swapped for a link meanwhile must
        // not bring anything from off the volume into its history.
        auto file = files.openForReading(it.value());
        const auto bytes = file ? BoundedFile::readAll(**file, BoundedFile::kMaxImageBytes) : std::nullopt;
        // A picture that cannot be read is not kept: the look would not come
        // back as it was.
        if (!bytes || bytes->isEmpty()) {
            Log::write(QStringLiteral("Failed to keep the look being replaced: %1 cannot be read").arg(it.value()));
            return false;
        }
        digests.insert(it.key(), sha256(*bytes));
        contents.insert(it.key(), *bytes);
    }

    // Already the newest look of the history: nothing new to keep.
    const QList<Look> looks = list();
    if (!looks.isEmpty() && looks.first().digests == digests && sameValues(looks.first().values, look.values))
        return true;

    if (!m_staging.createHistoryFolder()) {
        Log::write(QStringLiteral("Failed to keep the look being replaced"));
        return false;
    }
    const QString staging = Staging::tempFilePathWithName(QStringLiteral("look"));
    for (auto it = digests.cbegin(); it != digests.cend(); ++it) {
        const QString name = LookFiles::pictureName(it.value());
        const auto there = files.locate(entryPath(name));
        // Stored once: a picture already there (checked when it is read back).
        if (there && there->exists && S_ISREG(there->info.st_mode))
            continue;
        if (!StagingFile::writeAtomically(staging, contents.value(it.key()))
            || !m_staging.installHistoryEntry(staging, entryPath(name))) {
            QFile::remove(staging);
            Log::write(QStringLiteral("Failed to keep the look being replaced"));
            return false;
        }
    }
    const QDateTime saved = look.saved.isValid() ? look.saved : QDateTime::currentDateTimeUtc();
    const QString stamp = saved.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    // A second look in the same second comes after every look of that
    // second still kept, so that it sorts as the newest.
    int last = 0;
    const auto names = files.list(LookFiles::kFolder);
    for (const QString &name : names ? *names : QStringList()) {
        if (!LookFiles::isRecordName(name) || !idOfRecord(name).startsWith(stamp))
            continue;
        const QString rest = idOfRecord(name).mid(stamp.size());
        last = std::max(last, rest.isEmpty() ? 1 : rest.mid(1).toInt());
    }
    const QString id = last == 0 ? stamp : QStringLiteral("%1-%2").arg(stamp).arg(last + 1);
    if (!StagingFile::writeAtomically(staging, recordBytes(saved.toUTC(), digests, look.values))
        || !m_staging.installHistoryEntry(staging, entryPath(LookFiles::recordName(id)))) {
        QFile::remove(staging);
        Log::write(QStringLiteral("Failed to keep the look being replaced"));
        return false;
    }
    QFile::remove(staging);
    (void)prune(kept);
    return true;
}

bool LookHistory::prune(int kept) const
{
    const VolumeResolver files = m_staging.resolver();
    const auto names = files.list(LookFiles::kFolder);
    if (!names)
        return false;
    QStringList records;
    QStringList pictures;
    for (const QString &name : *names) {
        if (LookFiles::isRecordName(name))
            records << name;
        else if (LookFiles::isPictureName(name))
            pictures << name;
    }
    std::sort(records.begin(), records.end(), olderRecord);
    bool pruned = true;
    const qsizetype excess = records.size() - std::clamp(kept, 1, kMaxKept);
    for (qsizetype i = 0; i < excess; ++i) {
        if (!m_staging.removeHistoryEntry(entryPath(records.at(i)))) {
            Log::write(QStringLiteral("Failed to remove an old look from the history"));
            pruned = false;
        }
    }
    // Pictures that no look names any more; none while a record cannot be
    // read, since what it names is then unknown.
    std::set<QString> named;
    for (qsizetype i = std::max<qsizetype>(excess, 0); i < records.size(); ++i) {
        QString why;
        const auto bytes = readEntry(files, records.at(i), kMaxRecordBytes, &why);
        const auto look = bytes ? parseRecord(records.at(i), *bytes, &why) : std::nullopt;
        if (!look)
            return false;
        for (const QString &digest : look->digests)
            named.insert(LookFiles::pictureName(digest));
    }
    for (const QString &picture : pictures) {
        if (named.count(picture) == 0 && !m_staging.removeHistoryEntry(entryPath(picture))) {
            Log::write(QStringLiteral("Failed to remove an old look from the history"));
            pruned = false;
        }
    }
    return pruned;
}
