#include "controller/SettingModel.h"

#include "controller/LumoraLogin.h"
#include "platform/BoundedFile.h"
#include "platform/PreferenceDomain.h"
#include "platform/VolumeImages.h"
#include "preview/SavedPictures.h"
#include "save/SaveOperations.h"
#include "save/StagingFile.h"
#include "save/StockLook.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonObject>

bool sameValue(const SettingValue &a, const SettingValue &b)
{
    if (a.index() != b.index())
        return false;
    return std::visit(
        [&b](const auto &held) {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<Held, Image>)
                return held.isSameAs(std::get<Image>(b));
            else
                return held == std::get<Held>(b);
        },
        a);
}

QString SettingModel::displayName() const
{
    return QCoreApplication::translate("Lumora", m_name);
}

namespace {

// A volume path as the login window sees it, for a host path on the volume.
QString volumePathOf(const Volume &volume, const QString &hostPath)
{
    if (volume.isRootFilesystem())
        return hostPath;
    const QString root = volume.root();
    if (hostPath.startsWith(root + QLatin1Char('/')))
        return hostPath.mid(root.size());
    return hostPath;
}

QString validity(const Image &image)
{
    return image.isValid() ? QStringLiteral("valid") : QStringLiteral("not valid");
}

QJsonObject imageJson(const Volume &volume, const Image &image)
{
    return QJsonObject{{QStringLiteral("path"), volumePathOf(volume, image.path())},
                       {QStringLiteral("hostPath"), image.path()},
                       {QStringLiteral("valid"), image.isValid()}};
}

// Written to its place, or (after a restore) left where the volume has its
// own image.
bool imageReadsBack(const Image &loaded, const QString &hostPath, const Image &requested)
{
    if ((loaded.path() == hostPath || loaded.path() == requested.path()) && loaded.isValid()
        && loaded.size() == requested.size())
        return true;
    // A stock file put back from its backup holds its bytes, decoding or not
    // (and where it does not, the login window shows another place).
    if (requested.path().isEmpty() || requested.path() == hostPath)
        return false;
    QFile placed(hostPath);
    QFile wanted(requested.path());
    return placed.open(QIODevice::ReadOnly) && wanted.open(QIODevice::ReadOnly)
           && BoundedFile::sameBytes(placed, wanted, BoundedFile::kMaxImageBytes).value_or(false);
}

// The logo and the title: a TIFF in the first of two places of the login
// agent's resources, read from the second when the first has none.
class AgentImageSetting final : public SettingModel {
public:
    struct Places {
        const QString &first;
        const QString &second;
    };
    AgentImageSetting(Setting setting, const char *name, Places places, QString StockLook::*stockPath,
                      bool (SaveOperations::*saveOperation)(const Image &) const,
                      SettingComparison (*comparison)(const Volume &, const Image &), PictureSource LookSources::*source)
        : SettingModel(setting, name, name, name), m_places(places), m_stockPath(stockPath),
          m_save(saveOperation), m_compare(comparison), m_source(source)
    {
    }

