#pragma once

#include "controller/Setting.h"
#include "platform/Volume.h"
#include "save/SaveComparison.h"

#include <QJsonValue>
#include <QList>
#include <QString>

#include <array>
#include <optional>

class SaveOperations;
class SettingsDocument;
class LoginOptionModel;
struct LookSources;
struct StockLook;

// What a setting model sees: its own value in the document with its change
// flag (and the background's revert mark), and the volume it reads and
// writes. Nothing else of the document or the controller.
struct SettingView {
    const SettingValue &value;
    bool changed = false;
    bool revertBackground = false;
    const Volume &volume;
};
// One setting's view of the document on the volume.
[[nodiscard]] SettingView settingView(const SettingsDocument &document, const Volume &volume, Setting setting);

// Everything the application knows about one setting: its names, how it
// is read from the volume, saved, compared with the volume, shown in the
// preview and in the companion's `show`. The controller and the front ends
// loop over these; only here does a setting have code of its own.
class SettingModel {
public:
    virtual ~SettingModel() = default;
    SettingModel(const SettingModel &) = delete;
    SettingModel &operator=(const SettingModel &) = delete;

    [[nodiscard]] Setting setting() const { return m_setting; }
    // For people: the save report, the companion's "SETTING: outcome"
    // lines, the log ("host information").
    [[nodiscard]] QString name() const { return QString::fromLatin1(m_name); }
    // The same in the window's language.
    [[nodiscard]] QString displayName() const;
    // The key in `show --json` and the --json answers ("hostInfo").
    [[nodiscard]] QString key() const { return QString::fromLatin1(m_key); }
    // The companion's option, and the name of its `show` line ("host-info").
    [[nodiscard]] QString option() const { return QString::fromLatin1(m_option); }

    // What the document holds before anything is loaded.
    [[nodiscard]] virtual SettingValue initial() const = 0;
    // What the volume holds now.
    [[nodiscard]] virtual SettingValue current(const Volume &volume) const = 0;
    // What Restore Default Look fills in.
    [[nodiscard]] virtual SettingValue stock(const StockLook &look) const = 0;
    // Writes the document's value to the volume; whether it got there.
    [[nodiscard]] virtual bool save(const SettingView &view, const SaveOperations &operations) const = 0;
    // Whether saving the document's value would leave the volume as it is.
    [[nodiscard]] virtual SettingComparison compare(const SettingView &view) const = 0;
    // Whether the document, reloaded after a save, holds what was asked
    // (`revert`: the background was to go back to the release's picture).
    [[nodiscard]] virtual bool readsBack(const SettingView &view, const SettingValue &requested,
                                         bool revert) const = 0;
    virtual void preview(const SettingView &view, LookSources &sources) const = 0;
    // The value in `show --json`, and in its plain line.
    [[nodiscard]] virtual QJsonValue json(const SettingView &view) const = 0;
    [[nodiscard]] virtual QString text(const SettingView &view) const = 0;

    // A login option (shown in its own group and JSON object), or null.
    [[nodiscard]] virtual const LoginOptionModel *loginOption() const { return nullptr; }

protected:
    SettingModel(Setting setting, const char *name, const char *key, const char *option)
        : m_setting(setting), m_name(name), m_key(key), m_option(option)
    {
    }

private:
    Setting m_setting;
    const char *m_name;
    const char *m_key;
    const char *m_option;
};

// A key of the login window's domain that fleet tools set: a yes/no or a
// count, written with the preference tool as a typed value.
class LoginOptionModel final : public SettingModel {
public:
    enum class Kind { YesNo, Count };
    struct Description {
        Setting setting;
        const char *name;   // "name and password"
        const char *key;    // "nameAndPassword"
        const char *option; // "name-and-password"
        const QString *preferenceKey;
        Kind kind;
        // The preference says the opposite of the name ("PowerOffDisabled"
        // true for the power buttons hidden).
        bool inverted;
        // The companion's words for yes and no ("show", "hide"), or for a
        // count its word for 0 ("off").
        const char *yesWord;
        const char *noWord;
        // What the login window does while the key is missing.
        std::int32_t stockValue;
        // The window's label, translated in context "Lumora".
        const char *label;
        // What the preview draws from it, if anything.
        bool LookSources::*preview;
    };
    explicit LoginOptionModel(const Description &description);

    [[nodiscard]] Kind kind() const { return m_d.kind; }
    [[nodiscard]] QString label() const;
    [[nodiscard]] const QString &preferenceKey() const { return *m_d.preferenceKey; }
    // The value the login window uses: the document's, else the stock one.
    [[nodiscard]] std::int32_t effective(const OptionValue &value) const { return value.value_or(m_d.stockValue); }
    // The companion's VALUE: "yes"/"no" (or the option's own words), or a
    // count from 1 to kMaxCount, or its word for 0.
    [[nodiscard]] std::optional<std::int32_t> parse(const QString &word) const;
    [[nodiscard]] QString valueName() const;
    // The same in words, for an error message: "yes or no".
    [[nodiscard]] QString valueWords() const;
    [[nodiscard]] QString word(std::int32_t value) const;
    static constexpr std::int32_t kMaxCount = 100;

    SettingValue initial() const override;
    SettingValue current(const Volume &volume) const override;
    SettingValue stock(const StockLook &look) const override;
    bool save(const SettingView &view, const SaveOperations &operations) const override;
    SettingComparison compare(const SettingView &view) const override;
    bool readsBack(const SettingView &view, const SettingValue &requested, bool revert) const override;
    void preview(const SettingView &view, LookSources &sources) const override;
    QJsonValue json(const SettingView &view) const override;
    QString text(const SettingView &view) const override;
    const LoginOptionModel *loginOption() const override { return this; }

private:
    [[nodiscard]] static const OptionValue &held(const SettingView &view);
    // A yes/no in the preference's sense.
    [[nodiscard]] std::optional<bool> stored(const OptionValue &value) const;
    Description m_d;
};

// Every setting, in the order Save takes them.
[[nodiscard]] const std::array<const SettingModel *, kSettingCount> &settingModels();
[[nodiscard]] const SettingModel &settingModel(Setting setting);
// The login options among them, in the same order.
[[nodiscard]] const QList<const LoginOptionModel *> &loginOptionModels();
// By its name for people ("host information"); null for any other.
[[nodiscard]] const SettingModel *settingNamed(const QString &name);

// What the volume's login window holds now, as the settings read it: the
// picture "DesktopPicture" names (or the release's default), the message,
// the host-information tag. Each reads the domain afresh.
[[nodiscard]] QString currentBackgroundPath(const Volume &volume);
[[nodiscard]] std::int32_t currentHostInfoTag(const Volume &volume);
// A message on one line of a plain listing: backslashes, line breaks and
// tabs written as escapes.
[[nodiscard]] QString oneLine(const QString &text);
// Why the login window's preferences on the volume cannot be read, as a
// sentence for people; empty when they can (a volume without them reads as
// the stock look).
[[nodiscard]] QString unreadableReason(const Volume &volume);
