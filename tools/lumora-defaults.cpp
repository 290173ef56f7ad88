// lumora-defaults: reads and changes one key of a preference domain file,
// the way the application's save operations need it.
//
//   lumora-defaults [--root ROOT] write DOMAIN KEY VALUE
//   lumora-defaults [--root ROOT] write DOMAIN KEY -bool|-int VALUE
//   lumora-defaults [--root ROOT] delete DOMAIN KEY
//   lumora-defaults [--root ROOT] read DOMAIN [KEY]
//
// DOMAIN is a path; the file is DOMAIN.plist. With --root it is a path on
// the volume mounted at ROOT, looked up inside that volume. See
// DefaultsTool.h for what is kept and what is refused.

#include "tools/AllowedRequests.h"
#include "tools/DefaultsTool.h"
#include "tools/DefaultsValue.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: lumora-defaults [--root ROOT] write DOMAIN KEY [-bool|-int] VALUE | delete DOMAIN KEY | "
                         "read DOMAIN [KEY]\n");
    return DefaultsTool::kExitUsage;
}

int refuse(const QByteArray &why)
{
    std::fprintf(stderr, "lumora-defaults: %s; nothing was changed\n", why.constData());
    return DefaultsTool::kExitFailure;
}

// Run as root for someone else (sudo, pkexec), it writes only the login
// window's domain of a Mac OS X volume; as anyone's own tool, any domain
// that person may write.
std::optional<QByteArray> refusedRequest(const QString &root, const QByteArray &domain)
{
    if (root.isEmpty()) {
        const bool forSomeoneElse = ::geteuid() == 0
                                    && (std::getenv("SUDO_UID") || std::getenv("PKEXEC_UID"))
                                    && QByteArray(std::getenv("SUDO_UID")) != "0";
        if (forSomeoneElse)
            return QByteArray("run with administrator rights for another user, it needs --root and the login "
                              "window's domain");
        return std::nullopt;
    }
    if (auto refused = AllowedRequests::refusedRoot(root))
        return refused;
    if (!AllowedRequests::isLoginWindowDomain(VolumeResolver(Volume(root)), QFile::decodeName(domain)))
        return domain + ": is not the login window's preference domain";
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    QString root;
    if (argc > 2 && QByteArray(argv[1]) == "--root") {
        root = QFile::decodeName(argv[2]);
        if (root.isEmpty())
            return usage();
        argv += 2;
        argc -= 2;
    }
    if (argc < 3)
        return usage();
    const QByteArray command(argv[1]);
    const QByteArray domain(argv[2]);
    if (domain.isEmpty())
        return usage();
    if (const auto refused = refusedRequest(root, domain))
        return refuse(*refused);

    if (command == "write" && argc == 5)
        return DefaultsTool::writeKey(domain, QByteArray(argv[3]), QByteArray(argv[4]), {}, root);
    if (command == "write" && argc == 6 && DefaultsValue::isTypeFlag(QByteArray(argv[4])))
        return DefaultsTool::writeKey(domain, QByteArray(argv[3]), QByteArray(argv[5]), QByteArray(argv[4]), root);
    if (command == "delete" && argc == 4)
        return DefaultsTool::deleteKey(domain, QByteArray(argv[3]), root);
    if (command == "read" && (argc == 3 || argc == 4)) {
        const QByteArray key = argc == 4 ? QByteArray(argv[3]) : QByteArray();
        return DefaultsTool::read(domain, argc == 4 ? &key : nullptr, root);
    }
    return usage();
}
