#pragma once

#include <QDialog>

// Shown while the user's update check runs: a busy bar and Cancel. It does
// not block the window, which stays live behind it.
class UpdateCheckPanel final : public QDialog {
    Q_OBJECT
public:
    explicit UpdateCheckPanel(QWidget *parent = nullptr);

signals:
    void cancelRequested();

protected:
    void reject() override; // Escape and the close box cancel too
};
