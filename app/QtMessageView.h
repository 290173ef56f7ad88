#pragma once

#include "controller/MessageView.h"

#include <QTextEdit>

class QKeyEvent;

// The window's message view: a plain-text editor the controller reaches
// through MessageView. Text put in by the program (a reload, a restore)
// never counts as an edit; only what the user types reaches the observer.
class QtMessageView final : public QTextEdit, public MessageView {
    Q_OBJECT
public:
    explicit QtMessageView(QWidget *parent = nullptr);

    [[nodiscard]] QString string() const override;
    void setString(const QString &text) override;
    void setBoldFont(double points) override;
    void setCentered() override;
    void observeEdits(std::function<void()> onEdit) override;

    // The keys of the window's Undo and Redo, which no control of the
    // window keeps for itself.
    [[nodiscard]] static bool isUndoOrRedo(const QKeyEvent *key);

signals:
    // Around the observer's call for each edit of the user: the window
    // takes the document as it was before and records the edit for Undo.
    void userEditStarting();
    void userEdited();

protected:
    bool event(QEvent *event) override;

private:
    void textEdited();

    std::function<void()> m_onEdit;
    bool m_settingText = false;
};
