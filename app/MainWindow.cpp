#include "app/MainWindow.h"

#include "app/BackgroundAdjuster.h"
#include "app/HistoryDialog.h"
#include "app/ImageWell.h"
#include "app/PreviewPane.h"
#include "app/QtMessageView.h"
#include "app/SaveStatus.h"
#include "app/UpdateCheckPanel.h"
#include "controller/LumoraLogin.h"
#include "controller/SavedLooks.h"
#include "controller/SaveRunner.h"
#include "controller/SettingModel.h"
#include "platform/AlertPanel.h"
#include "platform/Clock.h"
#include "platform/PasswordPrompt.h"
#include "update/ManualUpdateCheck.h"
#include "update/VersionChecker.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QStatusBar>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace {

struct HostInfoChoice {
    std::int32_t tag;
    const char *label;
};

// Tags as the login window's "AdminHostInfo" table numbers them.
constexpr HostInfoChoice kHostInfoChoices[] = {
    {0, QT_TRANSLATE_NOOP("Lumora", "Time")},
    {1, QT_TRANSLATE_NOOP("Lumora", "Host name")},
    {2, QT_TRANSLATE_NOOP("Lumora", "IP address")},
    {3, QT_TRANSLATE_NOOP("Lumora", "Directory status")},
    {4, QT_TRANSLATE_NOOP("Lumora", "Serial number")},
    {5, QT_TRANSLATE_NOOP("Lumora", "System build")},
    {6, QT_TRANSLATE_NOOP("Lumora", "System version")},
};

constexpr std::int32_t kHostNameTag = 1;

// The platform's Redo keys, and Ctrl+Y too where the platform lacks it.
// One key given twice to the action makes Qt drop it as ambiguous.
QList<QKeySequence> redoShortcuts()
{
    QList<QKeySequence> keys;
    const QKeySequence ctrlY(Qt::CTRL | Qt::Key_Y);
    for (const QKeySequence &key : QKeySequence::keyBindings(QKeySequence::Redo) + QList<QKeySequence>{ctrlY}) {
        if (!key.isEmpty() && !keys.contains(key))
            keys.append(key);
    }
    return keys;
}

QString settingName(const QString &name)
{
    const SettingModel *model = settingNamed(name);
    return model ? model->displayName() : name;
}

// Shrinks and moves a shown window as far as needed for its frame to lie
// inside `available`.
void keepInside(QWidget &window, const QRect &available)
{
    if (!window.isVisible() || available.contains(window.frameGeometry()))
        return;
    const QSize frame = window.frameGeometry().size() - window.size();
    window.resize(window.size().boundedTo(available.size() - frame));
    const QSize outer = window.size() + frame;
    const QPoint at = window.frameGeometry().topLeft();
    window.move(std::clamp(at.x(), available.left(), std::max(available.left(), available.right() + 1 - outer.width())),
                std::clamp(at.y(), available.top(), std::max(available.top(), available.bottom() + 1 - outer.height())));
}

// The wells draw their own sunken frame; a flat group only names them.
QGroupBox *framed(const QString &title, QWidget *content)
{
    auto *box = new QGroupBox(title);
    box->setFlat(true);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addWidget(content, 1);
    return box;
}

} // namespace

MainWindow::MainWindow(LumoraLogin &controller, QWidget *parent)
    : QMainWindow(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("mainWindow"));
    m_undoStack = new QUndoStack(this);
    m_saveRunner = new SaveRunner(m_controller, this);
    connect(m_saveRunner, &SaveRunner::finished, this, &MainWindow::saveFinished);
    m_updateCheck = new ManualUpdateCheck(m_controller.context().services(), {}, this);
    buildInterface();
    buildMenus();
    connectController();
    m_previewDock = installPreview(*this, m_controller);
    connect(m_previewDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        // Not while the window itself goes on the screen: it has been
        // fitted with the pane already.
        const bool onScreen = windowHandle() && windowHandle()->isVisible();
        if (visible && onScreen && m_fitted && !m_placingPreview && !m_previewDock->isFloating())
            previewShown();
    });

    const Volume &volume = m_controller.context().volume;
    // The window system adds the application name.
    setWindowTitle(
        QCoreApplication::translate("Lumora", "Login window of %1 (%2)[*]").arg(volume.name(), volume.displayName()));
    if (const auto release = LoginWindow::systemRelease(volume))
        m_releaseLabel->setText(
            QCoreApplication::translate("Lumora", "Mac OS X %1 on %2").arg(*release, volume.name()));
    else
        m_releaseLabel->setText(
            QCoreApplication::translate("Lumora", "Not a Mac OS X system volume: %1").arg(volume.displayName()));

    // Whatever the controller holds now; attaching the window's message view
    // to it then loads the volume.
    showLogo();
    showTitle();
    showBackground();
    showHostInfoTag();
    for (const LoginOptionModel *option : loginOptionModels())
        showLoginOption(option->setting());
    showFlags();

    // A spin box would take Ctrl+Z for its own text, and undo only that.
    for (QWidget *control : findChildren<QAbstractSpinBox *>())
        control->installEventFilter(this);
    for (QWidget *control : findChildren<QComboBox *>())
        control->installEventFilter(this);
}