    SettingValue initial() const override { return Image(); }
    SettingValue current(const LumoraLogin &document) const override
    {
        return VolumeImages::loadFromPlaces(VolumeResolver(document.context().volume), m_places.first,
                                            m_places.second);
    }
    SettingValue stock(const StockLook &look) const override { return Image::referencingFile(look.*m_stockPath); }
    bool save(const LumoraLogin &document, const SaveOperations &operations) const override
    {
        return (operations.*m_save)(held(document));
    }
    SettingComparison compare(const LumoraLogin &document) const override
    {
        return m_compare(document.context().volume, held(document));
    }
    bool readsBack(const LumoraLogin &document, const SettingValue &requested, bool) const override
    {
        const VolumeResolver files(document.context().volume);
        return imageReadsBack(held(document), VolumeImages::readablePath(files, m_places.first),
                              std::get<Image>(requested));
    }
    void preview(const LumoraLogin &document, LookSources &sources) const override
    {
        sources.*m_source = {held(document), document.changed(setting())};
    }
    QJsonValue json(const LumoraLogin &document) const override
    {
        QJsonObject object = imageJson(document.context().volume, held(document));
        object.insert(QStringLiteral("place"), place(document));
        return object;
    }
    QString text(const LumoraLogin &document) const override
    {
        const Image &image = held(document);
        return QStringLiteral("%1 (%2 place, %3)")
            .arg(volumePathOf(document.context().volume, image.path()), place(document), validity(image));
    }

private:
    const Image &held(const LumoraLogin &document) const { return std::get<Image>(document.value(setting())); }
    // Which of the two places the image was loaded from.
    QString place(const LumoraLogin &document) const
    {
        const Image &image = held(document);
        if (image.path().isEmpty())
            return QStringLiteral("none");
        const VolumeResolver files(document.context().volume);
        const QString folder = QFileInfo(image.path()).path();
        if (folder == QFileInfo(VolumeImages::readablePath(files, m_places.first)).path())
            return QStringLiteral("first");
        if (folder == QFileInfo(VolumeImages::readablePath(files, m_places.second)).path())
            return QStringLiteral("second");
        return QStringLiteral("none");
    }

    Places m_places;
    QString StockLook::*m_stockPath;
    bool (SaveOperations::*m_save)(const Image &) const;
    SettingComparison (*m_compare)(const Volume &, const Image &);
    PictureSource LookSources::*m_source;
};

// The background: a picture the preference "DesktopPicture" names, or the
// release's default picture, which Restore puts back.
class BackgroundSetting final : public SettingModel {
public:
    BackgroundSetting() : SettingModel(Setting::Background, "background", "background", "background") {}

    SettingValue initial() const override { return Image(); }
    SettingValue current(const LumoraLogin &document) const override
    {
        // DesktopPicture holds a volume path; it is read on this volume.
        const VolumeResolver files(document.context().volume);
        return Image::referencingFile(VolumeImages::readablePath(files, document.currentBackgroundPath()));
    }
    SettingValue stock(const StockLook &look) const override
    {
        return Image::referencingFile(look.background.value_or(QString()));
    }
    bool save(const LumoraLogin &document, const SaveOperations &operations) const override
    {
        const bool revert = document.shouldRevertBackground();
        return operations.saveBackground(document.background(), revert, revert && document.isTiger());
    }
    SettingComparison compare(const LumoraLogin &document) const override
    {
        const Volume &volume = document.context().volume;
        return document.shouldRevertBackground()
                   ? SaveComparison::revertedBackground(volume, document.background(), document.isTiger())
                   : SaveComparison::background(volume, document.background());
    }
    bool readsBack(const LumoraLogin &document, const SettingValue &requested, bool revert) const override
    {
        const VolumeResolver files(document.context().volume);
        if (!revert) {
            const QString installed = VolumeImages::readablePath(files, LoginWindow::kInstalledBackground);
            // The bytes Save encoded, found where they were written, need no
            // second decode to tell.
            const QByteArray written = StagingFile::keptJpegData(std::get<Image>(requested));
            QFile placed(installed);
            if (!written.isEmpty() && document.background().path() == installed && placed.open(QIODevice::ReadOnly)
                && BoundedFile::holds(placed, written, BoundedFile::kMaxImageBytes).value_or(false))
                return true;
            return imageReadsBack(document.background(), installed, std::get<Image>(requested));
        }
        const QString defaultBackground =
            document.isTiger() ? LoginWindow::kTigerDefaultBackground : LoginWindow::kDefaultBackground;
        return document.background().path() == VolumeImages::readablePath(files, defaultBackground)
               && document.background().isValid();
    }
    void preview(const LumoraLogin &document, LookSources &sources) const override
    {
        // Restoring the default look on 10.3 puts the release's own picture
        // back untouched; everywhere else Save writes the picture as a JPEG.
        const bool rewritten = document.backgroundDirty()
                               && (!document.shouldRevertBackground() || document.isTiger());
        sources.background = {document.background(), rewritten};
    }
    QJsonValue json(const LumoraLogin &document) const override
    {
        return imageJson(document.context().volume, document.background());
    }
    QString text(const LumoraLogin &document) const override
    {
        return QStringLiteral("%1 (%2)").arg(volumePathOf(document.context().volume, document.background().path()),
                                             validity(document.background()));
    }
};

// Keeps the message on one line of the plain listing.
QString oneLine(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    escaped.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    escaped.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return escaped;
}

class MessageSetting final : public SettingModel {
public:
    MessageSetting() : SettingModel(Setting::Message, "message", "message", "message") {}

