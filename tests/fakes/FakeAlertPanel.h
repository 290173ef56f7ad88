#pragma once

#include "platform/AlertPanel.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <mutex>

// Records every panel and beep and answers from a script (the default
// button when the script has run out).
class FakeAlertPanel final : public AlertPanel {
public:
    struct Shown {
        QString title;
        QString message;
        QString defaultButton;
        QString alternateButton;
        QString otherButton;
        bool information = false; // runInformation: no warning sign
        QString address;          // showAddress: the address to copy
    };

    int runAlert(const QString &title, const QString &message, const QString &defaultButton,
                 const QString &alternateButton = {}, const QString &otherButton = {}) override;
    int runInformation(const QString &title, const QString &message, const QString &defaultButton,
                       const QString &alternateButton = {}) override;
    void showAddress(const QString &title, const QString &message, const QString &address,
                     const QString &button) override;
    void beep() override;
    void activateApplication() override;

    void scriptAnswers(const QList<int> &answers);

    [[nodiscard]] QList<Shown> shown() const;
    [[nodiscard]] int beeps() const;
    [[nodiscard]] int activations() const;
    // "beep", "alert:<title>" and "address:<address>" in the order they
    // happened.
    [[nodiscard]] QStringList events() const;

private:
    mutable std::mutex m_mutex;
    QList<int> m_answers;
    QList<Shown> m_shown;
    QStringList m_events;
    int m_beeps = 0;
    int m_activations = 0;
};
