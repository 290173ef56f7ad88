#include "platform/widgets/QtWorkspace.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QThread>

bool QtWorkspace::openUrl(const QUrl &url)
{
    if (QThread::currentThread() == qApp->thread())
        return QDesktopServices::openUrl(url);
    bool opened = false;
    QMetaObject::invokeMethod(
        qApp, [&] { opened = QDesktopServices::openUrl(url); }, Qt::BlockingQueuedConnection);
    return opened;
}
