#pragma once

#include "app/VolumeChooser.h"
#include "controller/LumoraLogin.h"
#include "platform/VolumeFinder.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MainWindow;

// The application's preference key of the last volume opened.
namespace PreferenceKeys {
inline const QString kLastVolume = QStringLiteral("Last volume");
} // namespace PreferenceKeys

// What lumora-login was started with.
struct StartOptions {
    std::optional<QString> root; // --root DIR or --root=DIR
    QString error;               // a usage error; empty when the arguments are fine
};
// The arguments after the program name; anything but --root is left to Qt.
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

    // At start: the folder given (the option or the variable), else the last
    // volume used when it is still one, else the chooser.
    void start(const std::optional<QString> &root);

    // File ▸ Open Volume…: after the unsaved-changes question, the chooser.
    void chooseVolume();

    // Opens a folder in a new window. A folder that is not a volume opens
    // with editing refused; it is never remembered as the last volume.
    void openFolder(const QString &folder);

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

    LumoraContext m_base;
    std::function<QList<FoundVolume>()> m_findVolumes;
    std::unique_ptr<LumoraLogin> m_controller;
    std::unique_ptr<MainWindow> m_window;
    QPointer<VolumeChooser> m_chooser;
    struct Retired {
        std::unique_ptr<MainWindow> window;
        std::unique_ptr<LumoraLogin> controller;
    };
    std::vector<Retired> m_retired;
    bool m_launchCheckArmed = false;
};
