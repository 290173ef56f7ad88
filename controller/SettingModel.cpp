#include "controller/SettingModel.h"

#include "controller/SettingsDocument.h"
#include "platform/BoundedFile.h"
#include "platform/LoginWindow.h"
#include "platform/PreferenceDomain.h"
#include "platform/VolumeImages.h"
#include "platform/VolumePath.h"
#include "preview/SavedPictures.h"
#include "save/SaveOperations.h"
#include "save/StagingFile.h"
#include "save/StockLook.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonObject>

#include <array>
#include <tuple>
#include <type_traits>

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

SettingView settingView(const SettingsDocument &document, const Volume &volume, Setting setting)
{
    return SettingView{document.value(setting), document.changed(setting), document.shouldRevertBackground(),
                       volume};
}

QString currentBackgroundPath(const Volume &volume)
{
    if (const auto domain = LoginWindow::domain(volume)) {
        if (auto path = stringValue(*domain, LoginWindow::kDesktopPictureKey))
            return *path;
    }
    return LoginWindow::isTiger(volume) ? LoginWindow::kTigerDefaultBackground : LoginWindow::kDefaultBackground;
}

std::int32_t currentHostInfoTag(const Volume &volume)
{
    const auto domain = LoginWindow::domain(volume);
    return LoginWindow::hostInfoTagForValue(domain ? stringValue(*domain, LoginWindow::kHostInfoKey) : std::nullopt);
}

QString unreadableReason(const Volume &volume)
{
    const DictionaryProblem problem = LoginWindow::domainProblem(volume);
    if (problem == DictionaryProblem::None || problem == DictionaryProblem::Missing)
        return {};
    return QCoreApplication::translate("Lumora", "The login window's preferences (%1) cannot be read: %2.")
        .arg(LoginWindow::kDomain + QStringLiteral(".plist"), problemText(problem));
}

QString SettingModel::displayName() const
{
    return QCoreApplication::translate("Lumora", m_name);
}

