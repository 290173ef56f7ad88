#include "platform/widgets/StartupWarmup.h"

#include <QDBusConnection>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>

#include <dlfcn.h>

namespace {

// fontconfig as Qt's own font database loads it, if Qt uses it at all:
// looked up among the libraries already loaded rather than linked, so
// the same copy is warmed that Qt reads.
void readFontConfiguration()
{
    using Init = int (*)();
    if (auto init = reinterpret_cast<Init>(::dlsym(RTLD_DEFAULT, "FcInit")))
        (void)init();
}

// The platforms whose accessibility bridge connects to the session bus
// while the first widget is made.
bool bridgesAccessibilityOverSessionBus()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
}

} // namespace

StartupWarmup::StartupWarmup()
{
    m_fonts = std::thread([this] {
        readFontConfiguration();
        m_application.wait(Waiting);
        if (m_application.load() == Started)
            (void)QFontDatabase::families();
    });
}

StartupWarmup::~StartupWarmup()
{
    finish();
}

void StartupWarmup::applicationStarted()
{
    if (m_application.load() != Waiting)
        return;
    // The bus first: the first widget made waits for it.
    if (bridgesAccessibilityOverSessionBus())
        m_bus = std::thread([] { (void)QDBusConnection::sessionBus(); });
    int waiting = Waiting;
    if (m_application.compare_exchange_strong(waiting, Started))
        m_application.notify_all();
}

void StartupWarmup::windowShown()
{
    if (m_application.load() != Started || m_imageFormats.joinable())
        return;
    m_imageFormats = std::thread([] { (void)QImageReader::supportedImageFormats(); });
}

void StartupWarmup::finish()
{
    m_application.store(Finishing);
    m_application.notify_all();
    for (std::thread *step : {&m_fonts, &m_bus, &m_imageFormats}) {
        if (step->joinable())
            step->join();
    }
}
