#pragma once

#include <atomic>
#include <thread>

// Work the first window waits on but that needs nothing from it, done on
// threads of their own while the window is built:
// - fontconfig reads its configuration and caches, from the start, before
//   the application object exists;
// - Qt makes its list of fonts once the application object does;
// - the session bus that accessibility speaks through is connected then
//   too (on a desktop whose bus cannot be reached, that attempt alone
//   takes milliseconds);
// - the image format plugins are loaded once the window is on its way to
//   the screen. Loaded any earlier, they would hold the plugin lock the
//   window's accessibility and icons need while it is being built.
// Whatever the window reaches first it waits for, as it would have anyway,
// and nothing is done twice: each step is Qt's or fontconfig's own, which
// keeps what it made.
class StartupWarmup
{
public:
    StartupWarmup();
    ~StartupWarmup();
    StartupWarmup(const StartupWarmup &) = delete;
    StartupWarmup &operator=(const StartupWarmup &) = delete;

    // Just after the QApplication is made.
    void applicationStarted();
    // Just after the first window is shown.
    void windowShown();
    // Waits for every step begun; before the QApplication goes. A step not
    // yet begun is not begun.
    void finish();

private:
    enum : int { Waiting, Started, Finishing };
    std::atomic<int> m_application{Waiting};
    std::thread m_fonts;
    std::thread m_bus;
    std::thread m_imageFormats;
};