    SettingValue initial() const override { return std::optional<QString>(); }
    SettingValue current(const LumoraLogin &document) const override { return document.currentMessage(); }
    SettingValue stock(const StockLook &look) const override { return std::optional<QString>(look.message); }
    bool save(const LumoraLogin &document, const SaveOperations &operations) const override
    {
        // The document holds what the user typed; the view only edits it.
        return operations.saveMessage(held(document));
    }
    SettingComparison compare(const LumoraLogin &document) const override
    {
        return SaveComparison::message(document.context().volume, held(document));
    }
    bool readsBack(const LumoraLogin &document, const SettingValue &requested, bool) const override
    {
        return held(document) == std::get<std::optional<QString>>(requested).value_or(QString());
    }
    void preview(const LumoraLogin &document, LookSources &sources) const override
    {
        sources.message = held(document);
    }
    QJsonValue json(const LumoraLogin &document) const override
    {
        return document.message() ? QJsonValue(*document.message()) : QJsonValue();
    }
    QString text(const LumoraLogin &document) const override { return oneLine(held(document)); }

private:
    static QString held(const LumoraLogin &document) { return document.message().value_or(QString()); }
};

class HostInfoSetting final : public SettingModel {
public:
    HostInfoSetting() : SettingModel(Setting::HostInfo, "host information", "hostInfo", "host-info") {}

    SettingValue initial() const override { return std::int32_t(0); }
    SettingValue current(const LumoraLogin &document) const override { return document.currentHostInfoTag(); }
    SettingValue stock(const StockLook &look) const override { return look.hostInfoTag; }
    bool save(const LumoraLogin &document, const SaveOperations &operations) const override
    {
        return operations.saveHostInfo(document.hostInfoTag());
    }
    SettingComparison compare(const LumoraLogin &document) const override
    {
        return SaveComparison::hostInfo(document.context().volume, document.hostInfoTag());
    }
    bool readsBack(const LumoraLogin &document, const SettingValue &requested, bool) const override
    {
        return document.hostInfoTag() == std::get<std::int32_t>(requested);
    }
    void preview(const LumoraLogin &document, LookSources &sources) const override
    {
        sources.hostInfoTag = document.hostInfoTag();
    }
    QJsonValue json(const LumoraLogin &document) const override
    {
        return QJsonObject{{QStringLiteral("name"), LoginWindow::hostInfoValueForTag(document.hostInfoTag())},
                           {QStringLiteral("tag"), document.hostInfoTag()}};
    }
    QString text(const LumoraLogin &document) const override
    {
        return QStringLiteral("%1 (tag %2)")
            .arg(LoginWindow::hostInfoValueForTag(document.hostInfoTag()))
            .arg(document.hostInfoTag());
    }
};

} // namespace

LoginOptionModel::LoginOptionModel(const Description &description)
    : SettingModel(description.setting, description.name, description.key, description.option), m_d(description)
{
}

QString LoginOptionModel::label() const
{
    return QCoreApplication::translate("Lumora", m_d.label);
}

OptionValue LoginOptionModel::held(const LumoraLogin &document) const
{
    return std::get<OptionValue>(document.value(setting()));
}

std::optional<bool> LoginOptionModel::stored(const OptionValue &value) const
{
    if (!value)
        return std::nullopt;
    return (*value != 0) != m_d.inverted;
}

