#pragma once

#include "platform/Bundle.h"
#include "platform/Volume.h"

class AlertPanel;
class Clock;
class UserDefaults;
class Workspace;

// The services of the platform that the operations reach: the volume being
// edited, the application's bundle, and the panels, browser, clock and
// preferences. main.cpp (or a test, or the companion) fills them in;
// nothing here is owned.
struct PlatformServices {
    Volume volume;
    Bundle bundle;
    UserDefaults *defaults = nullptr;
    AlertPanel *alerts = nullptr;
    Workspace *workspace = nullptr;
    Clock *clock = nullptr;
};
