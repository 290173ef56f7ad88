#include "tests/fakes/TestVolume.h"

#include "platform/LoginWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

TestVolume::TestVolume(const SampleVolume::Options &options)
{
    if (!m_dir.isValid())
        return;
    QDir().mkpath(scratch());
    m_ok = SampleVolume::drawStockArtwork(resources())
           && SampleVolume::build(root(), resources(), options);
    const QString info = QCoreApplication::applicationDirPath() + QStringLiteral("/resources/Info.plist");
    if (QFile::exists(info))
        QFile::copy(info, resources() + QStringLiteral("/Info.plist"));
}

Bundle TestVolume::bundle() const
{
    return Bundle(resources(), QCoreApplication::applicationDirPath());
}

QString TestVolume::domainFile() const
{
    return hostPath(LoginWindow::kDomain) + QStringLiteral(".plist");
}