std::optional<std::int32_t> LoginOptionModel::parse(const QString &word) const
{
    if (m_d.kind == Kind::YesNo) {
        if (word.compare(QLatin1String(m_d.yesWord), Qt::CaseInsensitive) == 0)
            return 1;
        if (word.compare(QLatin1String(m_d.noWord), Qt::CaseInsensitive) == 0)
            return 0;
        return std::nullopt;
    }
    if (word.compare(QLatin1String(m_d.noWord), Qt::CaseInsensitive) == 0)
        return 0;
    bool isNumber = false;
    const int count = word.toInt(&isNumber);
    if (!isNumber || count < 0 || count > kMaxCount)
        return std::nullopt;
    return count;
}

QString LoginOptionModel::valueName() const
{
    if (m_d.kind == Kind::YesNo)
        return QStringLiteral("%1|%2").arg(QLatin1String(m_d.yesWord), QLatin1String(m_d.noWord));
    return QStringLiteral("%1|N").arg(QLatin1String(m_d.noWord));
}

QString LoginOptionModel::valueWords() const
{
    if (m_d.kind == Kind::YesNo)
        return QStringLiteral("%1 or %2").arg(QLatin1String(m_d.yesWord), QLatin1String(m_d.noWord));
    return QStringLiteral("%1 or a count from 1 to %2").arg(QLatin1String(m_d.noWord)).arg(kMaxCount);
}

QString LoginOptionModel::word(std::int32_t value) const
{
    if (m_d.kind == Kind::Count && value != 0)
        return QString::number(value);
    return QLatin1String(value != 0 ? m_d.yesWord : m_d.noWord);
}

SettingValue LoginOptionModel::initial() const
{
    return OptionValue();
}

SettingValue LoginOptionModel::current(const LumoraLogin &document) const
{
    // Read quietly: the look's readers already log a missing domain.
    const auto domain = persistentDomainForName(document.context().volume, LoginWindow::kDomain);
    if (!domain)
        return OptionValue();
    if (m_d.kind == Kind::Count)
        return OptionValue(countValue(*domain, preferenceKey()));
    const auto value = booleanValue(*domain, preferenceKey());
    return value ? OptionValue(*value != m_d.inverted ? 1 : 0) : OptionValue();
}

SettingValue LoginOptionModel::stock(const StockLook &) const
{
    // The stock window: the key removed.
    return OptionValue();
}

bool LoginOptionModel::save(const LumoraLogin &document, const SaveOperations &operations) const
{
    if (m_d.kind == Kind::Count)
        return operations.saveCountPreference(preferenceKey(), held(document));
    return operations.saveBooleanPreference(preferenceKey(), stored(held(document)));
}

SettingComparison LoginOptionModel::compare(const LumoraLogin &document) const
{
    const Volume &volume = document.context().volume;
    const OptionValue value = held(document);
    SettingComparison result = m_d.kind == Kind::Count
                                   ? SaveComparison::countPreference(volume, preferenceKey(), value)
                                   : SaveComparison::booleanPreference(volume, preferenceKey(), stored(value));
    // In the option's own words ("hide", not PowerOffDisabled's "1"); a
    // stored value that means nothing to us stays as it is stored.
    if (const OptionValue now = std::get<OptionValue>(current(document)))
        result.before = word(*now);
    result.after = value ? std::optional<QString>(word(*value)) : std::nullopt;
    return result;
}

bool LoginOptionModel::readsBack(const LumoraLogin &document, const SettingValue &requested, bool) const
{
    return held(document) == std::get<OptionValue>(requested);
}

void LoginOptionModel::preview(const LumoraLogin &document, LookSources &sources) const
{
    if (m_d.preview)
        sources.*m_d.preview = effective(held(document)) != 0;
}

QJsonValue LoginOptionModel::json(const LumoraLogin &document) const
{
    const std::int32_t value = effective(held(document));
    if (m_d.kind == Kind::Count)
        return value;
    return value != 0;
}

QString LoginOptionModel::text(const LumoraLogin &document) const
{
    const OptionValue value = held(document);
    // A missing key is what the login window does by itself.
    return value ? word(*value) : word(effective(value)) + QStringLiteral(" (not set)");
}