MainWindow::~MainWindow()
{
    // The controller may outlive the window; it must not reach a dead view.
    if (m_controller.messageView() == m_messageView) {
        m_messageView->observeEdits({});
        m_controller.setMessageView(nullptr);
    }
}

void MainWindow::buildInterface()
{
    // The settings scroll where the screen has no room for them; the
    // buttons under them stay in view.
    auto *settings = new QWidget;
    settings->setObjectName(QStringLiteral("settings"));
    auto *grid = new QGridLayout(settings);
    grid->setContentsMargins(14, 14, 14, 8);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);

    m_backgroundWell = new ImageWell(QCoreApplication::translate("Lumora", "Background"));
    m_backgroundWell->setObjectName(QStringLiteral("backgroundWell"));
    m_backgroundWell->setMinimumSize(280, 200);
    m_logoWell = new ImageWell(QCoreApplication::translate("Lumora", "Logo"));
    m_logoWell->setObjectName(QStringLiteral("logoWell"));
    m_logoWell->setMinimumSize(200, 110);
    m_titleWell = new ImageWell(QCoreApplication::translate("Lumora", "Title"));
    m_titleWell->setObjectName(QStringLiteral("titleWell"));
    m_titleWell->setMinimumSize(200, 70);

    auto *pictures = new QVBoxLayout;
    pictures->addWidget(framed(QCoreApplication::translate("Lumora", "Logo"), m_logoWell), 3);
    pictures->addWidget(framed(QCoreApplication::translate("Lumora", "Title"), m_titleWell), 2);
    // Fit, darken and blur sit under the picture they change.
    m_backgroundAdjuster = new BackgroundAdjuster;
    auto *background = new QWidget;
    auto *backgroundColumn = new QVBoxLayout(background);
    backgroundColumn->setContentsMargins(0, 0, 0, 0);
    backgroundColumn->addWidget(m_backgroundWell, 1);
    backgroundColumn->addWidget(m_backgroundAdjuster);
    grid->addWidget(framed(QCoreApplication::translate("Lumora", "Background"), background), 0, 0);
    grid->addLayout(pictures, 0, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setRowStretch(0, 1);
    m_editHint = new QLabel(QCoreApplication::translate(
        "Lumora", "Drop a picture on the background, logo or title, or click one to choose a file."));
    m_editHint->setObjectName(QStringLiteral("editHint"));
    m_editHint->setForegroundRole(QPalette::PlaceholderText);
    grid->addWidget(m_editHint, 1, 0, 1, 2);

    m_messageView = new QtMessageView;
    m_messageView->setObjectName(QStringLiteral("messageView"));
    m_messageView->setPlaceholderText(QCoreApplication::translate("Lumora", "No message"));
    m_messageView->setAccessibleName(QCoreApplication::translate("Lumora", "Message"));
    m_messageView->setFixedHeight(m_messageView->fontMetrics().lineSpacing() * 5);
    grid->addWidget(framed(QCoreApplication::translate("Lumora", "Message"), m_messageView), 2, 0, 1, 2);

    m_hostInfoChooser = new QComboBox;
    m_hostInfoChooser->setObjectName(QStringLiteral("hostInfoChooser"));
    for (const HostInfoChoice &choice : kHostInfoChoices)
        m_hostInfoChooser->addItem(QCoreApplication::translate("Lumora", choice.label), choice.tag);
    auto *hostRow = new QHBoxLayout;
    auto *hostLabel = new QLabel(QCoreApplication::translate("Lumora", "Host information shown:"));
    hostLabel->setBuddy(m_hostInfoChooser);
    hostRow->addWidget(hostLabel);
    hostRow->addWidget(m_hostInfoChooser);
    hostRow->addStretch(1);
    grid->addLayout(hostRow, 3, 0, 1, 2);
    grid->addWidget(buildLoginOptions(), 4, 0, 1, 2);

    m_helpButton = new QPushButton(QCoreApplication::translate("Lumora", "Help"));
    m_helpButton->setObjectName(QStringLiteral("helpButton"));
    m_restoreButton = new QPushButton(QCoreApplication::translate("Lumora", "Restore Default Look"));
    m_restoreButton->setObjectName(QStringLiteral("restoreButton"));
    m_saveButton = new QPushButton(QCoreApplication::translate("Lumora", "Save"));
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(14, 0, 14, 8);
    buttons->addWidget(m_helpButton);
    buttons->addStretch(1);
    buttons->addWidget(m_restoreButton);
    buttons->addWidget(m_saveButton);

    auto *scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("settingsScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    // Tab goes to the controls, and the area scrolls to the one reached.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(settings);
    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(scroll, 1);
    column->addLayout(buttons);
    setCentralWidget(central);
    m_preferredSize =
        QSize(settings->sizeHint().width(), settings->sizeHint().height() + buttons->sizeHint().height())
            .expandedTo(QSize(920, 680));
    resize(m_preferredSize);

    m_releaseLabel = new QLabel;
    m_releaseLabel->setObjectName(QStringLiteral("releaseLabel"));
    m_saveStatus = new SaveStatus;
    statusBar()->addWidget(m_saveStatus, 1);
    statusBar()->addPermanentWidget(m_releaseLabel);
    statusBar()->setObjectName(QStringLiteral("statusBar"));

    connect(m_helpButton, &QPushButton::clicked, this, &MainWindow::help);
    connect(m_restoreButton, &QPushButton::clicked, this, &MainWindow::restoreDefaultLook);
    connect(m_saveButton, &QPushButton::clicked, this, &MainWindow::save);

    connect(m_logoWell, &ImageWell::imageChosen, this, [this](const Image &image) {
        edit(QCoreApplication::translate("Lumora", "Change Logo"), [this, image] { m_controller.setLogo(image); });
    });
    connect(m_titleWell, &ImageWell::imageChosen, this, [this](const Image &image) {
        edit(QCoreApplication::translate("Lumora", "Change Title"), [this, image] { m_controller.setTitle(image); });
    });
    connect(m_backgroundWell, &ImageWell::imageChosen, this, [this](const Image &image) {
        edit(QCoreApplication::translate("Lumora", "Change Background"),
             [this, image] { m_controller.setBackground(image); });
    });
    connect(m_backgroundAdjuster, &BackgroundAdjuster::adjusted, this, [this](const Image &image) {
        edit(QCoreApplication::translate("Lumora", "Adjust Background"),
             [this, image] { m_controller.setBackground(image); });
    });
    // Typing is already in the document when the view says so; the state
    // just before it is what Undo goes back to.
    connect(m_messageView, &QtMessageView::userEditStarting, this,
            [this] { m_beforeTyping = DocumentState::of(m_controller); });
    connect(m_messageView, &QtMessageView::userEdited, this, [this] {
        clearSaveStatus();
        m_undoStack->push(DocumentEdit::typing(m_controller, m_beforeTyping));
    });
    for (ImageWell *well : {m_logoWell, m_titleWell, m_backgroundWell})
        connect(well, &ImageWell::imageRefused, this, &MainWindow::imageRefused);

    // activated() comes from the user only; a reload sets the index quietly.
    connect(m_hostInfoChooser, &QComboBox::activated, this,
            [this](int index) {
                const int tag = m_hostInfoChooser->itemData(index).toInt();
                edit(QCoreApplication::translate("Lumora", "Change Host Information"),
                     [this, tag] { m_controller.setHostInfoTag(tag); });
            });
}

QWidget *MainWindow::buildLoginOptions()
{
    auto *box = new QGroupBox(QCoreApplication::translate("Lumora", "Login Options"));
    box->setObjectName(QStringLiteral("loginOptions"));
    auto *layout = new QGridLayout(box);
    int row = 0;
    int column = 0;
    // Two options to a row; a count takes a row's half with its label.
    auto place = [&](QWidget *widget) {
        layout->addWidget(widget, row, column);
        if (++column == 2) {
            column = 0;
            ++row;
        }
    };
    for (const LoginOptionModel *option : loginOptionModels()) {
        const Setting setting = option->setting();
        const QString name = option->key() + QStringLiteral("Option");
        if (option->kind() == LoginOptionModel::Kind::YesNo) {
            auto *check = new QCheckBox(option->label());
            check->setObjectName(name);
            // clicked() comes from the user only; a reload sets it quietly.
            connect(check, &QCheckBox::clicked, this, [this, setting](bool checked) {
                edit(QCoreApplication::translate("Lumora", "Change Login Options"),
                     [this, setting, checked] { m_controller.document().setValue(setting, OptionValue(checked ? 1 : 0)); });
            });
            m_optionControls[indexOf(setting)] = check;
            place(check);
            continue;
        }
        auto *spin = new QSpinBox;
        spin->setObjectName(name);
        spin->setRange(0, LoginOptionModel::kMaxCount);
        spin->setSpecialValueText(QCoreApplication::translate("Lumora", "Off"));
        auto *label = new QLabel(option->label());
        label->setBuddy(spin);
        auto *pair = new QWidget;
        auto *pairLayout = new QHBoxLayout(pair);
        pairLayout->setContentsMargins(0, 0, 0, 0);
        pairLayout->addWidget(label);
        pairLayout->addWidget(spin);
        pairLayout->addStretch(1);
        connect(spin, &QSpinBox::valueChanged, this, [this, setting](int value) {
            edit(QCoreApplication::translate("Lumora", "Change Login Options"),
                 [this, setting, value] { m_controller.document().setValue(setting, OptionValue(value)); },
                 DocumentEdit::controlSteps(setting));
        });
        m_optionControls[indexOf(setting)] = spin;
        place(pair);
    }
    return box;
}

void MainWindow::showLoginOption(Setting setting)
{
    const LoginOptionModel *option = settingModel(setting).loginOption();
    QWidget *control = m_optionControls[indexOf(setting)];
    if (!option || !control)
        return;
    // What the login window does: a missing key shows the stock behaviour.
    const std::int32_t value = option->effective(std::get<OptionValue>(m_controller.document().value(setting)));
    const QSignalBlocker quiet(control);
    if (auto *check = qobject_cast<QCheckBox *>(control))
        check->setChecked(value != 0);
    else if (auto *spin = qobject_cast<QSpinBox *>(control))
        spin->setValue(value);
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QCoreApplication::translate("Lumora", "&File"));
    m_fileMenu = file;
    m_saveAction = file->addAction(QCoreApplication::translate("Lumora", "&Save"), this, &MainWindow::save);
    m_saveAction->setObjectName(QStringLiteral("saveAction"));
    m_saveAction->setShortcut(QKeySequence::Save);
    m_restoreAction = file->addAction(QCoreApplication::translate("Lumora", "&Restore Default Look"), this,
                                      &MainWindow::restoreDefaultLook);
    m_restoreAction->setObjectName(QStringLiteral("restoreAction"));
    m_revertAction =
        file->addAction(QCoreApplication::translate("Lumora", "Re&vert to Saved"), this, &MainWindow::revertToSaved);
    m_revertAction->setObjectName(QStringLiteral("revertAction"));
    m_historyAction =
        file->addAction(QCoreApplication::translate("Lumora", "&History…"), this, &MainWindow::showHistory);
    m_historyAction->setObjectName(QStringLiteral("historyAction"));
    file->addSeparator();
    m_quitAction = file->addAction(QCoreApplication::translate("Lumora", "&Quit"), this, &MainWindow::quit);
    m_quitAction->setObjectName(QStringLiteral("quitAction"));
    m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quitAction->setMenuRole(QAction::QuitRole);

    QMenu *editMenu = menuBar()->addMenu(QCoreApplication::translate("Lumora", "&Edit"));
    m_undoAction = m_undoStack->createUndoAction(this, QCoreApplication::translate("Lumora", "&Undo"));
    m_undoAction->setObjectName(QStringLiteral("undoAction"));
    m_undoAction->setShortcut(QKeySequence::Undo);
    m_redoAction = m_undoStack->createRedoAction(this, QCoreApplication::translate("Lumora", "&Redo"));
    m_redoAction->setObjectName(QStringLiteral("redoAction"));
    m_redoAction->setShortcuts(redoShortcuts());
    editMenu->addAction(m_undoAction);
    editMenu->addAction(m_redoAction);
    // Shortcuts reach them from anywhere in the window, also with the menu bar hidden.
    addAction(m_undoAction);
    addAction(m_redoAction);

    QMenu *helpMenu = menuBar()->addMenu(QCoreApplication::translate("Lumora", "&Help"));
    m_helpAction =
        helpMenu->addAction(QCoreApplication::translate("Lumora", "Lumora Login &Help"), this, &MainWindow::help);
    m_helpAction->setObjectName(QStringLiteral("helpAction"));
    m_helpAction->setShortcut(QKeySequence::HelpContents);
    m_updateAction = helpMenu->addAction(QCoreApplication::translate("Lumora", "Check for &Updates…"), this,
                                         &MainWindow::checkForUpdates);
    m_updateAction->setObjectName(QStringLiteral("updateAction"));
}

