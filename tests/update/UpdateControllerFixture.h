#pragma once

// The controller on the update fixture's services, for the tests of its
// launch check.

#include "controller/LumoraLogin.h"
#include "tests/update/UpdateFixture.h"

inline LumoraContext controllerContext(UpdateFixture &f)
{
    const PlatformServices services = f.services();
    return LumoraContext{services.volume,  services.bundle,    services.defaults, services.alerts,
                         services.workspace, services.clock, nullptr};
}
