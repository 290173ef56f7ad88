#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A stand-in for sudo with sudo's command lines and one known password:
// "-S -p '' -v" reads a line and caches the credential when it is right,
// "-n -v" tests the credential, "-n -- TOOL ARGS" runs the tool when it is
// cached (as the current user), "-k" forgets it. Every password check is
// recorded as one line of checks().
class FakeSudo {
public:
    explicit FakeSudo(const QByteArray &password)
    {
        const QString held = m_dir.filePath(QStringLiteral("held"));
        const QString checks = m_dir.filePath(QStringLiteral("checks"));
        const QByteArray script = "#!/bin/sh\n"
                                  "held='" + QFile::encodeName(held) + "'\n"
                                  "checks='" + QFile::encodeName(checks) + "'\n"
                                  "case \"$1\" in\n"
                                  "-S) IFS= read -r typed\n"
                                  "    echo check >> \"$checks\"\n"
                                  "    [ \"$typed\" = '" + password + "' ] || exit 1\n"
                                  "    : > \"$held\"; exit 0 ;;\n"
                                  "-n) [ -e \"$held\" ] || exit 1\n"
                                  "    [ \"$2\" = -v ] && exit 0\n"
                                  "    shift 2; exec \"$@\" ;;\n"
                                  "-k) rm -f \"$held\"; exit 0 ;;\n"
                                  "esac\n"
                                  "exit 2\n";
        QFile file(path());
        m_ok = m_dir.isValid() && file.open(QIODevice::WriteOnly) && file.write(script) == script.size();
        file.close();
        m_ok = m_ok && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    [[nodiscard]] bool isValid() const { return m_ok; }
    [[nodiscard]] QString path() const { return m_dir.filePath(QStringLiteral("sudo")); }
    // How many passwords were checked.
    [[nodiscard]] int checks() const
    {
        QFile file(m_dir.filePath(QStringLiteral("checks")));
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};
