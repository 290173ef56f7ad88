// What saving each setting would change on the volume, worked out from the
// same bytes and values the save operations write, without writing.

#include "save/SaveComparison.h"

#include "platform/BoundedFile.h"
#include "platform/LoginWindow.h"
#include "platform/PreferenceDomain.h"
#include "platform/VolumeResolver.h"
#include "platform/Sha256.h"
#include "privileged/Staging.h"
#include "save/StagingFile.h"
#include "save/StockLook.h"

#include <QFileInfo>
#include <QImageReader>

#include <mutex>
#include <utility>

namespace SaveComparison {

namespace {

constexpr qint64 kMaxImage = BoundedFile::kMaxImageBytes;
thread_local bool digestsWanted = true;
// Smaller bytes are hashed again rather than kept.
constexpr qsizetype kRememberedDigestBytes = 1 << 20;

// A file on the volume opened within it (a link out of the volume is not
// followed); nothing when it is missing, not a file, or larger than any
// image, so that it is never read whole.
std::unique_ptr<QFile> installedFile(const Volume &volume, const QString &volumePath)
{
    auto file = VolumeResolver(volume).openForReading(volumePath);
    if (!file || !BoundedFile::fits(**file, kMaxImage))
        return nullptr;
    return std::move(*file);
}

// Pixels as the login window would draw them: premultiplied, so that fully
// transparent pixels are equal whatever colour they carry.
QImage comparable(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

std::optional<QVariantMap> loginWindowDomain(const Volume &volume)
{
    // Read quietly: the window's own readers already log a missing domain.
    return persistentDomainForName(volume, LoginWindow::kDomain);
}

SettingComparison firstPlaceImage(const Volume &volume, const QString &place, const Image &image)
{
    SettingComparison result;
    const VolumeResolver files(volume);
    const auto installed = installedFile(volume, place);
    if (installed && digestsWanted)
        result.before = BoundedFile::sha256(*installed, kMaxImage);
    // The volume's own stock file, from its backup: compared byte for byte,
    // whether or not it decodes, as Save puts it back.
    const auto backup = image.path().isEmpty() ? std::nullopt : StockLook::backupOf(files, place);
    if (backup && image.path() == *backup) {
        const auto stock = installedFile(volume, Staging::backupPathForPath(place));
        result.after = stock && digestsWanted ? BoundedFile::sha256(*stock, kMaxImage) : std::nullopt;
        result.holds = installed && stock && BoundedFile::sameBytes(*installed, *stock, kMaxImage).value_or(false);
        return result;
    }
    // The file in place itself (a restore where the volume has no backup):
    // Save leaves it as it is, however large.
    const auto inPlace = files.resolve(place);
    if (!image.path().isEmpty() && inPlace && image.path() == *inPlace) {
        result.after = result.before;
        result.holds = true;
        return result;
    }
    const QByteArray wanted = StagingFile::tiffData(image);
    // An image with no pixels cannot be saved; it never holds, so that Save
    // runs and reports the failure.
    if (wanted.isEmpty())
        return result;
    if (digestsWanted)
        result.after = sha256(wanted);
    if (!installed)
        return result;
    if (BoundedFile::holds(*installed, wanted, kMaxImage).value_or(false)) {
        result.holds = true;
        return result;
    }
    // Decoded from the file as it is read, never from a copy in memory.
    QImage installedPixels;
    if (installed->seek(0)) {
        QImageReader reader(installed.get());
        reader.setAllocationLimit(Image::kAllocationLimitMiB);
        installedPixels = reader.read();
    }
    result.holds = !installedPixels.isNull() && comparable(installedPixels) == comparable(image.pixels());
    return result;
}

} // namespace

WithoutDigests::WithoutDigests() : m_wanted(std::exchange(digestsWanted, false)) {}

WithoutDigests::~WithoutDigests()
{
    digestsWanted = m_wanted;
}

QString sha256(const QByteArray &bytes)
{
    // A picture's encoded bytes are kept with it and handed out shared, so
    // the set's two comparisons and the read-back hash the same buffer: the
    // last one is remembered (holding it keeps its address from being
    // reused by other bytes).
    static std::mutex mutex;
    static QByteArray lastBytes;
    static QString lastDigest;
    {
        std::lock_guard lock(mutex);
        if (!bytes.isEmpty() && bytes.constData() == lastBytes.constData() && bytes.size() == lastBytes.size())
            return lastDigest;
    }
    const QString digest = Sha256::hex(bytes);
    if (bytes.size() >= kRememberedDigestBytes) {
        std::lock_guard lock(mutex);
        lastBytes = bytes;
        lastDigest = digest;
    }
    return digest;
}

std::optional<QString> fileSha256(const Volume &volume, const QString &volumePath)
{
    const auto file = installedFile(volume, volumePath);
    return file ? BoundedFile::sha256(*file, kMaxImage) : std::nullopt;
}

SettingComparison logo(const Volume &volume, const Image &logo)
{
    return firstPlaceImage(volume, LoginWindow::kLogoFirstPlace, logo);
}

SettingComparison title(const Volume &volume, const Image &title)
{
    return firstPlaceImage(volume, LoginWindow::kTitleFirstPlace, title);
}

namespace {

QString shownBackground(const Volume &volume, const std::optional<QVariantMap> &domain)
{
    if (domain) {
        if (auto path = stringValue(*domain, LoginWindow::kDesktopPictureKey))
            return *path;
    }
    return LoginWindow::isTiger(volume) ? LoginWindow::kTigerDefaultBackground : LoginWindow::kDefaultBackground;
}

} // namespace

SettingComparison background(const Volume &volume, const Image &background)
{
    SettingComparison result;
    const auto domain = loginWindowDomain(volume);
    if (digestsWanted)
        result.before = fileSha256(volume, shownBackground(volume, domain));
    const QByteArray wanted = StagingFile::jpegData(background);
    if (wanted.isEmpty())
        return result;
    if (digestsWanted)
        result.after = sha256(wanted);
    const bool named = domain && stringValue(*domain, LoginWindow::kDesktopPictureKey)
                                     == std::optional<QString>(LoginWindow::kInstalledBackground);
    // Byte for byte: a file of another size is told apart without reading it.
    const auto installed = named ? installedFile(volume, LoginWindow::kInstalledBackground) : nullptr;
    result.holds = installed && BoundedFile::holds(*installed, wanted, kMaxImage).value_or(false);
    return result;
}

SettingComparison revertedBackground(const Volume &volume, const Image &stock, bool tiger)
{
    SettingComparison result;
    const auto domain = loginWindowDomain(volume);
    if (digestsWanted)
        result.before = fileSha256(volume, shownBackground(volume, domain));
    const bool named = domain && domain->contains(LoginWindow::kDesktopPictureKey);
    if (!tiger) {
        if (digestsWanted)
            result.after = fileSha256(volume, LoginWindow::kDefaultBackground);
        result.holds = !named;
        return result;
    }
    // On 10.4 the release's picture itself is what Restore puts back: left
    // as it is when the stock look is that picture, its backup's bytes when
    // it comes from there, our drawing encoded otherwise.
    const VolumeResolver files(volume);
    const QString backupPath = Staging::backupPathForPath(LoginWindow::kTigerDefaultBackground);
    const auto target = files.writablePath(LoginWindow::kTigerDefaultBackground);
    const auto backup = files.writablePath(backupPath);
    if (target && QFileInfo(*target).isFile() && stock.path() == *target) {
        result.after = result.before;
        result.holds = !named;
        return result;
    }
    const bool fromBackup = backup && !stock.path().isEmpty() && stock.path() == *backup;
    const QByteArray wanted = fromBackup ? StockLook::bytesOf(files, backupPath) : StagingFile::jpegData(stock);
    if (wanted.isEmpty())
        return result;
    result.after = sha256(wanted);
    result.holds = !named && fileSha256(volume, LoginWindow::kTigerDefaultBackground) == result.after;
    return result;
}

SettingComparison message(const Volume &volume, const QString &text)
{
    // Save writes a text as it is, and removes the message for an empty one
    // (doing nothing when there is none).
    SettingComparison result;
    const auto domain = loginWindowDomain(volume);
    result.before = domain ? stringValue(*domain, LoginWindow::kMessageKey) : std::nullopt;
    if (!text.isEmpty())
        result.after = text;
    result.holds = text.isEmpty() ? !result.before : result.before == result.after;
    return result;
}

SettingComparison hostInfo(const Volume &volume, std::int32_t tag)
{
    SettingComparison result;
    const auto domain = loginWindowDomain(volume);
    result.before = domain ? stringValue(*domain, LoginWindow::kHostInfoKey) : std::nullopt;
    result.after = LoginWindow::hostInfoValueForTag(tag);
    result.holds = result.before == result.after;
    return result;
}

namespace {

// As `lumora-defaults read` prints a plain value.
std::optional<QString> storedText(const std::optional<QVariantMap> &domain, const QString &key)
{
    if (!domain || !domain->contains(key))
        return std::nullopt;
    const QVariant value = domain->value(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return value.toString();
}

} // namespace

namespace {

// A stored preference against the value a save would write: `text` is how
// that value is reported, `read` how the stored one is understood.
template <typename T, typename Read>
SettingComparison preference(const Volume &volume, const QString &key, const std::optional<T> &value,
                             const QString &text, Read read)
{
    SettingComparison result;
    const auto domain = loginWindowDomain(volume);
    result.before = storedText(domain, key);
    if (!value) {
        result.holds = !result.before;
        return result;
    }
    result.after = text;
    result.holds = domain && read(*domain, key) == value;
    return result;
}

} // namespace

SettingComparison booleanPreference(const Volume &volume, const QString &key, std::optional<bool> value)
{
    return preference(volume, key, value, value && *value ? QStringLiteral("1") : QStringLiteral("0"),
                      [](const auto &domain, const QString &name) { return booleanValue(domain, name); });
}

SettingComparison countPreference(const Volume &volume, const QString &key, std::optional<std::int32_t> value)
{
    return preference(volume, key, value, value ? QString::number(*value) : QString(),
                      [](const auto &domain, const QString &name) { return countValue(domain, name); });
}

} // namespace SaveComparison
