#include "app/MainWindow.h"

#include "app/ImageWell.h"
#include "app/PreviewPane.h"
#include "controller/LumoraLogin.h"
#include "app/QtMessageView.h"
#include "platform/Localized.h"
#include "update/VersionChecker.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

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

QString settingName(const QString &name)
{
    if (name == QLatin1String("logo"))
        return localized("logo");
    if (name == QLatin1String("title"))
        return localized("title");
    if (name == QLatin1String("background"))
        return localized("background");
    if (name == QLatin1String("message"))
        return localized("message");
    if (name == QLatin1String("host information"))
        return localized("host information");
    return name;
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
    buildInterface();
    buildMenus();
    connectController();
    installPreview(*this, m_controller);

    const QString volume = m_controller.context().volume.displayName();
    // The window system adds the application name.
    setWindowTitle(localized("Login window of %1[*]").arg(volume));
    if (const auto release = LoginWindow::systemRelease(m_controller.context().volume))
        m_releaseLabel->setText(localized("Mac OS X %1 on %2").arg(*release, volume));
    else
        m_releaseLabel->setText(localized("Unknown system release on %1").arg(volume));

    // Whatever the controller holds now; attaching the window's message view
    // to it then loads the volume.
    showLogo();
    showTitle();
    showBackground();
    showHostInfoTag();
    showFlags();
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
    auto *central = new QWidget(this);
    auto *grid = new QGridLayout(central);
    grid->setContentsMargins(14, 14, 14, 8);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);

    m_backgroundWell = new ImageWell(localized("Background"));
    m_backgroundWell->setObjectName(QStringLiteral("backgroundWell"));
    m_backgroundWell->setMinimumSize(400, 300);
    m_logoWell = new ImageWell(localized("Logo"));
    m_logoWell->setObjectName(QStringLiteral("logoWell"));
    m_logoWell->setMinimumSize(260, 150);
    m_titleWell = new ImageWell(localized("Title"));
    m_titleWell->setObjectName(QStringLiteral("titleWell"));
    m_titleWell->setMinimumSize(260, 90);

    auto *pictures = new QVBoxLayout;
    pictures->addWidget(framed(localized("Logo"), m_logoWell), 3);
    pictures->addWidget(framed(localized("Title"), m_titleWell), 2);
    grid->addWidget(framed(localized("Background"), m_backgroundWell), 0, 0);
    grid->addLayout(pictures, 0, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setRowStretch(0, 1);
    auto *hint = new QLabel(localized("Drop a picture on the background, logo or title, or click one to choose a file."));
    hint->setForegroundRole(QPalette::PlaceholderText);
    grid->addWidget(hint, 1, 0, 1, 2);

    m_messageView = new QtMessageView;
    m_messageView->setObjectName(QStringLiteral("messageView"));
    m_messageView->setPlaceholderText(localized("No message"));
    m_messageView->setFixedHeight(m_messageView->fontMetrics().lineSpacing() * 5);
    grid->addWidget(framed(localized("Message"), m_messageView), 2, 0, 1, 2);

    m_hostInfoChooser = new QComboBox;
    m_hostInfoChooser->setObjectName(QStringLiteral("hostInfoChooser"));
    for (const HostInfoChoice &choice : kHostInfoChoices)
        m_hostInfoChooser->addItem(localized(choice.label), choice.tag);
    auto *hostRow = new QHBoxLayout;
    auto *hostLabel = new QLabel(localized("Host information shown:"));
    hostLabel->setBuddy(m_hostInfoChooser);
    hostRow->addWidget(hostLabel);
    hostRow->addWidget(m_hostInfoChooser);
    hostRow->addStretch(1);
    grid->addLayout(hostRow, 3, 0, 1, 2);

    m_helpButton = new QPushButton(localized("Help"));
    m_helpButton->setObjectName(QStringLiteral("helpButton"));
    m_restoreButton = new QPushButton(localized("Restore Default Look"));
    m_restoreButton->setObjectName(QStringLiteral("restoreButton"));
    m_saveButton = new QPushButton(localized("Save"));
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_helpButton);
    buttons->addStretch(1);
    buttons->addWidget(m_restoreButton);
    buttons->addWidget(m_saveButton);
    grid->addLayout(buttons, 4, 0, 1, 2);

    setCentralWidget(central);
    resize(central->sizeHint().expandedTo(QSize(920, 680)));

    m_releaseLabel = new QLabel;
    m_releaseLabel->setObjectName(QStringLiteral("releaseLabel"));
    statusBar()->addPermanentWidget(m_releaseLabel);
    statusBar()->setObjectName(QStringLiteral("statusBar"));

    connect(m_helpButton, &QPushButton::clicked, this, &MainWindow::help);
    connect(m_restoreButton, &QPushButton::clicked, this, &MainWindow::restoreDefaultLook);
    connect(m_saveButton, &QPushButton::clicked, this, &MainWindow::save);

    connect(m_logoWell, &ImageWell::imageChosen, this, [this](const Image &image) { m_controller.setLogo(image); });
    connect(m_titleWell, &ImageWell::imageChosen, this, [this](const Image &image) { m_controller.setTitle(image); });
    connect(m_backgroundWell, &ImageWell::imageChosen, this,
            [this](const Image &image) { m_controller.setBackground(image); });
    for (ImageWell *well : {m_logoWell, m_titleWell, m_backgroundWell})
        connect(well, &ImageWell::imageRefused, this, &MainWindow::imageRefused);

    // activated() comes from the user only; a reload sets the index quietly.
    connect(m_hostInfoChooser, &QComboBox::activated, this,
            [this](int index) { m_controller.setHostInfoTag(m_hostInfoChooser->itemData(index).toInt()); });
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(localized("&File"));
    m_saveAction = file->addAction(localized("&Save"), this, &MainWindow::save);
    m_saveAction->setObjectName(QStringLiteral("saveAction"));
    m_saveAction->setShortcut(QKeySequence::Save);
    m_restoreAction = file->addAction(localized("&Restore Default Look"), this, &MainWindow::restoreDefaultLook);
    m_restoreAction->setObjectName(QStringLiteral("restoreAction"));
    file->addSeparator();
    m_quitAction = file->addAction(localized("&Quit"), this, &MainWindow::quit);
    m_quitAction->setObjectName(QStringLiteral("quitAction"));
    m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quitAction->setMenuRole(QAction::QuitRole);

    QMenu *helpMenu = menuBar()->addMenu(localized("&Help"));
    m_helpAction = helpMenu->addAction(localized("Lumora Login &Help"), this, &MainWindow::help);
    m_helpAction->setObjectName(QStringLiteral("helpAction"));
    m_helpAction->setShortcut(QKeySequence::HelpContents);
    m_updateAction = helpMenu->addAction(localized("Check for &Updates…"), this, &MainWindow::checkForUpdates);
    m_updateAction->setObjectName(QStringLiteral("updateAction"));
}

