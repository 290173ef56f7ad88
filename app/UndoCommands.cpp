#include "app/UndoCommands.h"

#include "controller/LumoraLogin.h"

#include <QCoreApplication>

DocumentState DocumentState::of(const LumoraLogin &c)
{
    DocumentState s;
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        s.values[i] = c.document().value(Setting(i));
        s.changed[i] = c.document().changed(Setting(i));
    }
    s.dirty = c.dirty();
    s.shouldRevertBackground = c.shouldRevertBackground();
    return s;
}

void DocumentState::applyTo(LumoraLogin &c) const
{
    // Only what differs is set, so an undo of one setting leaves the others
    // (and the view's cursor in an unchanged message) alone.
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        if (!sameValue(c.document().value(Setting(i)), values[i]))
            c.document().setValue(Setting(i), values[i]);
    }
    for (std::size_t i = 0; i < kSettingCount; ++i)
        c.document().setChanged(Setting(i), changed[i]);
    c.setShouldRevertBackground(shouldRevertBackground);
    c.setDirty(dirty);
}

DocumentEdit::DocumentEdit(LumoraLogin &controller, const QString &text, std::function<void()> edit, int mergeId)
    : QUndoCommand(text), m_controller(controller), m_edit(std::move(edit)), m_mergeId(mergeId)
{
}

DocumentEdit *DocumentEdit::typing(LumoraLogin &controller, const DocumentState &before)
{
    auto *command = new DocumentEdit(controller, QCoreApplication::translate("Lumora", "Typing"), {});
    command->m_typing = true;
    command->m_alreadyMade = true;
    command->m_before = before;
    command->m_after = DocumentState::of(controller);
    return command;
}

void DocumentEdit::redo()
{
    if (m_alreadyMade) {
        // Pushed right after the user typed: the document holds it already.
        m_alreadyMade = false;
        return;
    }
    if (m_edit) {
        m_before = DocumentState::of(m_controller);
        m_edit();
        m_edit = {};
        m_after = DocumentState::of(m_controller);
        return;
    }
    m_after.applyTo(m_controller);
}

void DocumentEdit::undo()
{
    m_before.applyTo(m_controller);
}

bool DocumentEdit::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const DocumentEdit *>(other);
    if (id() == -1 || next->id() != id())
        return false;
    m_after = next->m_after;
    return true;
}
