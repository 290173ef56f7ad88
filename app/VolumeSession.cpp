#include "app/VolumeSession.h"

#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "app/VolumeChooser.h"
#include "platform/AlertPanel.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeySequence>
#include <QMenu>
#include <QProgressDialog>
#include <QTimer>

StartOptions parseStartOptions(const QStringList &arguments)
{
    StartOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        std::optional<QString> *slot = nullptr;
        QString name;
        for (const QString &option : {QStringLiteral("--root"), QStringLiteral("--image")}) {
            if (argument == option || argument.startsWith(option + QLatin1Char('=')))
                name = option;
        }
        if (name.isEmpty())
            continue;
        slot = name == QLatin1String("--root") ? &options.root : &options.image;
        const QString needs = name == QLatin1String("--root") ? QStringLiteral("--root needs a folder")
                                                              : QStringLiteral("--image needs a file");
        std::optional<QString> value;
        if (argument == name) {
            if (i + 1 >= arguments.size()) {
                options.error = needs;
                return options;
            }
            value = arguments[++i];
        } else {
            value = argument.mid(name.size() + 1);
        }
        if (*slot) {
            options.error = QStringLiteral("%1 given twice").arg(name);
            return options;
        }
        if (value->isEmpty()) {
            options.error = needs;
            return options;
        }
        *slot = value;
    }
    if (options.root && options.image)
        options.error = QStringLiteral("--root and --image exclude each other");
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
    // Unmounted last: nothing reads the volume any more.
    m_openingImage.reset();
    m_image.reset();
}

void VolumeSession::dropRetired()
{
    for (Retired &retired : m_retired) {
        retired.window.reset();
        retired.controller.reset();
        retired.image.reset();
    }
    m_retired.clear();
}