void MainWindow::connectController()
{
    connect(&m_controller, &LumoraLogin::logoSet, this, &MainWindow::showLogo);
    connect(&m_controller, &LumoraLogin::titleSet, this, &MainWindow::showTitle);
    connect(&m_controller, &LumoraLogin::backgroundSet, this, &MainWindow::showBackground);
    connect(&m_controller, &LumoraLogin::hostInfoTagSet, this, &MainWindow::showHostInfoTag);
    connect(&m_controller, &LumoraLogin::flagsChanged, this, &MainWindow::showFlags);
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
}

void MainWindow::imageRefused(const QString &hostPath)
{
    statusBar()->showMessage(
        localized("Not a picture that can be read: %1").arg(QFileInfo(hostPath).fileName()));
}

QString MainWindow::describeSave(const SaveReport &report)
{
    if (report.anotherSaveRunning)
        return localized("Not saved: another copy of Lumora Login is saving. Try again when it has finished.");
    if (!report.failed.isEmpty()) {
        QStringList names;
        for (const QString &name : report.failed)
            names << settingName(name);
        return localized("Could not save: %1. See the log for details.").arg(names.join(QStringLiteral(", ")));
    }
    if (report.attempted.isEmpty())
        return localized("Nothing to save.");
    return localized("Saved.");
}

void MainWindow::save()
{
    if (m_saving)
        return;
    m_saving = true;
    m_saveAction->setEnabled(false);
    m_saveButton->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    statusBar()->showMessage(localized("Saving…"));
    // The save blocks the event loop; let the busy state reach the screen
    // first, without taking user input in between.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const SaveReport report = m_controller.save();

    QApplication::restoreOverrideCursor();
    m_saveAction->setEnabled(true);
    m_saveButton->setEnabled(true);
    m_saving = false;
    statusBar()->showMessage(describeSave(report));
}

void MainWindow::restoreDefaultLook()
{
    m_controller.defaults();
    statusBar()->showMessage(localized("The default look is shown. Save to put it on the volume."));
}

void MainWindow::checkForUpdates()
{
    m_controller.checkForUpdates();
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

void MainWindow::closeEvent(QCloseEvent *event)
{
    // After the Quit command the user has answered already.
    if (m_saving || (!m_quitConfirmed && !m_controller.windowShouldClose())) {
        event->ignore();
        return;
    }
    event->accept();
}