void MainWindow::connectController()
{
    connect(&m_controller.document(), &SettingsDocument::settingSet, this, &MainWindow::showSetting);
    connect(&m_controller.document(), &SettingsDocument::flagsChanged, this, &MainWindow::showFlags);
}

void MainWindow::showSetting(Setting setting)
{
    switch (setting) {
    case Setting::Logo:
        showLogo();
        break;
    case Setting::Title:
        showTitle();
        break;
    case Setting::Background:
        showBackground();
        break;
    case Setting::HostInfo:
        showHostInfoTag();
        break;
    case Setting::Message:
        // The message view shows the document itself.
        break;
    default:
        showLoginOption(setting);
        break;
    }
}

void MainWindow::showLogo()
{
    m_logoWell->setImage(m_controller.logo());
}

void MainWindow::showTitle()
{
    m_titleWell->setImage(m_controller.title());
}

void MainWindow::showBackground()
{
    m_backgroundWell->setImage(m_controller.background());
    m_backgroundAdjuster->showBackground(m_controller.background());
    m_backgroundAdjuster->setEnabled(m_backgroundWell->isEnabled() && !m_controller.background().isNull());
}

void MainWindow::showHostInfoTag()
{
    // A tag outside the table is saved as the host name, so show that.
    int index = m_hostInfoChooser->findData(m_controller.hostInfoTag());
    if (index < 0)
        index = m_hostInfoChooser->findData(kHostNameTag);
    m_hostInfoChooser->setCurrentIndex(index);
}

