// Serves a Mac OS X volume inside a disk image as a folder, through
// libguestfs: the image's file system is mounted by the Linux kernel of a
// small virtual machine, never the host's, and shown to us over FUSE. It
// runs as the user who owns the image; nothing of the host can be reached
// from inside.
//
//   lumora-image serve DISK FORMAT MOUNTPOINT [--read-only] [--tcg]
//       DISK is the file the machine sees (for writing: a qcow2 overlay on
//       the image, so the image itself is never touched here); FORMAT its
//       format. One line per event on standard output, tab-separated:
//         step launch|find|mount|unmount
//         accel kvm|tcg
//         volume N DEVICE NAME RELEASE STATE REASON
//         ready                (then reads "mount N rw|ro" or "quit")
//         mounted
//         closed
//         error MESSAGE
//       End of input, "unmount", SIGTERM or SIGINT unmount, flush and stop
//       the machine, then the program ends.
//   lumora-image commit IMAGE FORMAT OVERLAY
//   lumora-image recover IMAGE

#include "platform/DiskImageCommit.h"
#include "platform/HfsPlusVolume.h"
#include "platform/PropertyList.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QVariantMap>

#include <guestfs.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

std::mutex g_outputLock;
int g_stopPipe[2] = {-1, -1};

void say(const QStringList &fields)
{
    QString line = fields.join(QLatin1Char('\t'));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const std::lock_guard lock(g_outputLock);
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_stopPipe[1], &byte, 1);
}

QString lastError(guestfs_h *g)
{
    const char *message = guestfs_last_error(g);
    return message ? QString::fromUtf8(message) : QStringLiteral("unknown error");
}

// Reads standard input line by line, and notices a stop signal, for the
// thread that waits on the user's commands while the machine runs.
class Commands {
public:
    // The next command; "quit" at end of input or on a stop signal.
    std::string next()
    {
        for (;;) {
            const auto newline = m_buffer.find('\n');
            if (newline != std::string::npos) {
                std::string line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                return line;
            }
            pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {g_stopPipe[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0)
                continue;
            if (fds[1].revents)
                return "quit";
            char chunk[256];
            const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (got <= 0)
                return "quit";
            m_buffer.append(chunk, static_cast<size_t>(got));
        }
    }

private:
    std::string m_buffer;
};

bool runProgram(const char *path, std::vector<const char *> arguments)
{
    arguments.insert(arguments.begin(), path);
    arguments.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, path, nullptr, nullptr, const_cast<char *const *>(arguments.data()), environ) != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QString protocolState(HfsPlusVolume::State state)
{
    switch (state) {
    case HfsPlusVolume::State::Clean:
        return QStringLiteral("clean");
    case HfsPlusVolume::State::CleanJournaled:
        return QStringLiteral("clean-journaled");
    case HfsPlusVolume::State::NotUnmountedCleanly:
        return QStringLiteral("unclean");
    case HfsPlusVolume::State::JournalPending:
        return QStringLiteral("journal-pending");
    case HfsPlusVolume::State::Damaged:
        return QStringLiteral("damaged");
    case HfsPlusVolume::State::NotHfsPlus:
        break;
    }
    return QStringLiteral("not-hfsplus");
}

struct Found {
    int number = 0;
    std::string device;
    HfsPlusVolume::Info info;
};

// Every HFS+ volume of the disk, with its journal's state, release and name.
std::vector<Found> findVolumes(guestfs_h *g)
{
    std::vector<Found> found;
    char **filesystems = guestfs_list_filesystems(g);
    if (!filesystems)
        return found;
    for (size_t i = 0; filesystems[i] && filesystems[i + 1]; i += 2) {
        const std::string device = filesystems[i];
        if (std::strcmp(filesystems[i + 1], "hfsplus") != 0)
            continue;
        Found volume;
        volume.device = device;
        const int number = guestfs_part_to_partnum(g, device.c_str());
        volume.number = number > 0 ? number : 0;
        const std::string readDevice = device;
        volume.info = HfsPlusVolume::inspect([g, readDevice](quint64 offset, quint32 length) -> std::optional<QByteArray> {
            size_t size = 0;
            char *bytes = guestfs_pread_device(g, readDevice.c_str(), static_cast<int>(length),
                                               static_cast<int64_t>(offset), &size);
            if (!bytes)
                return std::nullopt;
            QByteArray data(bytes, static_cast<qsizetype>(size));
            std::free(bytes);
            if (data.size() != static_cast<qsizetype>(length))
                return std::nullopt;
            return data;
        });
        QString name;
        if (char *label = guestfs_vfs_label(g, device.c_str())) {
            name = QString::fromUtf8(label);
            std::free(label);
        }
        QString release;
        if (guestfs_mount_ro(g, device.c_str(), "/") == 0) {
            size_t size = 0;
            if (char *bytes = guestfs_read_file(g, "/System/Library/CoreServices/SystemVersion.plist", &size)) {
                // A system version file is a few hundred bytes; a larger one is not one.
                if (size < 65536) {
                    const std::optional<QVariant> plist =
                        PropertyList::parse(QByteArray(bytes, static_cast<qsizetype>(size)));
                    if (plist)
                        release = plist->toMap().value(QStringLiteral("ProductVersion")).toString();
                }
                std::free(bytes);
            }
            guestfs_umount_all(g);
        }
        say({QStringLiteral("volume"), QString::number(volume.number), QString::fromStdString(device), name, release,
             protocolState(volume.info.state), volume.info.reason});
        found.push_back(std::move(volume));
    }
    for (size_t i = 0; filesystems[i]; ++i)
        std::free(filesystems[i]);
    std::free(filesystems);
    return found;
}

int serve(const QString &disk, const QString &format, const QString &mountPoint, bool readOnly, bool tcg)
{
    if (::pipe2(g_stopPipe, O_CLOEXEC) != 0)
        return 1;
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGHUP, onStopSignal);

