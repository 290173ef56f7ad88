#pragma once

#include "controller/Setting.h"

#include <QObject>

#include <array>

// The settings being edited: one value and one change flag per setting,
// the document flag and the background's revert mark. Every change goes
// through the setters here; the front ends observe the signals.
class SettingsDocument : public QObject {
    Q_OBJECT
public:
    // Each setting holds what its model gives before anything is loaded.
    explicit SettingsDocument(QObject *parent = nullptr);

    [[nodiscard]] const SettingValue &value(Setting setting) const { return m_values[indexOf(setting)]; }
    [[nodiscard]] bool changed(Setting setting) const { return m_changed[indexOf(setting)]; }
    [[nodiscard]] bool dirty() const { return m_dirty; }
    [[nodiscard]] bool shouldRevertBackground() const { return m_shouldRevertBackground; }

    // Stores the value and marks its flag and the document; the background
    // also clears the revert mark. Nothing compares the old and new value,
    // so setting the value already held still counts as a change.
    void setValue(Setting setting, const SettingValue &value);
    // Stores the flag; true also marks the document, false leaves it.
    void setChanged(Setting setting, bool flag);
    // Only setDirty(false) clears the document flag.
    void setDirty(bool flag);
    // Marks nothing.
    void setShouldRevertBackground(bool flag);
    // The user edited the message view: its text (if there is a view) is
    // taken without settingSet(), since the view already shows it.
    void takeEditedMessage(const std::optional<QString> &typed);

signals:
    void settingSet(Setting setting);
    // The user typed in the message view (setValue() emits settingSet()).
    void messageEdited();
    void flagsChanged();

private:
    std::array<SettingValue, kSettingCount> m_values;
    std::array<bool, kSettingCount> m_changed{};
    bool m_dirty = false;
    bool m_shouldRevertBackground = false;
};