namespace {

// The names the window shows for the settings.
[[maybe_unused]] constexpr const char *kDisplayNames[] = {
    QT_TRANSLATE_NOOP("Lumora", "logo"),    QT_TRANSLATE_NOOP("Lumora", "title"),
    QT_TRANSLATE_NOOP("Lumora", "background"), QT_TRANSLATE_NOOP("Lumora", "message"),
    QT_TRANSLATE_NOOP("Lumora", "host information"), QT_TRANSLATE_NOOP("Lumora", "name and password"),
    QT_TRANSLATE_NOOP("Lumora", "power buttons"), QT_TRANSLATE_NOOP("Lumora", "input menu"),
    QT_TRANSLATE_NOOP("Lumora", "password hints"),
};

const AgentImageSetting kLogo(Setting::Logo, "logo", {LoginWindow::kLogoFirstPlace, LoginWindow::kLogoSecondPlace},
                              &StockLook::logo, &SaveOperations::saveLogo, &SaveComparison::logo, &LookSources::logo);
const AgentImageSetting kTitle(Setting::Title, "title",
                               {LoginWindow::kTitleFirstPlace, LoginWindow::kTitleSecondPlace}, &StockLook::title,
                               &SaveOperations::saveTitle, &SaveComparison::title, &LookSources::title);
const BackgroundSetting kBackground;
const MessageSetting kMessage;
const HostInfoSetting kHostInfo;

const LoginOptionModel kNameAndPassword({
    Setting::NameAndPassword, "name and password", "nameAndPassword", "name-and-password",
    &LoginWindow::kShowFullNameKey, LoginOptionModel::Kind::YesNo, false, "yes", "no", 0,
    QT_TRANSLATE_NOOP("Lumora", "Name and password fields instead of a list of users"),
    &LookSources::nameAndPassword,
});
const LoginOptionModel kPowerButtons({
    Setting::PowerButtons, "power buttons", "powerButtons", "power-buttons", &LoginWindow::kPowerOffDisabledKey,
    LoginOptionModel::Kind::YesNo, true, "show", "hide", 1,
    QT_TRANSLATE_NOOP("Lumora", "Sleep, Restart and Shut Down buttons"), &LookSources::powerButtons,
});
const LoginOptionModel kInputMenu({
    Setting::InputMenu, "input menu", "inputMenu", "input-menu", &LoginWindow::kShowInputMenuKey,
    LoginOptionModel::Kind::YesNo, false, "show", "hide", 0, QT_TRANSLATE_NOOP("Lumora", "Input menu"),
    &LookSources::inputMenu,
});
const LoginOptionModel kPasswordHints({
    Setting::PasswordHints, "password hints", "passwordHints", "password-hints", &LoginWindow::kRetriesUntilHintKey,
    LoginOptionModel::Kind::Count, false, nullptr, "off", 0,
    QT_TRANSLATE_NOOP("Lumora", "Password hint after this many failed tries:"), nullptr,
});

} // namespace

const std::array<const SettingModel *, kSettingCount> &settingModels()
{
    static const std::array<const SettingModel *, kSettingCount> models{
        &kLogo, &kTitle, &kBackground, &kMessage, &kHostInfo, &kNameAndPassword, &kPowerButtons, &kInputMenu,
        &kPasswordHints,
    };
    return models;
}

const QList<const LoginOptionModel *> &loginOptionModels()
{
    static const QList<const LoginOptionModel *> options = [] {
        QList<const LoginOptionModel *> found;
        for (const SettingModel *model : settingModels()) {
            if (const LoginOptionModel *option = model->loginOption())
                found << option;
        }
        return found;
    }();
    return options;
}

const SettingModel &settingModel(Setting setting)
{
    return *settingModels()[indexOf(setting)];
}

const SettingModel *settingNamed(const QString &name)
{
    for (const SettingModel *model : settingModels()) {
        if (model->name() == name)
            return model;
    }
    return nullptr;
}
