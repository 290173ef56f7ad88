// The version list read straight from the fallback address, when the
// download gave none.

#include "update/VersionListFetch.h"

#include <QUrl>

namespace UpdateCheck {

std::optional<QVariantMap> readFromAddress(const QString &address, std::chrono::milliseconds timeout,
                                           qint64 maxBytes, const std::shared_ptr<Cancellation> &cancellation)
{
    if (!QUrl(address).isValid())
        return std::nullopt;
    // curl reads it too, with the same bounds: Qt Network sends a request
    // once more when the server closes the connection without an answer,
    // with no switch to stop it, and each address is to be asked once.
    return downloadWithCurl(address, timeout, maxBytes, cancellation);
}

} // namespace UpdateCheck
