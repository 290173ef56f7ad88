#pragma once

#include <QUrl>

// Opens web addresses in the user's browser.
class Workspace {
public:
    virtual ~Workspace() = default;
    virtual bool openUrl(const QUrl &url) = 0;
};
