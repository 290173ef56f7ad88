#pragma once

#include <QMainWindow>

class ImageWell;
class LumoraLogin;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QtMessageView;
struct SaveReport;

// The one window: the login window's five settings, each control showing
// what the controller holds after every change, and the commands. The
// window asks nothing itself; the controller decides about quitting.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // Connects the message view to the controller; the caller then runs
    // the controller's awakeFromNib().
    explicit MainWindow(LumoraLogin &controller, QWidget *parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] QtMessageView *messageView() const { return m_messageView; }
    [[nodiscard]] QMenu *fileMenu() const { return m_fileMenu; }

    // A folder that is not a system volume is shown but never edited: Save
    // and Restore stay disabled, and the reason is shown above the settings.
    void refuseEditing(const QString &reason);
    [[nodiscard]] bool editingRefused() const { return !m_refusal.isEmpty(); }
    // A line of text above the settings (the refusal, or a warning about
    // the volume); an empty text hides it.
    void showVolumeNotice(const QString &text);

    // The status line after a save, from what the save reported.
    [[nodiscard]] static QString describeSave(const SaveReport &report);

    void save();
    void restoreDefaultLook();
    void checkForUpdates();
    void help();
    // The Quit command: one question at most, then the window closes and
    // quitConfirmed() tells the application to end.
    void quit();

signals:
    void quitConfirmed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildInterface();
    void buildMenus();
    void connectController();

    void showLogo();
    void showTitle();
    void showBackground();
    void showHostInfoTag();
    void showFlags();
    void imageRefused(const QString &hostPath);

    LumoraLogin &m_controller;
    ImageWell *m_logoWell = nullptr;
    ImageWell *m_titleWell = nullptr;
    ImageWell *m_backgroundWell = nullptr;
    QtMessageView *m_messageView = nullptr;
    QComboBox *m_hostInfoChooser = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_restoreButton = nullptr;
    QPushButton *m_helpButton = nullptr;
    QAction *m_saveAction = nullptr;
    QAction *m_restoreAction = nullptr;
    QAction *m_updateAction = nullptr;
    QAction *m_helpAction = nullptr;
    QAction *m_quitAction = nullptr;
    QLabel *m_releaseLabel = nullptr;
    QLabel *m_volumeNotice = nullptr;
    QMenu *m_fileMenu = nullptr;
    QString m_refusal;
    bool m_saving = false;
    bool m_quitConfirmed = false;
};