void MainWindow::showFlags()
{
    setWindowModified(m_controller.dirty());
    if (m_revertAction)
        m_revertAction->setEnabled(m_controller.dirty() && !m_saving);
}

void MainWindow::edit(const QString &text, std::function<void()> change, int mergeId)
{
    if (m_saving)
        return;
    // An edit starts from the volume's settings, never from the blank
    // document the window was built on.
    readPendingSettings();
    // An edit ends what the last save had to say.
    clearSaveStatus();
    m_undoStack->push(new DocumentEdit(m_controller, text, std::move(change), mergeId));
}

void MainWindow::clearSaveStatus()
{
    m_savedAt.clear();
    m_saveStatus->clear();
}

QString MainWindow::statusText() const
{
    const QString passing = statusBar()->currentMessage();
    return passing.isEmpty() ? m_saveStatus->text() : passing;
}

void MainWindow::imageRefused(const QString &hostPath)
{
    statusBar()->showMessage(QCoreApplication::translate("Lumora", "Not a picture that can be read: %1")
                                 .arg(QFileInfo(hostPath).fileName()));
}

QString MainWindow::describeSave(const SaveReport &report)
{
    if (report.anotherSaveRunning)
        return QCoreApplication::translate(
            "Lumora", "Not saved: another copy of Lumora Login is saving. Try again when it has finished.");
    if (!report.failed.isEmpty() && report.declined == SaveReport::Declined::Cancelled)
        return QCoreApplication::translate(
            "Lumora", "Cancelled: no administrator password was given. Nothing more was written; your changes are kept.");
    if (!report.failed.isEmpty() && report.declined == SaveReport::Declined::WrongPassword)
        return QCoreApplication::translate("Lumora",
                                           "The administrator password was wrong %1 times. Nothing more was written; "
                                           "your changes are kept.")
            .arg(PasswordPrompt::kTries);
    if (!report.failed.isEmpty()) {
        QStringList names;
        for (const QString &name : report.failed)
            names << settingName(name);
        const QString line = report.failed.size() == 1
                                 ? QCoreApplication::translate(
                                       "Lumora", "Could not save: %1. Your changes to it are kept; Save tries again.")
                                 : QCoreApplication::translate(
                                       "Lumora", "Could not save: %1. Your changes are kept; Save tries again.");
        return line.arg(names.join(QStringLiteral(", ")));
    }
    if (report.attempted.isEmpty())
        return QCoreApplication::translate("Lumora", "Nothing to save.");
    return QCoreApplication::translate("Lumora", "Saved.");
}

