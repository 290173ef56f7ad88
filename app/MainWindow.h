#pragma once

#include "app/UndoCommands.h"

#include <QMainWindow>

#include <functional>

class BackgroundAdjuster;
class ImageWell;
class ManualUpdateCheck;
class SaveRunner;
class SaveStatus;
class UpdateCheckPanel;
class QUndoStack;
class LumoraLogin;
class QAction;
class QComboBox;
class QDockWidget;
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

    // Fits the window to its screen before its first showing.
    void setVisible(bool visible) override;

    [[nodiscard]] QtMessageView *messageView() const { return m_messageView; }
    [[nodiscard]] QMenu *fileMenu() const { return m_fileMenu; }

    // A folder that is not a system volume is shown but never edited: Save
    // and Restore stay disabled, every editing control is read-only, and the
    // reason is shown above the settings.
    void refuseEditing(const QString &reason);
    [[nodiscard]] bool editingRefused() const { return !m_refusal.isEmpty(); }
    // A line of text above the settings (the refusal, or a warning about
    // the volume); an empty text hides it.
    void showVolumeNotice(const QString &text);

    // For a volume inside a disk image: after a save that wrote anything,
    // `commit` puts the changes into the image (true only once they are in
    // it and synced), and the status line says so only then.
    void setSaveCommit(std::function<bool(QString *error)> commit) { m_saveCommit = std::move(commit); }
    // A non-empty text: the volume cannot be used for a while (a disk image
    // being mounted again); editing stops and the status line says why.
    // An empty text ends it.
    void showVolumeBusy(const QString &text);

    // The volume's settings are read once the window is on the screen, its
    // first paint done, so that the window never waits for the files and
    // pictures. Whatever acts on the settings before then (a command, an
    // edit) has them read first.
    void readSettingsOnceShown(std::function<void()> read);
    // Reads them now if they are still to be read.
    void readPendingSettings();
    [[nodiscard]] bool settingsPending() const { return static_cast<bool>(m_pendingRead); }

    // The status line after a save, from what the save reported.
    [[nodiscard]] static QString describeSave(const SaveReport &report);

    // Starts the save on a worker and returns; the window stays live,
    // shows that it is busy, and takes no edit and no second Save until
    // saveDone().
    void save();
    [[nodiscard]] bool isSaving() const { return m_saving; }
    void restoreDefaultLook();
    // File ▸ History…: a look that a save replaced, chosen from a list, into
    // the document (undoable, as Restore Default Look).
    void showHistory();
    // Reads the volume again, dropping unsaved edits after a question like
    // the quit question.
    void revertToSaved();
    // Starts the check on a worker with a small panel whose Cancel ends it.
    void checkForUpdates();
    void help();
    // The Quit command: one question at most, then the window closes and
    // quitConfirmed() tells the application to end.
    void quit();

    // Sizes and places the window so that its frame lies inside
    // `available` (a screen's available area): never larger, the settings
    // scrolling where there is no room for them. The preview stays beside
    // the settings only where both fit; otherwise it is hidden at the first
    // fit, and opens in a window of its own when asked for, the status line
    // saying so. Done by itself when the window is first shown.
    void fitInto(const QRect &available);

    [[nodiscard]] QUndoStack *undoStack() const { return m_undoStack; }
    // What the status line says now: a lasting save result, or the bar's
    // own passing message.
    [[nodiscard]] QString statusText() const;

signals:
    void quitConfirmed();
    // A save started by save() has ended and the window shows its result.
    void saveDone();
    // The settings put off by readSettingsOnceShown() have been read.
    void settingsRead();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildInterface();
    void buildMenus();
    void connectController();

    QWidget *buildLoginOptions();
    void showSetting(Setting setting);
    void showLoginOption(Setting setting);
    void showLogo();
    void showTitle();
    void showBackground();
    void showHostInfoTag();
    void showFlags();
    void imageRefused(const QString &hostPath);
    // Every edit of the user goes through the undo stack.
    void edit(const QString &text, std::function<void()> change, int mergeId = -1);
    void setEditing(bool enabled);
    void clearSaveStatus();
    void saveFinished(const SaveReport &report, const QStringList &logLines);
    // The frame the window system puts around the window, once known.
    [[nodiscard]] QMargins frameMargins() const;
    void previewShown();

    LumoraLogin &m_controller;
    ImageWell *m_logoWell = nullptr;
    ImageWell *m_titleWell = nullptr;
    ImageWell *m_backgroundWell = nullptr;
    BackgroundAdjuster *m_backgroundAdjuster = nullptr;
    QtMessageView *m_messageView = nullptr;
    QComboBox *m_hostInfoChooser = nullptr;
    std::array<QWidget *, kSettingCount> m_optionControls{}; // by setting; only the login options
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_restoreButton = nullptr;
    QPushButton *m_helpButton = nullptr;
    QAction *m_saveAction = nullptr;
    QAction *m_restoreAction = nullptr;
    QAction *m_updateAction = nullptr;
    QAction *m_helpAction = nullptr;
    QAction *m_quitAction = nullptr;
    QAction *m_undoAction = nullptr;
    QAction *m_redoAction = nullptr;
    QAction *m_revertAction = nullptr;
    QAction *m_historyAction = nullptr;
    QUndoStack *m_undoStack = nullptr;
    SaveStatus *m_saveStatus = nullptr;
    SaveRunner *m_saveRunner = nullptr;
    ManualUpdateCheck *m_updateCheck = nullptr;
    UpdateCheckPanel *m_updatePanel = nullptr;
    DocumentState m_beforeTyping;
    QLabel *m_releaseLabel = nullptr;
    QLabel *m_volumeNotice = nullptr;
    QLabel *m_editHint = nullptr;
    QMenu *m_fileMenu = nullptr;
    QDockWidget *m_previewDock = nullptr;
    QSize m_preferredSize; // the settings at ease, without the preview
    bool m_fitted = false;
    bool m_placingPreview = false;
    QString m_refusal;
    QString m_savedAt; // the lasting line of the last save that wrote something
    bool m_saving = false;
    bool m_quitConfirmed = false;
    bool m_volumeBusy = false;
    std::function<bool(QString *error)> m_saveCommit;
    std::function<void()> m_pendingRead;
};
