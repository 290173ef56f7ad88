#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// The lasting part of the status line: "Saving…" with a busy bar while a
// save runs, then a failure, which stays until the next save or edit (a
// menu's hints do not wipe it) and offers the log lines of that save under
// "Details…". A save that wrote something is told the same way, with its
// time, so a glance later still shows that and when the volume was written.
class SaveStatus final : public QWidget {
    Q_OBJECT
public:
    explicit SaveStatus(QWidget *parent = nullptr);

    void showBusy(const QString &text);
    void showFailure(const QString &text, const QStringList &logLines);
    void showSaved(const QString &text);
    void clear();

    [[nodiscard]] QString text() const;
    [[nodiscard]] bool showsFailure() const { return m_failure; }
    // The details of the failure in a panel of their own (non-modal).
    void showDetails();

private:
    QLabel *m_label = nullptr;
    QProgressBar *m_busy = nullptr;
    QPushButton *m_details = nullptr;
    QStringList m_logLines;
    bool m_failure = false;
};