    guestfs_h *g = guestfs_create();
    if (!g) {
        say({QStringLiteral("error"), QStringLiteral("libguestfs could not be started.")});
        return 1;
    }
    // The machine is this program's own: libguestfs's watchdog ends it when
    // we end, however we end.
    guestfs_set_recovery_proc(g, 1);
    guestfs_set_backend(g, "direct");
    if (tcg) {
        const char *settings[] = {"force_tcg", nullptr};
        guestfs_set_backend_settings(g, const_cast<char *const *>(settings));
    }
    const QByteArray diskPath = QFile::encodeName(disk);
    const QByteArray formatName = format.toLatin1();
    if (guestfs_add_drive_opts(g, diskPath.constData(), GUESTFS_ADD_DRIVE_OPTS_FORMAT, formatName.constData(),
                               GUESTFS_ADD_DRIVE_OPTS_READONLY, readOnly ? 1 : 0, -1)
        != 0) {
        say({QStringLiteral("error"), lastError(g)});
        guestfs_close(g);
        return 1;
    }
    say({QStringLiteral("step"), QStringLiteral("launch")});
    if (guestfs_launch(g) != 0) {
        say({QStringLiteral("error"), lastError(g)});
        guestfs_close(g);
        return 1;
    }
    say({QStringLiteral("accel"), tcg ? QStringLiteral("tcg") : QStringLiteral("kvm")});

    say({QStringLiteral("step"), QStringLiteral("find")});
    const std::vector<Found> volumes = findVolumes(g);
    say({QStringLiteral("ready")});