namespace {

// A host path as the login window sees it: its path on the volume, or the
// path as it is for a file elsewhere.
QString shownPath(const Volume &volume, const QString &hostPath)
{
    return volumePathOf(volume, hostPath).value_or(hostPath);
}

QString validity(const Image &image)
{
    return image.isValid() ? QStringLiteral("valid") : QStringLiteral("not valid");
}

QJsonObject imageJson(const Volume &volume, const Image &image)
{
    return QJsonObject{{QStringLiteral("path"), shownPath(volume, image.path())},
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

const Image &heldImage(const SettingView &view)
{
    return std::get<Image>(view.value);
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
    SettingValue current(const Volume &volume) const override
    {
        return VolumeImages::loadFromPlaces(VolumeResolver(volume), m_places.first, m_places.second);
    }
    SettingValue stock(const StockLook &look) const override { return Image::referencingFile(look.*m_stockPath); }
    bool save(const SettingView &view, const SaveOperations &operations) const override
    {
        return (operations.*m_save)(heldImage(view));
    }
    SettingComparison compare(const SettingView &view) const override
    {
        return m_compare(view.volume, heldImage(view));
    }
    bool readsBack(const SettingView &view, const SettingValue &requested, bool) const override
    {
        const VolumeResolver files(view.volume);
        return imageReadsBack(heldImage(view), VolumeImages::readablePath(files, m_places.first),
                              std::get<Image>(requested));
    }
    void preview(const SettingView &view, LookSources &sources) const override
    {
        sources.*m_source = {heldImage(view), view.changed};
    }
    QJsonValue json(const SettingView &view) const override
    {
        QJsonObject object = imageJson(view.volume, heldImage(view));
        object.insert(QStringLiteral("place"), place(view));
        return object;
    }
    QString text(const SettingView &view) const override
    {
        const Image &image = heldImage(view);
        return QStringLiteral("%1 (%2 place, %3)").arg(shownPath(view.volume, image.path()), place(view), validity(image));
    }

private:
    // Which of the two places the image was loaded from.
    QString place(const SettingView &view) const
    {
        const Image &image = heldImage(view);
        if (image.path().isEmpty())
            return QStringLiteral("none");
        const VolumeResolver files(view.volume);
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
    SettingValue current(const Volume &volume) const override
    {
        // DesktopPicture holds a volume path; it is read on this volume.
        const VolumeResolver files(volume);
        return Image::referencingFile(VolumeImages::readablePath(files, currentBackgroundPath(volume)));
    }
    SettingValue stock(const StockLook &look) const override
    {
        return Image::referencingFile(look.background.value_or(QString()));
    }
    bool save(const SettingView &view, const SaveOperations &operations) const override
    {
        const bool revert = view.revertBackground;
        return operations.saveBackground(heldImage(view), revert, revert && LoginWindow::isTiger(view.volume));
    }
    SettingComparison compare(const SettingView &view) const override
    {
        return view.revertBackground ? SaveComparison::revertedBackground(view.volume, heldImage(view),
                                                                          LoginWindow::isTiger(view.volume))
                                     : SaveComparison::background(view.volume, heldImage(view));
    }
    bool readsBack(const SettingView &view, const SettingValue &requested, bool revert) const override
    {
        const VolumeResolver files(view.volume);
        const Image &background = heldImage(view);
        if (!revert) {
            const QString installed = VolumeImages::readablePath(files, LoginWindow::kInstalledBackground);
            // The bytes Save encoded, found where they were written, need no
            // second decode to tell.
            const QByteArray written = StagingFile::keptJpegData(std::get<Image>(requested));
            QFile placed(installed);
            if (!written.isEmpty() && background.path() == installed && placed.open(QIODevice::ReadOnly)
                && BoundedFile::holds(placed, written, BoundedFile::kMaxImageBytes).value_or(false))
                return true;
            return imageReadsBack(background, installed, std::get<Image>(requested));
        }
        const QString defaultBackground = LoginWindow::isTiger(view.volume) ? LoginWindow::kTigerDefaultBackground
                                                                            : LoginWindow::kDefaultBackground;
        return background.path() == VolumeImages::readablePath(files, defaultBackground) && background.isValid();
    }
    void preview(const SettingView &view, LookSources &sources) const override
    {
        // Restoring the default look on 10.3 puts the release's own picture
        // back untouched; everywhere else Save writes the picture as a JPEG.
        const bool rewritten =
            view.changed && (!view.revertBackground || LoginWindow::isTiger(view.volume));
        sources.background = {heldImage(view), rewritten};
    }
    QJsonValue json(const SettingView &view) const override { return imageJson(view.volume, heldImage(view)); }
    QString text(const SettingView &view) const override
    {
        return QStringLiteral("%1 (%2)").arg(shownPath(view.volume, heldImage(view).path()),
                                             validity(heldImage(view)));
    }
};

class MessageSetting final : public SettingModel {
public:
    MessageSetting() : SettingModel(Setting::Message, "message", "message", "message") {}

    SettingValue initial() const override { return std::optional<QString>(); }
    SettingValue current(const Volume &volume) const override { return LoginWindow::currentMessage(volume); }
    SettingValue stock(const StockLook &look) const override { return std::optional<QString>(look.message); }
    bool save(const SettingView &view, const SaveOperations &operations) const override
    {
        // The document holds what the user typed; the view only edits it.
        return operations.saveMessage(typed(view.value));
    }
    SettingComparison compare(const SettingView &view) const override
    {
        return SaveComparison::message(view.volume, typed(view.value));
    }
    bool readsBack(const SettingView &view, const SettingValue &requested, bool) const override
    {
        return typed(view.value) == typed(requested);
    }
    void preview(const SettingView &view, LookSources &sources) const override { sources.message = typed(view.value); }
    QJsonValue json(const SettingView &view) const override
    {
        const auto &message = std::get<std::optional<QString>>(view.value);
        return message ? QJsonValue(*message) : QJsonValue();
    }
    QString text(const SettingView &view) const override { return oneLine(typed(view.value)); }

private:
    static QString typed(const SettingValue &value) { return std::get<std::optional<QString>>(value).value_or(QString()); }
};

class HostInfoSetting final : public SettingModel {
public:
    HostInfoSetting() : SettingModel(Setting::HostInfo, "host information", "hostInfo", "host-info") {}

    SettingValue initial() const override { return std::int32_t(0); }
    SettingValue current(const Volume &volume) const override { return currentHostInfoTag(volume); }
    SettingValue stock(const StockLook &look) const override { return look.hostInfoTag; }
    bool save(const SettingView &view, const SaveOperations &operations) const override
    {
        return operations.saveHostInfo(tag(view));
    }
    SettingComparison compare(const SettingView &view) const override
    {
        return SaveComparison::hostInfo(view.volume, tag(view));
    }
    bool readsBack(const SettingView &view, const SettingValue &requested, bool) const override
    {
        return tag(view) == std::get<std::int32_t>(requested);
    }
    void preview(const SettingView &view, LookSources &sources) const override { sources.hostInfoTag = tag(view); }
    QJsonValue json(const SettingView &view) const override
    {
        return QJsonObject{{QStringLiteral("name"), LoginWindow::hostInfoValueForTag(tag(view))},
                           {QStringLiteral("tag"), tag(view)}};
    }
    QString text(const SettingView &view) const override
    {
        return QStringLiteral("%1 (tag %2)").arg(LoginWindow::hostInfoValueForTag(tag(view))).arg(tag(view));
    }

private:
    static std::int32_t tag(const SettingView &view) { return std::get<std::int32_t>(view.value); }
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

const OptionValue &LoginOptionModel::held(const SettingView &view)
{
    return std::get<OptionValue>(view.value);
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

SettingValue LoginOptionModel::current(const Volume &volume) const
{
    // Read quietly: the look's readers already log a missing domain.
    const auto domain = persistentDomainForName(volume, LoginWindow::kDomain);
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

bool LoginOptionModel::save(const SettingView &view, const SaveOperations &operations) const
{
    if (m_d.kind == Kind::Count)
        return operations.saveCountPreference(preferenceKey(), held(view));
    return operations.saveBooleanPreference(preferenceKey(), stored(held(view)));
}

SettingComparison LoginOptionModel::compare(const SettingView &view) const
{
    const Volume &volume = view.volume;
    const OptionValue value = held(view);
    SettingComparison result = m_d.kind == Kind::Count
                                   ? SaveComparison::countPreference(volume, preferenceKey(), value)
                                   : SaveComparison::booleanPreference(volume, preferenceKey(), stored(value));
    // In the option's own words ("hide", not PowerOffDisabled's "1"); a
    // stored value that means nothing to us stays as it is stored.
    if (const OptionValue now = std::get<OptionValue>(current(volume)))
        result.before = word(*now);
    result.after = value ? std::optional<QString>(word(*value)) : std::nullopt;
    return result;
}

bool LoginOptionModel::readsBack(const SettingView &view, const SettingValue &requested, bool) const
{
    return held(view) == std::get<OptionValue>(requested);
}

void LoginOptionModel::preview(const SettingView &view, LookSources &sources) const
{
    if (m_d.preview)
        sources.*m_d.preview = effective(held(view)) != 0;
}

QJsonValue LoginOptionModel::json(const SettingView &view) const
{
    const std::int32_t value = effective(held(view));
    if (m_d.kind == Kind::Count)
        return value;
    return value != 0;
}

QString LoginOptionModel::text(const SettingView &view) const
{
    const OptionValue value = held(view);
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
    // Sized by what is listed, so a setting left out does not build (an
    // array of kSettingCount would fill the gap with a null pointer).
    static const auto models = std::to_array<const SettingModel *>({
        &kLogo, &kTitle, &kBackground, &kMessage, &kHostInfo, &kNameAndPassword, &kPowerButtons, &kInputMenu,
        &kPasswordHints,
    });
    static_assert(std::tuple_size_v<std::remove_const_t<decltype(models)>> == kSettingCount,
                  "every setting needs its model");
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

QString oneLine(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    escaped.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    escaped.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return escaped;
}
