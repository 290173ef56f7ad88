#pragma once

#include "save/LookHistory.h"

#include <QDialog>

#include <optional>

class LumoraLogin;
class QListWidget;
class QPushButton;

// File ▸ History…: the looks that saves replaced, newest first, each with
// its date and a small drawing of the login screen it gave. Choosing one
// hands it back read and checked; the window fills the document with it.
class HistoryDialog final : public QDialog {
    Q_OBJECT
public:
    HistoryDialog(const LumoraLogin &controller, QWidget *parent = nullptr);

    // The look chosen, once the dialog was accepted.
    [[nodiscard]] const std::optional<LookHistory::Look> &chosen() const { return m_chosen; }

    // The login screen `look` gives, drawn at `screen` (tests, and the list).
    [[nodiscard]] static QImage drawLook(const LumoraLogin &controller, const LookHistory::Look &look, QSize screen);

private:
    void choose();

    const LumoraLogin &m_controller;
    QListWidget *m_list = nullptr;
    QPushButton *m_restore = nullptr;
    std::optional<LookHistory::Look> m_chosen;
};