void VolumeSession::start(const std::optional<QString> &root, const std::optional<QString> &image)
{
    DiskImage::removeLeftovers();
    if (root) {
        openFolder(*root);
        return;
    }
    if (image) {
        openImage(*image);
        return;
    }
    const QString lastImage = m_base.defaults ? m_base.defaults->stringForKey(PreferenceKeys::kLastImage) : QString();
    if (!lastImage.isEmpty() && QFileInfo::exists(lastImage)) {
        openImage(lastImage);
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
    const QStringList recent =
        m_base.defaults ? m_base.defaults->objectForKey(PreferenceKeys::kRecentImages).toStringList() : QStringList();
    auto *chooser = new VolumeChooser(m_findVolumes ? m_findVolumes() : QList<FoundVolume>(), recent, m_window.get());
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setWindowModality(Qt::ApplicationModal);
    chooser->showRefusal(refusal);
    m_chooser = chooser;
    connect(chooser, &QDialog::accepted, this, [this, chooser] {
        if (!chooser->chosenImage().isEmpty())
            openImage(chooser->chosenImage());
        else
            openFolder(chooser->chosenFolder());
    });
    connect(chooser, &QDialog::rejected, this, [this] {
        if (!m_window)
            emit quitRequested();
    });
    chooser->open();
}

void VolumeSession::chooseImage()
{
    if (m_chooser || m_imageProgress || !mayLeaveCurrentVolume())
        return;
    const QString image = QFileDialog::getOpenFileName(
        m_window.get(), QCoreApplication::translate("Lumora", "Choose a Disk Image of a Mac"), QDir::homePath(),
        DiskImage::fileNameFilters().join(QStringLiteral(";;")));
    if (!image.isEmpty())
        openImage(image);
}

void VolumeSession::openImage(const QString &path)
{
    if (m_openingImage)
        return;
    const QString image = QFileInfo(path).absoluteFilePath();
    m_openingImage = std::make_unique<DiskImage>(image, m_base.bundle.helperPath(QStringLiteral("lumora-image")));
    DiskImage *opening = m_openingImage.get();

    auto *dialog = new QProgressDialog(QCoreApplication::translate("Lumora", "Opening %1…").arg(QFileInfo(image).fileName()),
                                       QCoreApplication::translate("Lumora", "Cancel"), 0, 0, m_window.get());
    dialog->setObjectName(QStringLiteral("imageProgress"));
    dialog->setWindowTitle(QCoreApplication::translate("Lumora", "Opening Disk Image"));
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setMinimumWidth(480);
    m_imageProgress = dialog;
    const QString name = QFileInfo(image).fileName();
    connect(opening, &DiskImage::progress, dialog,
            [dialog, name](const QString &text) { dialog->setLabelText(name + QStringLiteral("\n") + text); });
    // Closing a progress dialog counts as Cancel; the handlers below close
    // it only after leaving it with nothing to cancel.
    auto dismiss = [this, dialog] {
        disconnect(dialog, &QProgressDialog::canceled, this, nullptr);
        dialog->close();
    };
    connect(dialog, &QProgressDialog::canceled, this, [this, dismiss] {
        dismiss();
        // Stopping takes the machine down cleanly; nothing was written.
        m_openingImage.reset();
        if (!m_window)
            showChooser();
    });
    connect(opening, &DiskImage::volumesFound, this, [this, dialog](const QList<ImageVolume> &volumes) {
        QStringList names;
        for (const ImageVolume &volume : volumes)
            names << QCoreApplication::translate("Lumora", "%1 (Mac OS X %2), partition %3")
                         .arg(volume.name, volume.release)
                         .arg(volume.partition);
        bool chosen = false;
        const QString answer = QInputDialog::getItem(
            dialog, QCoreApplication::translate("Lumora", "Choose a Volume"),
            QCoreApplication::translate("Lumora", "The disk image holds several Mac OS X volumes. Which one?"), names,
            0, false, &chosen);
        if (!chosen || !m_openingImage) {
            emit dialog->canceled();
            return;
        }
        m_openingImage->mountVolume(volumes.at(names.indexOf(answer)).partition);
    });
    connect(opening, &DiskImage::failed, this, [this, dismiss, image](const QString &message) {
        dismiss();
        // Dropped once the signal that got here is done.
        QTimer::singleShot(0, this, [this] { m_openingImage.reset(); });
        imageFailedToOpen(image, message);
    });
    connect(opening, &DiskImage::mounted, this, [this, dismiss] {
        dismiss();
        disconnect(m_openingImage.get(), nullptr, this, nullptr);
        std::unique_ptr<DiskImage> opened = std::move(m_openingImage);
        const QString folder = opened->mountPoint();
        openVolume(folder, std::move(opened));
    });
    dialog->show();
    opening->open();
}

void VolumeSession::imageFailedToOpen(const QString &image, const QString &message)
{
    const QString text =
        QCoreApplication::translate("Lumora", "The disk image %1 could not be opened: %2").arg(image, message);
    if (m_window) {
        if (m_base.alerts)
            m_base.alerts->runAlert(QCoreApplication::translate("Lumora", "The disk image could not be opened."), text,
                                    QCoreApplication::translate("Lumora", "OK"));
        return;
    }
    showChooser(text);
}

void VolumeSession::adoptImageSignals()
{
    DiskImage *image = m_image.get();
    MainWindow *window = m_window.get();
    LumoraLogin *controller = m_controller.get();
    window->setSaveCommit([image](QString *error) { return image->save(true, error); });
    // After a save the volume is mounted again from the image.
    connect(image, &DiskImage::progress, window, [window](const QString &text) { window->showVolumeBusy(text); });
    connect(image, &DiskImage::mounted, window, [window, controller] {
        controller->loadCurrentSettings();
        window->showVolumeBusy(QString());
    });
    connect(image, &DiskImage::failed, window, [window](const QString &message) {
        window->showVolumeBusy(QString());
        window->refuseEditing(
            QCoreApplication::translate("Lumora", "The disk image was closed: %1 Choose File ▸ Open Disk Image… to "
                                                  "open it again.")
                .arg(message));
    });
}

void VolumeSession::openFolder(const QString &folder)
{
    openVolume(folder, nullptr);
}

void VolumeSession::openVolume(const QString &folder, std::unique_ptr<DiskImage> image)
{
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const VolumeCheck::Result result = VolumeCheck::check(path);

    LumoraContext context = m_base;
    context.volume = image ? image->volume() : Volume(path);
    if (image) {
        if (!m_imageAuthorization)
            m_imageAuthorization =
                std::make_unique<Authorization>(std::make_unique<DirectAuthorizationService>(), m_base.alerts);
        context.authorization = m_imageAuthorization.get();
    }
    auto controller = std::make_unique<LumoraLogin>(context);
    auto window = std::make_unique<MainWindow>(*controller);

    auto *openAction = new QAction(QCoreApplication::translate("Lumora", "&Open Volume…"), window.get());
    openAction->setObjectName(QStringLiteral("openVolumeAction"));
    openAction->setShortcut(QKeySequence::Open);
    QMenu *file = window->fileMenu();
    file->insertAction(file->actions().value(0), openAction);
    file->insertSeparator(file->actions().value(1));
    connect(openAction, &QAction::triggered, this, &VolumeSession::chooseVolume);
    auto *imageAction = new QAction(QCoreApplication::translate("Lumora", "Open &Disk Image…"), window.get());
    imageAction->setObjectName(QStringLiteral("openImageAction"));
    imageAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    file->insertAction(file->actions().value(1), imageAction);
    connect(imageAction, &QAction::triggered, this, &VolumeSession::chooseImage);
    connect(window.get(), &MainWindow::quitConfirmed, this, &VolumeSession::quitRequested);

    if (!result.isVolume()) {
        window->refuseEditing(QCoreApplication::translate(
                                  "Lumora", "Not editable. %1 Choose File ▸ Open Volume… to open a Mac OS X volume.")
                                  .arg(VolumeCheck::refusal(path, result)));
    } else if (image) {
        if (!image->isWritable())
            window->refuseEditing(QCoreApplication::translate("Lumora", "Read-only. %1").arg(image->readOnlyReason()));
        else
            window->showVolumeNotice(VolumeCheck::releaseWarning(result));
        if (m_base.defaults) {
            QStringList recent = m_base.defaults->objectForKey(PreferenceKeys::kRecentImages).toStringList();
            recent.removeAll(image->image());
            recent.prepend(image->image());
            m_base.defaults->setObjectsSoon({{PreferenceKeys::kRecentImages, QVariant(recent.mid(0, 8))},
                                             {PreferenceKeys::kLastImage, image->image()}});
        }
    } else {
        // Known before any edit, so the user never edits what cannot be saved.
        if (const QString readOnly = VolumeCheck::readOnlyReason(path); !readOnly.isEmpty())
            window->refuseEditing(QCoreApplication::translate("Lumora", "Read-only. %1").arg(readOnly));
        else
            window->showVolumeNotice(VolumeCheck::releaseWarning(result));
        if (m_base.defaults) {
            // Written once the window is up: the file's write waits on the disk.
            m_base.defaults->setObjectsSoon(
                {{PreferenceKeys::kLastVolume, path}, {PreferenceKeys::kLastImage, QString()}});
        }
    }

    if (m_window)
        window->setGeometry(m_window->geometry());
    // The old window goes without its close question: the user answered
    // before choosing. It is deleted once the signal that got here is done.
    std::unique_ptr<MainWindow> oldWindow = std::exchange(m_window, std::move(window));
    std::unique_ptr<LumoraLogin> oldController = std::exchange(m_controller, std::move(controller));
    std::unique_ptr<DiskImage> oldImage = std::exchange(m_image, std::move(image));
    // The window goes on the screen before the volume's settings and
    // pictures are read.
    MainWindow *shown = m_window.get();
    LumoraLogin *shownController = m_controller.get();
    const bool isVolume = result.isVolume();
    shown->readSettingsOnceShown([this, shown, shownController, isVolume] {
        // The launch update check runs once per application, not per volume.
        const bool launchCheck = !std::exchange(m_launchCheckArmed, true);
        shownController->attachFrontEnd(shown->messageView(), launchCheck ? LumoraLogin::LaunchCheck::Start
                                                                           : LumoraLogin::LaunchCheck::Skip);
        // What was loaded in place of preferences that cannot be read is
        // the stock look, which a save would write over them.
        if (isVolume && !shownController->unreadableReason().isEmpty())
            shown->refuseEditing(
                QCoreApplication::translate("Lumora", "Read-only. %1").arg(shownController->unreadableReason()));
    });
    m_window->show();
    emit windowChanged(m_window.get());
    if (oldWindow) {
        oldWindow->hide();
        m_retired.push_back({std::move(oldWindow), std::move(oldController), std::move(oldImage)});
        QTimer::singleShot(0, this, [this] { dropRetired(); });
    }
    if (m_image)
        adoptImageSignals();
}
