#pragma once

#include "controller/Setting.h"

#include <array>

#include <QUndoCommand>

#include <cstdint>
#include <functional>
#include <optional>

class LumoraLogin;

// Everything an edit can change in the document: the values, their change
// flags, the document flag and the background's revert mark.
struct DocumentState {
    std::array<SettingValue, kSettingCount> values;
    std::array<bool, kSettingCount> changed{};
    bool dirty = false;
    bool shouldRevertBackground = false;

    [[nodiscard]] static DocumentState of(const LumoraLogin &controller);
    // Through the controller's setters, so the window follows; the flags
    // are then put back exactly as they were.
    void applyTo(LumoraLogin &controller) const;
};

// One undoable edit of the document: a setter, Restore Default Look (all
// its setters as one step), or the user's typing in the message.
class DocumentEdit final : public QUndoCommand {
public:
    // Makes the edit when the stack first runs it (QUndoStack::push).
    // Consecutive edits with the same `mergeId` (not -1) are one step, as
    // the arrow presses of one spin box are.
    DocumentEdit(LumoraLogin &controller, const QString &text, std::function<void()> edit, int mergeId = -1);
    // The merge id of the steps of one control of a setting.
    [[nodiscard]] static int controlSteps(Setting setting) { return kControlStepsId + int(indexOf(setting)); }
    // An edit the user already made in the message view; `before` is the
    // document just before it. Consecutive typing is one step.
    static DocumentEdit *typing(LumoraLogin &controller, const DocumentState &before);

    void undo() override;
    void redo() override;
    [[nodiscard]] int id() const override { return m_typing ? kTypingId : m_mergeId; }
    bool mergeWith(const QUndoCommand *other) override;

private:
    static constexpr int kTypingId = 1;
    static constexpr int kControlStepsId = 100;

    LumoraLogin &m_controller;
    std::function<void()> m_edit; // empty once made
    int m_mergeId = -1;
    bool m_typing = false;
    bool m_alreadyMade = false;
    DocumentState m_before;
    DocumentState m_after;
};
