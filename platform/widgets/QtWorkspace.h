#pragma once

#include "platform/Workspace.h"

class QtWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl &url) override;
};
