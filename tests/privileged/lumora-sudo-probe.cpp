// Drives the sudo back end through the real runner, as an ordinary user
// whose sudo needs a password. Run by tst_sudo as a throwaway user:
//
//   lumora-sudo-probe WRONG_PASSWORD RIGHT_PASSWORD SOURCE DEST_FOLDER
//
// Prints one line per step and exits 0 only when every step behaved.

#include "platform/PasswordPrompt.h"
#include "platform/SudoAuthorizationService.h"
#include "privileged/Authorization.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>

#include <sys/stat.h>

#include <cstdio>

namespace {

class ScriptedPrompt final : public PasswordPrompt {
public:
    std::optional<QByteArray> askPassword(const QString &, const QString &complaint) override
    {
        ++asked;
        complaints += complaint.isEmpty() ? 0 : 1;
        return script.isEmpty() ? next : script.takeFirst();
    }
    QList<std::optional<QByteArray>> script; // answers first, then `next` for ever
    std::optional<QByteArray> next;
    int asked = 0;
    int complaints = 0;
};

bool ownedByRoot(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && info.st_uid == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: lumora-sudo-probe WRONG RIGHT SOURCE DEST_FOLDER\n");
        return 64;
    }
    const QByteArray wrong(argv[1]);
    const QByteArray right(argv[2]);
    const QString source = QString::fromLocal8Bit(argv[3]);
    const QString folder = QString::fromLocal8Bit(argv[4]);

    ScriptedPrompt prompt;
    Authorization authorization(std::make_unique<SudoAuthorizationService>(&prompt), nullptr);
    bool allGood = true;
    auto step = [&](const char *name, bool ok) {
        std::printf("%s %s\n", ok ? "ok" : "FAILED", name);
        std::fflush(stdout);
        allGood = allGood && ok;
    };
    auto copyTo = [&](const QString &name) {
        return authorization.executeTool(QStringLiteral("/bin/cp"), source, folder + QLatin1Char('/') + name,
                                         std::nullopt);
    };

    // sudo itself refuses the wrong ones; the prompt asks three times in one request.
    prompt.next = wrong;
    const bool wrongRan = copyTo(QStringLiteral("wrong"));
    step("three wrong passwords are refused", !wrongRan && prompt.asked == 3 && prompt.complaints == 2
                                                  && !QFile::exists(folder + "/wrong"));

    prompt.script = {wrong, right};
    const bool firstRan = copyTo(QStringLiteral("first"));
    step("wrong then right runs /bin/cp as root",
         firstRan && prompt.asked == 5 && ownedByRoot(folder + QStringLiteral("/first")));

    prompt.next = std::nullopt; // a second prompt would be a cancel
    const bool secondRan = copyTo(QStringLiteral("second"));
    step("second tool runs without asking",
         secondRan && prompt.asked == 5 && ownedByRoot(folder + QStringLiteral("/second")));

    authorization.deauthenticate(); // sudo -k
    const bool afterReset = copyTo(QStringLiteral("cancelled"));
    step("after sudo -k the next tool asks again", !afterReset && prompt.asked == 6
                                                       && !QFile::exists(folder + QStringLiteral("/cancelled")));

    prompt.next = right;
    const bool thirdRan = copyTo(QStringLiteral("third"));
    step("and runs once the password is given again",
         thirdRan && prompt.asked == 7 && ownedByRoot(folder + QStringLiteral("/third")));

    // The file tool takes its content on standard input and gives a copy on
    // standard output, files this user opened: sudo must hand both on.
    QFile input(source);
    QFile output(folder + QStringLiteral("/streamed"));
    const bool streamed = input.open(QIODevice::ReadOnly) && output.open(QIODevice::WriteOnly)
                          && authorization.executeTool(QStringLiteral("/bin/cat"), {}, {input.handle(), output.handle()});
    output.close();
    input.seek(0);
    step("standard input and output reach the tool through sudo",
         streamed && output.open(QIODevice::ReadOnly) && output.readAll() == input.readAll());

    authorization.deauthenticate();
    return allGood ? 0 : 1;
}
