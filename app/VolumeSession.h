#pragma once

#include "app/VolumeChooser.h"
#include "controller/LumoraLogin.h"
#include "platform/DiskImage.h"
#include "platform/VolumeFinder.h"
#include "privileged/Authorization.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MainWindow;


// The application's preference key of the last volume opened.
namespace PreferenceKeys {
inline const QString kLastVolume = QStringLiteral("Last volume");
// The disk image opened last (instead of a folder), and those opened lately.
inline const QString kLastImage = QStringLiteral("Last disk image");
inline const QString kRecentImages = QStringLiteral("Recent disk images");
} // namespace PreferenceKeys

// What lumora-login was started with.
struct StartOptions {
    std::optional<QString> root;  // --root DIR or --root=DIR
    std::optional<QString> image; // --image FILE or --image=FILE
    QString error;               // a usage error; empty when the arguments are fine
};
// The arguments after the program name; anything but --root and --image is
// left to Qt.
[[nodiscard]] StartOptions parseStartOptions(const QStringList &arguments);

// The volume being edited and its window. The controller holds its volume
// in its context, so opening another volume makes a new controller and a
// new window in place of the old ones.
class VolumeSession final : public QObject {
    Q_OBJECT
public:
    // `base` is every service but the volume; `findVolumes` lists what the
    // chooser offers.
    VolumeSession(LumoraContext base, std::function<QList<FoundVolume>()> findVolumes, QObject *parent = nullptr);
    ~VolumeSession() override;

    // At start: the folder or disk image given (the option or the
    // variable), else the last volume or image used when it is still there,
    // else the chooser.
    void start(const std::optional<QString> &root, const std::optional<QString> &image = std::nullopt);

    // File ▸ Open Volume…: after the unsaved-changes question, the chooser.
    void chooseVolume();

    // Opens a folder in a new window. A folder that is not a volume opens
    // with editing refused; it is never remembered as the last volume.
    void openFolder(const QString &folder);

    // Opens the Mac OS X volume inside a disk image, as its owner, showing
    // each step in a progress dialog whose Cancel stops it. The window
    // appears once the volume is mounted.
    void openImage(const QString &image);
    // File ▸ Open Disk Image…: after the unsaved-changes question, a file
    // chooser.
    void chooseImage();
    // The image being edited, if the volume is in one.
    [[nodiscard]] DiskImage *image() const { return m_image.get(); }
    // What opening the image shows; null when none is being opened.
    [[nodiscard]] QProgressDialog *imageProgress() const { return m_imageProgress; }

    [[nodiscard]] MainWindow *window() const { return m_window.get(); }
    [[nodiscard]] LumoraLogin *controller() const { return m_controller.get(); }
    [[nodiscard]] VolumeChooser *chooser() const { return m_chooser; }

signals:
    // A new window replaced the old one (for the alert panels' parent).
    void windowChanged(MainWindow *window);
    // The user quit, or closed the chooser with no volume open.
    void quitRequested();

private:
    void showChooser(const QString &refusal = {});
    // Deletes the windows and controllers of volumes left, window first.
    void dropRetired();
    [[nodiscard]] bool mayLeaveCurrentVolume();
    void openVolume(const QString &folder, std::unique_ptr<DiskImage> image);
    void adoptImageSignals();
    void imageFailedToOpen(const QString &image, const QString &message);

    LumoraContext m_base;
    std::function<QList<FoundVolume>()> m_findVolumes;
    std::unique_ptr<LumoraLogin> m_controller;
    std::unique_ptr<MainWindow> m_window;
    QPointer<VolumeChooser> m_chooser;
    struct Retired {
        std::unique_ptr<MainWindow> window;
        std::unique_ptr<LumoraLogin> controller;
        std::unique_ptr<DiskImage> image;
    };
    std::vector<Retired> m_retired;
    std::unique_ptr<DiskImage> m_image;        // the volume's image, while one is edited
    std::unique_ptr<DiskImage> m_openingImage; // an image being opened
    QPointer<QProgressDialog> m_imageProgress;
    // An image's volume is mounted for its owner alone: its tools run as
    // the user, whatever runner the rest of the application has.
    std::unique_ptr<Authorization> m_imageAuthorization;
    bool m_launchCheckArmed = false;
};