void MainWindow::refuseEditing(const QString &reason)
{
    m_refusal = reason;
    for (QAction *action : {m_saveAction, m_restoreAction}) {
        action->setEnabled(false);
        action->setToolTip(reason);
    }
    for (QPushButton *button : {m_saveButton, m_restoreButton}) {
        button->setEnabled(false);
        button->setToolTip(reason);
    }
    showVolumeNotice(reason);
    setEditing(!m_saving);
}

void MainWindow::showVolumeNotice(const QString &text)
{
    // Most volumes have nothing to say: the column is built for the first
    // notice there is.
    if (!m_volumeNotice && text.isEmpty())
        return;
    if (!m_volumeNotice) {
        // Above whatever the central widget holds.
        auto *content = takeCentralWidget();
        auto *column = new QWidget(this);
        auto *layout = new QVBoxLayout(column);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        m_volumeNotice = new QLabel;
        m_volumeNotice->setObjectName(QStringLiteral("volumeNotice"));
        m_volumeNotice->setWordWrap(true);
        m_volumeNotice->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_volumeNotice->setContentsMargins(14, 10, 14, 0);
        QFont font = m_volumeNotice->font();
        font.setBold(true);
        m_volumeNotice->setFont(font);
        layout->addWidget(m_volumeNotice);
        layout->addWidget(content, 1);
        setCentralWidget(column);
        // On a window already shown, a new central widget would wait for
        // the event loop to appear.
        if (isVisible())
            column->show();
    }
    m_volumeNotice->setText(text);
    m_volumeNotice->setVisible(!text.isEmpty());
}

