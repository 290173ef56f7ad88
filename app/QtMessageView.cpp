#include "app/QtMessageView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTextDocument>
#include <QTextOption>

QtMessageView::QtMessageView(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(false);
    setTabChangesFocus(true);
    // The window's one Undo covers typing too; the editor keeps no history
    // of its own that would undo behind the document's back.
    setUndoRedoEnabled(false);
    connect(this, &QTextEdit::textChanged, this, &QtMessageView::textEdited);
}

QString QtMessageView::string() const
{
    return toPlainText();
}

void QtMessageView::setString(const QString &text)
{
    // textChanged fires synchronously inside setPlainText(); the guard keeps
    // a reload from marking the message as edited.
    m_settingText = true;
    setPlainText(text);
    m_settingText = false;
}

void QtMessageView::setBoldFont(double points)
{
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPointSizeF(points);
    setFont(font);
    document()->setDefaultFont(font);
}

void QtMessageView::setCentered()
{
    // The document's default option applies to every paragraph, also to the
    // ones the user starts later and to text put in by setString().
    QTextOption option = document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    document()->setDefaultTextOption(option);
}

void QtMessageView::observeEdits(std::function<void()> onEdit)
{
    m_onEdit = std::move(onEdit);
}

void QtMessageView::textEdited()
{
    if (m_settingText || !m_onEdit)
        return;
    emit userEditStarting();
    m_onEdit();
    emit userEdited();
}

bool QtMessageView::isUndoOrRedo(const QKeyEvent *key)
{
    return key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo)
           || key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z)
           || key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y);
}

bool QtMessageView::event(QEvent *event)
{
    // Leave Undo and Redo to the window's actions even while typing here.
    if (event->type() == QEvent::ShortcutOverride && isUndoOrRedo(static_cast<QKeyEvent *>(event))) {
        event->ignore();
        return false;
    }
    return QTextEdit::event(event);
}
