#include "tools/SampleImage.h"

#include "tools/HfsPlusFormat.h"
#include "tools/SampleVolume.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cstdio>

namespace SampleImage {

namespace {

void say(const QString &line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

bool failed(const QString &line)
{
    say(line);
    return false;
}

QString findTool(const QString &name, const QString &package)
{
    const QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        say(QStringLiteral("%1 was not found (Debian package %2).").arg(name, package));
    return path;
}

// Runs a tool to its end; its error output is shown only when it fails.
bool run(const QString &program, const QStringList &arguments, int timeoutSeconds,
         const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted())
        return failed(QStringLiteral("Could not start %1: %2").arg(program, process.errorString()));
    if (!process.waitForFinished(timeoutSeconds * 1000)) {
        process.kill();
        process.waitForFinished();
        return failed(QStringLiteral("%1 did not finish within %2 seconds.").arg(program).arg(timeoutSeconds));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QByteArray errors = process.readAllStandardError().trimmed();
        if (!errors.isEmpty())
            std::fprintf(stderr, "%s\n", errors.constData());
        return failed(QStringLiteral("%1 failed (exit code %2).").arg(program).arg(process.exitCode()));
    }
    return true;
}

// A name beside `path` that nobody else uses, removed unless renamed.
struct PartialFile {
    QTemporaryFile file;
    explicit PartialFile(const QString &path)
        : file(QFileInfo(path).absolutePath() + QStringLiteral("/.") + QFileInfo(path).fileName()
               + QStringLiteral(".XXXXXX.part"))
    {
    }
    [[nodiscard]] bool create()
    {
        if (!file.open())
            return failed(QStringLiteral("Could not create a file beside the image: %1").arg(file.errorString()));
        file.close();
        // A temporary file is private; an image is an ordinary file.
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        return true;
    }
    // rename(2) replaces an existing image in one step.
    [[nodiscard]] bool moveTo(const QString &path)
    {
        if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
            return failed(QStringLiteral("Could not rename the image into place as %1.").arg(path));
        file.setAutoRemove(false);
        return true;
    }
};

} // namespace

bool write(const QString &path, const QString &artworkFolder, const Options &options)
{
    const QString tar = findTool(QStringLiteral("tar"), QStringLiteral("tar"));
    const QString guestfish = findTool(QStringLiteral("guestfish"), QStringLiteral("libguestfs-tools"));
    const bool qcow2 = options.format == Format::Qcow2;
    const QString qemuImg = qcow2 ? findTool(QStringLiteral("qemu-img"), QStringLiteral("qemu-utils")) : QString();
    if (tar.isEmpty() || guestfish.isEmpty() || (qcow2 && qemuImg.isEmpty()))
        return false;

    QTemporaryDir work;
    if (!work.isValid())
        return failed(QStringLiteral("Could not make a temporary folder: %1").arg(work.errorString()));
    const QString root = work.filePath(QStringLiteral("volume"));

    say(QStringLiteral("Building the sample volume folder..."));
    SampleVolume::Options volumeOptions;
    volumeOptions.computerName = QStringLiteral("Lumora Sample Mac");
    volumeOptions.release = options.release;
    if (!SampleVolume::build(root, artworkFolder, volumeOptions))
        return failed(QStringLiteral("Could not build the sample volume from %1.").arg(artworkFolder));

    // Owned by root, as on a Mac's startup volume.
    const QString archive = work.filePath(QStringLiteral("volume.tar"));
    QStringList tarArguments{QStringLiteral("--create"), QStringLiteral("--file"), archive,
                             QStringLiteral("--directory"), root, QStringLiteral("--owner=0"),
                             QStringLiteral("--group=0"), QStringLiteral("--numeric-owner"), QStringLiteral("--")};
    tarArguments += QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (!run(tar, tarArguments, 300))
        return false;

    PartialFile image(path);
    if (!image.create())
        return false;
    const QString raw = !qcow2 ? image.file.fileName() : work.filePath(QStringLiteral("disk.img"));
    say(QStringLiteral("Writing an empty journaled HFS+ volume of %1 MiB...").arg(options.volumeMiB));
    HfsPlusFormat::Options format;
    format.volumeBytes = options.volumeMiB << 20;
    QString error;
    if (!HfsPlusFormat::writeApmImage(raw, format, &error))
        return failed(error);

    say(QStringLiteral("Copying the folder onto the volume with guestfish..."));
    // The direct back end needs no libvirt; KVM hangs or aborts on these
    // machines, software emulation works.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("LIBGUESTFS_BACKEND")))
        environment.insert(QStringLiteral("LIBGUESTFS_BACKEND"), QStringLiteral("direct"));
    if (!environment.contains(QStringLiteral("LIBGUESTFS_BACKEND_SETTINGS")))
        environment.insert(QStringLiteral("LIBGUESTFS_BACKEND_SETTINGS"), QStringLiteral("force_tcg"));
    // Linux writes a journaled volume only when forced, and then past the
    // journal; checked below that the journal is still empty.
    QElapsedTimer timer;
    timer.start();
    if (!run(guestfish,
             {QStringLiteral("--rw"), QStringLiteral("--format=raw"), QStringLiteral("-a"), raw, QStringLiteral("-m"),
              QStringLiteral("/dev/sda2:/:force"), QStringLiteral("tar-in"), archive, QStringLiteral("/")},
             900, environment))
        return false;
    say(QStringLiteral("guestfish took %1 s.").arg(double(timer.elapsed()) / 1000, 0, 'f', 1));

    say(QStringLiteral("Checking the volume's journal..."));
    const HfsPlusVolume::Info info = HfsPlusFormat::inspectApmImage(raw);
    if (info.state != HfsPlusVolume::State::CleanJournaled)
        return failed(QStringLiteral("The filled volume is %1: %2").arg(HfsPlusVolume::stateName(info.state), info.reason));

    if (qcow2) {
        say(QStringLiteral("Converting to qcow2..."));
        if (!run(qemuImg,
                 {QStringLiteral("convert"), QStringLiteral("-f"), QStringLiteral("raw"), QStringLiteral("-O"),
                  QStringLiteral("qcow2"), raw, image.file.fileName()},
                 600))
            return false;
    }
    if (!image.moveTo(path))
        return false;
    say(QStringLiteral("Wrote %1").arg(path));
    return true;
}

} // namespace SampleImage
