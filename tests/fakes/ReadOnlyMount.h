#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A read-only bind mount of a folder for as long as it lives, as a volume
// mounted with "-o ro" looks to the program. Mounting needs root and a
// kernel that lets this process mount; where it cannot, isMounted() is
// false and why() says what mount answered, for the test's QSKIP.
class ReadOnlyMount {
public:
    explicit ReadOnlyMount(const QString &source)
    {
        if (!m_dir.isValid()) {
            m_why = QStringLiteral("no temporary folder for the mount point");
            return;
        }
        if (!mount({QStringLiteral("--bind"), source, path()}))
            return;
        m_mounted = true;
        if (!mount({QStringLiteral("-o"), QStringLiteral("remount,ro,bind"), path()})) {
            unmount();
            m_mounted = false;
        }
    }
    ~ReadOnlyMount()
    {
        if (m_mounted)
            unmount();
    }
    ReadOnlyMount(const ReadOnlyMount &) = delete;
    ReadOnlyMount &operator=(const ReadOnlyMount &) = delete;

    [[nodiscard]] bool isMounted() const { return m_mounted; }
    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] const QString &why() const { return m_why; }

private:
    bool mount(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral("/bin/mount"), arguments);
        if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return true;
        m_why = QStringLiteral("mounting is not permitted here: mount %1: %2")
                    .arg(arguments.join(QLatin1Char(' ')),
                         QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return false;
    }
    void unmount() { QProcess::execute(QStringLiteral("/bin/umount"), {path()}); }

    QTemporaryDir m_dir;
    QString m_why;
    bool m_mounted = false;
};