    Commands commands;
    const std::string command = commands.next();
    int number = -1;
    char mode[3] = {};
    if (std::sscanf(command.c_str(), "mount %d %2s", &number, mode) != 2) {
        guestfs_shutdown(g);
        guestfs_close(g);
        say({QStringLiteral("closed")});
        return 0;
    }
    const Found *chosen = nullptr;
    for (const Found &volume : volumes)
        chosen = volume.number == number ? &volume : chosen;
    if (!chosen) {
        say({QStringLiteral("error"), QStringLiteral("There is no Mac OS X volume at partition %1.").arg(number)});
        guestfs_shutdown(g);
        guestfs_close(g);
        return 1;
    }
    const bool writable = !readOnly && std::strcmp(mode, "rw") == 0;
    if (writable && chosen->info.state != HfsPlusVolume::State::Clean
        && chosen->info.state != HfsPlusVolume::State::CleanJournaled) {
        // The client checked this too; a volume that is not clean is never
        // mounted for writing, whoever asks.
        say({QStringLiteral("error"), chosen->info.reason});
        guestfs_shutdown(g);
        guestfs_close(g);
        return 1;
    }
    say({QStringLiteral("step"), QStringLiteral("mount")});
    // Linux writes HFS+ without its journal, and mounts a journaled volume
    // for writing only when forced; we force it only for an empty journal.
    const int mounted = writable ? guestfs_mount_options(g, chosen->info.journaled ? "force" : "", chosen->device.c_str(), "/")
                                 : guestfs_mount_ro(g, chosen->device.c_str(), "/");
    const QByteArray local = QFile::encodeName(mountPoint);
    if (mounted != 0
        || guestfs_mount_local(g, local.constData(), GUESTFS_MOUNT_LOCAL_READONLY, writable ? 0 : 1, -1) != 0) {
        say({QStringLiteral("error"), lastError(g)});
        guestfs_shutdown(g);
        guestfs_close(g);
        return 1;
    }
    say({QStringLiteral("mounted")});

    // The FUSE loop runs here; the other thread ends it when told to.
    std::thread watcher([&commands, &local] {
        for (;;) {
            const std::string next = commands.next();
            if (next == "quit" || next == "unmount")
                break;
        }
        say({QStringLiteral("step"), QStringLiteral("unmount")});
        // A reader still inside the folder keeps it busy for a moment.
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (runProgram("fusermount3", {"-u", "-q", local.constData()})
                || runProgram("fusermount", {"-u", "-q", local.constData()}))
                return;
            ::usleep(100 * 1000);
        }
        runProgram("fusermount3", {"-u", "-z", "-q", local.constData()});
    });
    const int ran = guestfs_mount_local_run(g);
    watcher.join();
    // Unmounting inside the machine writes the volume header as cleanly
    // unmounted; shutting it down flushes the disk to its file.
    const bool flushed = guestfs_umount_all(g) == 0 && guestfs_shutdown(g) == 0;
    const QString why = flushed ? QString() : lastError(g);
    guestfs_close(g);
    if (ran != 0 || !flushed) {
        say({QStringLiteral("error"), why.isEmpty() ? QStringLiteral("The volume could not be unmounted.") : why});
        return 1;
    }
    say({QStringLiteral("closed")});
    return 0;
}

std::optional<DiskImageCommit::Format> parseFormat(const QString &name)
{
    for (const auto format : {DiskImageCommit::Format::Raw, DiskImageCommit::Format::Qcow2,
                              DiskImageCommit::Format::CompressedDmg})
        if (DiskImageCommit::formatName(format) == name)
            return format;
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 5 && args[1] == QLatin1String("serve")) {
        bool readOnly = false;
        bool tcg = false;
        for (qsizetype i = 5; i < args.size(); ++i) {
            readOnly = readOnly || args[i] == QLatin1String("--read-only");
            tcg = tcg || args[i] == QLatin1String("--tcg");
        }
        return serve(args[2], args[3], args[4], readOnly, tcg);
    }
    if (args.size() == 5 && args[1] == QLatin1String("commit")) {
        const auto format = parseFormat(args[3]);
        QString error;
        if (!format || !DiskImageCommit::commit(args[2], *format, args[4], &error)) {
            std::fprintf(stderr, "lumora-image: %s\n", qPrintable(format ? error : QStringLiteral("unknown format")));
            return 1;
        }
        return 0;
    }
    if (args.size() == 3 && args[1] == QLatin1String("recover")) {
        QString error;
        switch (DiskImageCommit::recover(args[2], &error)) {
        case DiskImageCommit::Recovery::Nothing:
            std::printf("nothing to put back\n");
            return 0;
        case DiskImageCommit::Recovery::RolledBack:
            std::printf("put back the bytes of an interrupted save\n");
            return 0;
        case DiskImageCommit::Recovery::Failed:
            std::fprintf(stderr, "lumora-image: %s\n", qPrintable(error));
            return 1;
        }
    }
    std::fprintf(stderr, "usage: lumora-image serve DISK FORMAT MOUNTPOINT [--read-only] [--tcg]\n"
                         "       lumora-image commit IMAGE FORMAT OVERLAY\n"
                         "       lumora-image recover IMAGE\n");
    return 64;
}
