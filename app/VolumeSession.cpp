#include "app/VolumeSession.h"

#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "app/VolumeChooser.h"
#include "platform/AlertPanel.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QTimer>

StartOptions parseStartOptions(const QStringList &arguments)
{
    StartOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        std::optional<QString> value;
        if (argument == QLatin1String("--root")) {
            if (i + 1 >= arguments.size()) {
                options.error = QStringLiteral("--root needs a folder");
                return options;
            }
            value = arguments[++i];
        } else if (argument.startsWith(QLatin1String("--root="))) {
            value = argument.mid(7);
        } else {
            continue;
        }
        if (options.root) {
            options.error = QStringLiteral("--root given twice");
            return options;
        }
        if (value->isEmpty()) {
            options.error = QStringLiteral("--root needs a folder");
            return options;
        }
        options.root = value;
    }
    return options;
}

VolumeSession::VolumeSession(LumoraContext base, std::function<QList<FoundVolume>()> findVolumes, QObject *parent)
    : QObject(parent), m_base(std::move(base)), m_findVolumes(std::move(findVolumes))
{
    // Closing the chooser or the window ends the application only when
    // nothing took its place: picking a volume closes the chooser just
    // before the window appears.
    connect(qApp, &QGuiApplication::lastWindowClosed, this, [this] {
        QTimer::singleShot(0, this, [this] {
            const bool windowOpen = m_window && m_window->isVisible();
            const bool choosing = m_chooser && m_chooser->isVisible();
            if (!windowOpen && !choosing)
                emit quitRequested();
        });
    });
}

VolumeSession::~VolumeSession()
{
    delete m_chooser.data();
    dropRetired();
    // The window lets go of the controller it shows.
    m_window.reset();
    m_controller.reset();
}

void VolumeSession::dropRetired()
{
    for (Retired &retired : m_retired) {
        retired.window.reset();
        retired.controller.reset();
    }
    m_retired.clear();
}

void VolumeSession::start(const std::optional<QString> &root)
{
    if (root) {
        openFolder(*root);
        return;
    }
    const QString last = m_base.defaults ? m_base.defaults->stringForKey(PreferenceKeys::kLastVolume) : QString();
    if (last.isEmpty()) {
        showChooser();
        return;
    }
    const VolumeCheck::Result result = VolumeCheck::check(last);
    if (result.isVolume()) {
        openFolder(last);
        return;
    }
    showChooser(QCoreApplication::translate("Lumora", "The volume used last time is not opened. %1")
                    .arg(VolumeCheck::refusal(last, result)));
}

void VolumeSession::chooseVolume()
{
    if (m_chooser) {
        m_chooser->raise();
        m_chooser->activateWindow();
        return;
    }
    if (!mayLeaveCurrentVolume())
        return;
    showChooser();
}

bool VolumeSession::mayLeaveCurrentVolume()
{
    if (!m_controller || !m_controller->dirty())
        return true;
    if (!m_base.alerts)
        return false;
    const int answer = m_base.alerts->runAlert(
        QCoreApplication::translate("Lumora",
                                    "You have unsaved changes.  Are you sure you want to open another volume?"),
        QCoreApplication::translate("Lumora", "If you open another volume now, your changes will not be saved."),
        QCoreApplication::translate("Lumora", "Open Another Volume"), QCoreApplication::translate("Lumora", "Cancel"));
    return answer == AlertPanel::DefaultReturn;
}

void VolumeSession::showChooser(const QString &refusal)
{
    auto *chooser = new VolumeChooser(m_findVolumes ? m_findVolumes() : QList<FoundVolume>(), m_window.get());
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setWindowModality(Qt::ApplicationModal);
    chooser->showRefusal(refusal);
    m_chooser = chooser;
    connect(chooser, &QDialog::accepted, this, [this, chooser] { openFolder(chooser->chosenFolder()); });
    connect(chooser, &QDialog::rejected, this, [this] {
        if (!m_window)
            emit quitRequested();
    });
    chooser->open();
}

void VolumeSession::openFolder(const QString &folder)
{
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const VolumeCheck::Result result = VolumeCheck::check(path);

    LumoraContext context = m_base;
    context.volume = Volume(path);
    auto controller = std::make_unique<LumoraLogin>(context);
    auto window = std::make_unique<MainWindow>(*controller);

    auto *openAction = new QAction(QCoreApplication::translate("Lumora", "&Open Volume…"), window.get());
    openAction->setObjectName(QStringLiteral("openVolumeAction"));
    openAction->setShortcut(QKeySequence::Open);
    QMenu *file = window->fileMenu();
    file->insertAction(file->actions().value(0), openAction);
    file->insertSeparator(file->actions().value(1));
    connect(openAction, &QAction::triggered, this, &VolumeSession::chooseVolume);
    connect(window.get(), &MainWindow::quitConfirmed, this, &VolumeSession::quitRequested);

    if (!result.isVolume()) {
        window->refuseEditing(QCoreApplication::translate(
                                  "Lumora", "Not editable. %1 Choose File ▸ Open Volume… to open a Mac OS X volume.")
                                  .arg(VolumeCheck::refusal(path, result)));
    } else {
        window->showVolumeNotice(VolumeCheck::releaseWarning(result));
        if (m_base.defaults) {
            m_base.defaults->setObject(PreferenceKeys::kLastVolume, path);
            m_base.defaults->synchronize();
        }
    }

    if (m_window)
        window->setGeometry(m_window->geometry());
    // The old window goes without its close question: the user answered
    // before choosing. It is deleted once the signal that got here is done.
    std::unique_ptr<MainWindow> oldWindow = std::exchange(m_window, std::move(window));
    std::unique_ptr<LumoraLogin> oldController = std::exchange(m_controller, std::move(controller));
    m_window->show();
    emit windowChanged(m_window.get());
    if (oldWindow) {
        oldWindow->hide();
        m_retired.push_back({std::move(oldWindow), std::move(oldController)});
        QTimer::singleShot(0, this, [this] { dropRetired(); });
    }
    // The launch update check runs once per application, not per volume.
    const bool launchCheck = !std::exchange(m_launchCheckArmed, true);
    m_controller->attachFrontEnd(m_window->messageView(),
                                 launchCheck ? LumoraLogin::LaunchCheck::Start : LumoraLogin::LaunchCheck::Skip);
}