void MainWindow::setEditing(bool enabled)
{
    // While a save runs, the document it writes must not change under it.
    // A folder that is not a volume is never saved or restored, so an edit
    // there could only be lost: it is shown, never edited.
    const bool editable = enabled && !editingRefused() && !m_volumeBusy;
    for (QWidget *w : {static_cast<QWidget *>(m_logoWell), static_cast<QWidget *>(m_titleWell),
                       static_cast<QWidget *>(m_backgroundWell), static_cast<QWidget *>(m_hostInfoChooser)})
        w->setEnabled(editable);
    m_backgroundAdjuster->setEnabled(editable && !m_controller.background().isNull());
    for (QWidget *control : m_optionControls) {
        if (control)
            control->setEnabled(editable);
    }
    // A label greys with the control it names.
    for (QLabel *label : findChildren<QLabel *>()) {
        if (label->buddy())
            label->setEnabled(label->buddy()->isEnabled());
    }
    for (QPushButton *button : {m_saveButton, m_restoreButton})
        button->setEnabled(editable);
    // Typing before the volume's message is shown would be lost to it.
    m_messageView->setReadOnly(!editable || settingsPending());
    m_editHint->setVisible(!editingRefused());
    for (QAction *a : {m_saveAction, m_restoreAction, m_historyAction})
        a->setEnabled(editable);
    m_revertAction->setEnabled(editable && m_controller.dirty());
    m_undoStack->setActive(enabled);
    m_undoAction->setEnabled(editable && m_undoStack->canUndo());
    m_redoAction->setEnabled(editable && m_undoStack->canRedo());
    centralWidget()->setCursor(enabled ? Qt::ArrowCursor : Qt::BusyCursor);
}

void MainWindow::save()
{
    if (m_saving)
        return;
    // Reading them may find the volume's preferences unreadable, which
    // refuses the save.
    readPendingSettings();
    if (editingRefused() || m_volumeBusy)
        return;
    m_saving = true;
    setEditing(false);
    statusBar()->clearMessage();
    m_saveStatus->showBusy(QCoreApplication::translate("Lumora", "Saving…"));
    if (!m_saveRunner->start()) {
        m_saving = false;
        setEditing(true);
    }
}

void MainWindow::showVolumeBusy(const QString &text)
{
    m_volumeBusy = !text.isEmpty();
    if (m_volumeBusy)
        m_saveStatus->showBusy(text);
    else if (!m_saving && m_savedAt.isEmpty())
        m_saveStatus->clear();
    else if (!m_saving)
        m_saveStatus->showSaved(m_savedAt);
    setEditing(!m_saving);
}

void MainWindow::saveFinished(const SaveReport &report, const QStringList &logLines)
{
    if (m_saveCommit && !report.attempted.isEmpty()) {
        // What was written is in the overlay only; it counts as saved once
        // it is in the image.
        m_saveStatus->showBusy(QCoreApplication::translate("Lumora", "Writing the changes into the disk image…"));
        QString error;
        if (!m_saveCommit(&error)) {
            m_saving = false;
            m_undoStack->clear();
            setEditing(true);
            m_saveStatus->showFailure(
                QCoreApplication::translate("Lumora", "Could not save into the disk image: %1 The image is as it "
                                                      "was before this save.")
                    .arg(error),
                logLines);
            emit saveDone();
            return;
        }
    }
    m_saving = false;
    // The document now holds what the volume holds, but for what failed;
    // earlier steps of the history no longer describe it.
    m_undoStack->clear();
    setEditing(true);
    const QString line = describeSave(report);
    if (report.succeeded() && !report.attempted.isEmpty()) {
        // Lasts until the next edit, with the time, so it can still be read
        // after looking away.
        const Clock *clock = m_controller.context().clock;
        const QDateTime now = clock ? clock->now() : QDateTime::currentDateTime();
        m_savedAt = QCoreApplication::translate("Lumora", "Saved at %1")
                        .arg(now.toLocalTime().toString(QStringLiteral("HH:mm")));
        m_saveStatus->showSaved(m_savedAt);
    } else if (report.succeeded()) {
        // Nothing changed since the last save, so its time still holds once
        // this passing line has gone.
        if (m_savedAt.isEmpty())
            m_saveStatus->clear();
        else
            m_saveStatus->showSaved(m_savedAt);
        statusBar()->showMessage(line, 5000);
    } else {
        m_saveStatus->showFailure(line, logLines);
    }
    emit saveDone();
}

void MainWindow::restoreDefaultLook()
{
    readPendingSettings();
    if (editingRefused())
        return;
    edit(QCoreApplication::translate("Lumora", "Restore Default Look"), [this] { m_controller.defaults(); });
    statusBar()->showMessage(
        QCoreApplication::translate("Lumora", "The default look is shown. Save to put it on the volume."), 5000);
}

void MainWindow::showHistory()
{
    readPendingSettings();
    if (editingRefused() || m_saving)
        return;
    HistoryDialog dialog(m_controller, this);
    if (dialog.exec() != QDialog::Accepted || !dialog.chosen())
        return;
    const LookHistory::Look look = *dialog.chosen();
    edit(QCoreApplication::translate("Lumora", "Restore Saved Look"), [this, look] { SavedLooks::fill(m_controller, look); });
    statusBar()->showMessage(
        QCoreApplication::translate("Lumora", "The look saved on %1 is shown. Save to put it on the volume.")
            .arg(QLocale().toString(look.saved.toLocalTime(), QLocale::ShortFormat)),
        5000);
}

void MainWindow::revertToSaved()
{
    if (m_saving)
        return;
    readPendingSettings();
    if (m_controller.dirty()) {
        AlertPanel *alerts = m_controller.context().alerts;
        const QString title =
            QCoreApplication::translate("Lumora", "Do you want to revert to the look saved on the volume?");
        const QString message = QCoreApplication::translate("Lumora", "If you revert now, your changes will be lost.");
        if (!alerts
            || alerts->runAlert(title, message, QCoreApplication::translate("Lumora", "Revert"),
                                QCoreApplication::translate("Lumora", "Cancel"))
                != AlertPanel::DefaultReturn)
            return;
    }
    m_controller.loadCurrentSettings();
    m_undoStack->clear();
    clearSaveStatus();
    statusBar()->showMessage(QCoreApplication::translate("Lumora", "The look saved on the volume is shown."), 5000);
}

void MainWindow::checkForUpdates()
{
    if (!m_updatePanel) {
        m_updatePanel = new UpdateCheckPanel(this);
        connect(m_updatePanel, &UpdateCheckPanel::cancelRequested, m_updateCheck, &ManualUpdateCheck::cancel);
        connect(m_updateCheck, &ManualUpdateCheck::resultReady, m_updatePanel, &QDialog::hide);
        connect(m_updateCheck, &ManualUpdateCheck::finished, this, [this] {
            m_updatePanel->hide();
            m_updateAction->setEnabled(true);
        });
    }
    if (!m_updateCheck->start())
        return;
    m_updateAction->setEnabled(false);
    m_updatePanel->show();
    m_updatePanel->raise();
}

void MainWindow::help()
{
    m_controller.help();
}

void MainWindow::quit()
{
    if (m_saving || !m_controller.applicationShouldTerminate())
        return;
    m_quitConfirmed = true;
    close();
    emit quitConfirmed();
}

QMargins MainWindow::frameMargins() const
{
    // Unknown until the window system has framed the window; a title bar's
    // height is kept free meanwhile rather than risking the buttons.
    const QWindow *handle = windowHandle();
    const QMargins known = handle ? handle->frameMargins() : QMargins();
    if (!known.isNull() || (handle && handle->isExposed()))
        return known;
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    return {0, titleBar, 0, 0};
}

void MainWindow::fitInto(const QRect &available)
{
    const QMargins frame = frameMargins();
    const QRect room = available.marginsRemoved(frame);
    QSize wanted = m_preferredSize;
    const bool roomForBoth = room.width() >= wanted.width() + PreviewPane::kPaneWidth && room.height() >= wanted.height();
    if (!m_fitted && m_previewDock && !m_previewDock->isFloating()) {
        m_placingPreview = true;
        m_previewDock->setVisible(roomForBoth);
        m_placingPreview = false;
        if (!roomForBoth)
            statusBar()->showMessage(
                QCoreApplication::translate("Lumora", "The preview is hidden (no room): View ▸ Preview shows it."),
                15000);
    }
    if (m_previewDock && m_previewDock->isVisibleTo(this) && !m_previewDock->isFloating())
        wanted.rwidth() += PreviewPane::kPaneWidth;
    const QSize size = wanted.boundedTo(room.size()).expandedTo(minimumSizeHint());
    resize(size);

    // Centred the first time; later kept where it is, moved only as far as
    // needed to lie inside. move() places the frame.
    const QSize outer = size.grownBy(frame);
    QPoint at = m_fitted || testAttribute(Qt::WA_Moved)
                    ? pos()
                    : available.topLeft() + QPoint((available.width() - outer.width()) / 2,
                                                   (available.height() - outer.height()) / 2);
    at.setX(std::clamp(at.x(), available.left(), std::max(available.left(), available.right() + 1 - outer.width())));
    at.setY(std::clamp(at.y(), available.top(), std::max(available.top(), available.bottom() + 1 - outer.height())));
    move(at);
    m_fitted = true;
}

void MainWindow::previewShown()
{
    const QScreen *shownOn = screen();
    if (!shownOn)
        return;
    const QRect available = shownOn->availableGeometry();
    const QMargins frame = frameMargins();
    const QRect room = available.marginsRemoved(frame);
    if (room.width() >= m_preferredSize.width() + PreviewPane::kPaneWidth) {
        // Wider by the pane, as far as the screen allows.
        fitInto(available);
        return;
    }
    // Beside the settings it would squeeze them: a window of its own, on
    // the same screen.
    m_placingPreview = true;
    m_previewDock->setFloating(true);
    const QSize size = QSize(PreviewPane::kPaneWidth + 120, 480).boundedTo(room.size());
    m_previewDock->resize(size);
    m_previewDock->move(available.topLeft()
                        + QPoint(std::max(0, available.width() - size.width() - frame.left() - frame.right()), 0));
    m_placingPreview = false;
    // Docked for a moment, the pane may have widened the window; once the
    // layouts have caught up, and the dock's own frame is known, both are
    // put back inside.
    QTimer::singleShot(0, this, [this, available] {
        fitInto(available);
        keepInside(*m_previewDock, available);
    });
    statusBar()->showMessage(
        QCoreApplication::translate("Lumora", "The preview is in a window of its own (no room beside the settings)."),
        15000);
}

void MainWindow::readSettingsOnceShown(std::function<void()> read)
{
    m_pendingRead = std::move(read);
    m_messageView->setReadOnly(true);
    // A window that is never exposed (minimised at once, say) still gets
    // its settings.
    QTimer::singleShot(1000, this, &MainWindow::readPendingSettings);
}

void MainWindow::readPendingSettings()
{
    if (!m_pendingRead)
        return;
    std::function<void()> read = std::exchange(m_pendingRead, {});
    if (QWindow *handle = windowHandle())
        handle->removeEventFilter(this);
    read();
    setEditing(!m_saving);
    emit settingsRead();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Handling the expose paints the window; the settings are read after.
    if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        QMetaObject::invokeMethod(this, &MainWindow::readPendingSettings, Qt::QueuedConnection);
    }
    // Not accepting the override leaves the keys to the window's actions.
    if (event->type() == QEvent::ShortcutOverride && QtMessageView::isUndoOrRedo(static_cast<QKeyEvent *>(event))) {
        event->ignore();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::setVisible(bool visible)
{
    // Fitted before it is laid out for the first time, so that the layouts
    // are worked out once, at the size the window opens with. Made first
    // for the screen and the frame to be those it is shown on.
    if (visible && !m_fitted && !isVisible()) {
        create();
        if (screen())
            fitInto(screen()->availableGeometry());
    }
    QMainWindow::setVisible(visible);
}

void MainWindow::showEvent(QShowEvent *event)
{
    if (!m_fitted && screen())
        fitInto(screen()->availableGeometry());
    QMainWindow::showEvent(event);
    if (m_pendingRead && windowHandle())
        windowHandle()->installEventFilter(this);
    // Once framed, the frame is known: still inside?
    QTimer::singleShot(200, this, [this] {
        if (isVisible() && screen())
            keepInside(*this, screen()->availableGeometry());
    });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // After the Quit command the user has answered already.
    if (m_saving || (!m_quitConfirmed && !m_controller.windowShouldClose())) {
        event->ignore();
        return;
    }
    event->accept();
}
