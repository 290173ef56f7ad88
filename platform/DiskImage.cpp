#include "platform/DiskImage.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// A start with hardware virtualisation takes seconds; one that has not
// reached the machine's kernel by then is hanging in it.
constexpr int kKvmPatienceMs = 60 * 1000;

QString imagesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
           + QStringLiteral("/lumora-login/images");
}

QString kvmVerdictFile()
{
    return imagesFolder() + QStringLiteral("/kvm-does-not-work");
}

// Hardware virtualisation: LUMORA_IMAGE_ACCEL=kvm or tcg decides; else it is
// tried where /dev/kvm can be opened and has not failed here before.
bool startWithSoftwareEmulation()
{
    const QByteArray chosen = qgetenv("LUMORA_IMAGE_ACCEL");
    if (chosen == "tcg")
        return true;
    if (chosen == "kvm")
        return false;
    if (::access("/dev/kvm", R_OK | W_OK) != 0)
        return true;
    return QFileInfo::exists(kvmVerdictFile());
}

bool isMounted(const QString &folder)
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray target = QFile::encodeName(folder).replace(' ', "\\040");
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && fields[4] == target)
            return true;
    }
    return false;
}

void unmountFolder(const QString &folder)
{
    for (const char *program : {"fusermount3", "fusermount"}) {
        QProcess process;
        process.start(QString::fromLatin1(program), {QStringLiteral("-u"), QStringLiteral("-z"), QStringLiteral("-q"), folder});
        if (process.waitForFinished(10000) && process.exitCode() == 0)
            return;
    }
}

// Removes a session's folder without ever recursing: a folder that is
// still a mount point (or not empty for any other reason) stays.
void removeSessionFolder(const QString &folder)
{
    const QString mount = folder + QStringLiteral("/mnt");
    if (isMounted(mount))
        unmountFolder(mount);
    if (isMounted(mount))
        return;
    QFile::remove(folder + QStringLiteral("/overlay.qcow2"));
    QDir().rmdir(mount);
    QDir().rmdir(folder);
}

QString stepText(const QString &step)
{
    if (step == QLatin1String("launch"))
        return QCoreApplication::translate("DiskImage", "Starting the virtual machine…");
    if (step == QLatin1String("find"))
        return QCoreApplication::translate("DiskImage", "Finding the Mac OS X volume and checking its journal…");
    if (step == QLatin1String("mount"))
        return QCoreApplication::translate("DiskImage", "Mounting the volume…");
    if (step == QLatin1String("unmount"))
        return QCoreApplication::translate("DiskImage", "Unmounting the volume…");
    return {};
}

} // namespace

bool ImageVolume::isClean() const
{
    return state == QLatin1String("clean") || state == QLatin1String("clean-journaled");
}

DiskImage::DiskImage(QString image, QString helper, QObject *parent)
    : QObject(parent), m_image(QFileInfo(image).absoluteFilePath()), m_helper(std::move(helper))
{
}

DiskImage::~DiskImage()
{
    close();
}

QStringList DiskImage::fileNameFilters()
{
    return {QCoreApplication::translate("DiskImage", "Disk images (*.img *.hda *.raw *.dsk *.dmg *.qcow2 *.qcow *.iso)"),
            QCoreApplication::translate("DiskImage", "All files (*)")};
}

QString DiskImage::mountPoint() const
{
    return m_sessionFolder.isEmpty() ? QString() : m_sessionFolder + QStringLiteral("/mnt");
}

std::optional<ImageVolume> DiskImage::mountedVolume() const
{
    for (const ImageVolume &volume : m_volumes)
        if (m_mountedPartition && volume.partition == *m_mountedPartition)
            return volume;
    return std::nullopt;
}

Volume DiskImage::volume() const
{
    const std::optional<ImageVolume> mounted = mountedVolume();
    const QString file = QFileInfo(m_image).fileName();
    const QString place = mounted && mounted->partition > 0
                              ? QCoreApplication::translate("DiskImage", "%1, partition %2").arg(m_image).arg(mounted->partition)
                              : m_image;
    return Volume(mountPoint(), mounted && !mounted->name.isEmpty() ? mounted->name : file, place);
}

void DiskImage::removeLeftovers()
{
    const QDir folder(imagesFolder());
    const QStringList sessions = folder.entryList({QStringLiteral("s-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : sessions) {
        const pid_t owner = name.section(QLatin1Char('-'), 1, 1).toInt();
        if (owner > 0 && (::kill(owner, 0) == 0 || errno == EPERM))
            continue;
        removeSessionFolder(folder.filePath(name));
    }
}

void DiskImage::open(std::optional<int> partition, bool readOnly)
{
    if (m_phase != Phase::Closed && m_phase != Phase::Failed)
        return;
    m_wantedPartition = partition;
    m_wantReadOnly = readOnly;
    m_volumes.clear();
    m_mountedPartition.reset();
    m_error.clear();
    m_readOnlyReason.clear();
    Log::write(QStringLiteral("Opening disk image %1").arg(m_image));

    QString error;
    const std::optional<DiskImageCommit::Format> format = DiskImageCommit::detectFormat(m_image, &error);
    if (!format) {
        fail(error);
        return;
    }
    m_format = *format;
    if (m_format == DiskImageCommit::Format::CompressedDmg)
        m_readOnlyReason = QCoreApplication::translate(
                               "DiskImage", "This is a compressed disk image, which can only be read. To edit it, "
                                            "make a writable copy: qemu-img convert -f dmg -O raw \"%1\" copy.img "
                                            "(or dmg2img), and open the copy.")
                               .arg(QFileInfo(m_image).fileName());
    else if (::access(QFile::encodeName(m_image).constData(), W_OK) != 0)
        m_readOnlyReason = QCoreApplication::translate("DiskImage", "You cannot write the disk image file.");
    else if (readOnly)
        m_readOnlyReason = QCoreApplication::translate("DiskImage", "The disk image was opened read-only.");

    if (isWritable()) {
        // One writer per image: the kernel drops the lock with its holder.
        m_lock = UniqueFd(::open(QFile::encodeName(m_image).constData(), O_RDONLY | O_CLOEXEC));
        if (!m_lock || ::flock(m_lock.get(), LOCK_EX | LOCK_NB) != 0) {
            m_lock = UniqueFd();
            m_readOnlyReason =
                QCoreApplication::translate("DiskImage", "The disk image is open in another copy of Lumora Login.");
        }
    }
    if (isWritable()) {
        switch (DiskImageCommit::recover(m_image, &error)) {
        case DiskImageCommit::Recovery::Nothing:
            break;
        case DiskImageCommit::Recovery::RolledBack:
            Log::write(QStringLiteral("Put disk image %1 back as it was before a save that was cut short").arg(m_image));
            break;
        case DiskImageCommit::Recovery::Failed:
            Log::write(QStringLiteral("Unable to finish an interrupted save of disk image %1: %2").arg(m_image, error));
            m_readOnlyReason = error;
            break;
        }
    }

    removeLeftovers();
    static std::atomic<int> counter{0};
    m_sessionFolder = imagesFolder() + QStringLiteral("/s-%1-%2").arg(::getpid()).arg(++counter);
    if (!QDir().mkpath(mountPoint())) {
        fail(QStringLiteral("Cannot make the folder %1").arg(mountPoint()));
        return;
    }
    m_usesOverlay = isWritable();
    if (m_usesOverlay && !prepareOverlay(&error)) {
        fail(error);
        return;
    }
    m_tcg = startWithSoftwareEmulation();
    if (m_tcg && qgetenv("LUMORA_IMAGE_ACCEL") != "tcg")
        Log::write(QStringLiteral("Hardware virtualisation is not available; the disk image is opened with "
                                  "software emulation, which is slower"));
    startHelper(m_tcg);
}

bool DiskImage::prepareOverlay(QString *error)
{
    const QString overlay = m_sessionFolder + QStringLiteral("/overlay.qcow2");
    QFile::remove(overlay);
    QProcess process;
    const QString qemuImg = QStandardPaths::findExecutable(QStringLiteral("qemu-img"));
    process.start(qemuImg.isEmpty() ? QStringLiteral("/usr/bin/qemu-img") : qemuImg,
                  {QStringLiteral("create"), QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("qcow2"),
                   QStringLiteral("-F"), DiskImageCommit::formatName(m_format), QStringLiteral("-b"), m_image,
                   overlay});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("qemu-img could not make an overlay for %1: %2")
                     .arg(m_image, QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return false;
    }
    return true;
}

void DiskImage::startHelper(bool tcg)
{
    m_phase = Phase::Starting;
    m_sawAccel = false;
    m_pending.clear();
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("LIBGUESTFS_BACKEND")))
        environment.insert(QStringLiteral("LIBGUESTFS_BACKEND"), QStringLiteral("direct"));
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    // The helper unmounts and stops when we go, however we go.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this, &DiskImage::readHelper);
    connect(m_process.get(), &QProcess::finished, this, &DiskImage::helperFinished);
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(QStringLiteral("%1 could not be started: %2").arg(m_helper, m_process->errorString()));
    });
    QStringList arguments{QStringLiteral("serve"),
                          m_usesOverlay ? m_sessionFolder + QStringLiteral("/overlay.qcow2") : m_image,
                          m_usesOverlay ? QStringLiteral("qcow2") : DiskImageCommit::formatName(m_format),
                          mountPoint()};
    if (!m_usesOverlay)
        arguments << QStringLiteral("--read-only");
    if (tcg)
        arguments << QStringLiteral("--tcg");
    m_process->start(m_helper, arguments);

    if (!tcg) {
        QProcess *started = m_process.get();
        QTimer::singleShot(kKvmPatienceMs, this, [this, started] {
            if (m_process.get() != started || m_sawAccel || m_phase != Phase::Starting)
                return;
            // Hung in the hardware virtualisation: remember it, and start
            // again without it.
            Log::write(QStringLiteral("Hardware virtualisation does not work here; the disk image is opened with "
                                      "software emulation, which is slower"));
            QDir().mkpath(imagesFolder());
            QFile(kvmVerdictFile()).open(QIODevice::WriteOnly);
            m_process->disconnect(this);
            m_process->kill();
            m_process->waitForFinished(10000);
            m_tcg = true;
            startHelper(true);
        });
    }
}

void DiskImage::readHelper()
{
    m_pending += m_process->readAllStandardOutput();
    for (qsizetype newline = m_pending.indexOf('\n'); newline >= 0; newline = m_pending.indexOf('\n')) {
        const QString line = QString::fromUtf8(m_pending.left(newline));
        m_pending.remove(0, newline + 1);
        handleLine(line.split(QLatin1Char('\t')));
    }
}

void DiskImage::handleLine(const QStringList &fields)
{
    const QString kind = fields.value(0);
    if (kind == QLatin1String("step")) {
        const QString text = stepText(fields.value(1));
        if (!text.isEmpty())
            emit progress(text);
    } else if (kind == QLatin1String("accel")) {
        m_sawAccel = true;
    } else if (kind == QLatin1String("volume")) {
        ImageVolume volume;
        volume.partition = fields.value(1).toInt();
        volume.device = fields.value(2);
        volume.name = fields.value(3);
        volume.release = fields.value(4);
        volume.state = fields.value(5);
        volume.reason = fields.value(6);
        m_volumes.push_back(volume);
    } else if (kind == QLatin1String("ready")) {
        m_phase = Phase::Choosing;
        chooseAutomatically();
    } else if (kind == QLatin1String("mounted")) {
        m_phase = Phase::Mounted;
        emit mounted();
    } else if (kind == QLatin1String("error")) {
        m_error = fields.mid(1).join(QLatin1Char(' '));
    }
}

void DiskImage::chooseAutomatically()
{
    if (m_wantedPartition) {
        mountVolume(*m_wantedPartition);
        return;
    }
    QList<ImageVolume> systems;
    for (const ImageVolume &volume : m_volumes)
        if (volume.isSystem())
            systems.push_back(volume);
    if (systems.size() == 1) {
        mountVolume(systems.front().partition);
        return;
    }
    if (systems.isEmpty()) {
        fail(m_volumes.isEmpty()
                 ? QCoreApplication::translate("DiskImage", "The disk image holds no HFS+ volume.")
                 : QCoreApplication::translate("DiskImage", "The disk image holds no Mac OS X system volume."));
        return;
    }
    emit volumesFound(systems);
}

void DiskImage::mountVolume(int partition)
{
    if (m_phase != Phase::Choosing)
        return;
    const auto found = std::find_if(m_volumes.begin(), m_volumes.end(),
                                    [partition](const ImageVolume &volume) { return volume.partition == partition; });
    if (found == m_volumes.end()) {
        fail(QCoreApplication::translate("DiskImage", "The disk image has no HFS+ volume at partition %1.").arg(partition));
        return;
    }
    if (isWritable() && !found->isClean()) {
        m_readOnlyReason = QCoreApplication::translate(
                               "DiskImage", "%1 To edit it, start that Mac once from this disk and shut it down "
                                            "cleanly, then open the image again.")
                               .arg(found->reason);
        Log::write(QStringLiteral("Disk image %1 is opened read-only: %2").arg(m_image, found->reason));
    }
    m_mountedPartition = partition;
    m_phase = Phase::Mounting;
    m_process->write(QStringLiteral("mount %1 %2\n")
                         .arg(partition)
                         .arg(isWritable() ? QStringLiteral("rw") : QStringLiteral("ro"))
                         .toLatin1());
}

void DiskImage::helperFinished()
{
    readHelper();
    if (m_phase == Phase::Saving || m_phase == Phase::Closed)
        return;
    fail(m_error.isEmpty() ? QCoreApplication::translate("DiskImage", "The virtual machine stopped unexpectedly.")
                           : m_error);
}

void DiskImage::fail(const QString &message)
{
    if (m_phase == Phase::Failed)
        return;
    m_phase = Phase::Failed;
    m_error = message;
    Log::write(QStringLiteral("Unable to open disk image %1: %2").arg(m_image, message));
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->disconnect(this);
        m_process->closeWriteChannel();
        if (!m_process->waitForFinished(10000))
            m_process->kill();
        m_process->waitForFinished(10000);
    }
    dropSessionFolder();
    emit failed(message);
}

bool DiskImage::stopHelper()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return m_process && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
    QEventLoop loop;
    connect(m_process.get(), &QProcess::finished, &loop, &QEventLoop::quit);
    m_process->write("unmount\n");
    m_process->closeWriteChannel();
    // Unmounting flushes the volume and stops the machine; give it time.
    QTimer::singleShot(5 * 60 * 1000, &loop, &QEventLoop::quit);
    if (m_process->state() != QProcess::NotRunning)
        loop.exec();
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(10000);
        return false;
    }
    readHelper();
    return m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
}

void DiskImage::close()
{
    const Phase was = m_phase;
    m_phase = Phase::Closed;
    if (m_process) {
        m_process->disconnect(this);
        if (was == Phase::Starting) {
            // Still starting: nothing is mounted and only the overlay could
            // have been written, so there is nothing to wait for.
            m_process->kill();
            m_process->waitForFinished(10000);
        } else if (m_process->state() != QProcess::NotRunning) {
            (void)stopHelper();
        }
        m_process.reset();
    }
    if (was != Phase::Closed)
        dropSessionFolder();
    m_lock = UniqueFd();
}

void DiskImage::dropSessionFolder()
{
    if (!m_sessionFolder.isEmpty())
        removeSessionFolder(m_sessionFolder);
}

bool DiskImage::save(bool remount, QString *error)
{
    if (m_phase != Phase::Mounted || !isWritable()) {
        *error = isWritable() ? QStringLiteral("The disk image is not open.") : m_readOnlyReason;
        return false;
    }
    m_phase = Phase::Saving;
    emit progress(QCoreApplication::translate("DiskImage", "Writing the changes into the disk image…"));
    m_process->disconnect(this);
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this, &DiskImage::readHelper);
    if (!stopHelper()) {
        *error = m_error.isEmpty() ? QStringLiteral("The volume could not be unmounted cleanly; nothing was written "
                                                    "to the disk image.")
                                   : m_error;
        fail(*error);
        return false;
    }
    // The copy of a large image takes a while: keep the window painted.
    bool committed = false;
    QString commitError;
    {
        QEventLoop loop;
        std::thread worker([&] {
            committed = DiskImageCommit::commit(m_image, m_format, m_sessionFolder + QStringLiteral("/overlay.qcow2"),
                                                &commitError);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
    }
    if (committed)
        Log::write(QStringLiteral("Disk image %1 saved").arg(m_image));
    else
        Log::write(QStringLiteral("Unable to write the changes into disk image %1: %2").arg(m_image, commitError));
    *error = commitError;

    m_process.reset();
    if (!remount) {
        m_phase = Phase::Closed;
        dropSessionFolder();
        m_lock = UniqueFd();
        return committed;
    }
    QString overlayError;
    if (!prepareOverlay(&overlayError)) {
        fail(overlayError);
        return committed;
    }
    m_volumes.clear();
    m_wantedPartition = m_mountedPartition;
    startHelper(m_tcg);
    return committed;
}

bool DiskImage::waitUntilMounted()
{
    if (m_phase == Phase::Mounted)
        return true;
    QEventLoop loop;
    connect(this, &DiskImage::mounted, &loop, &QEventLoop::quit);
    connect(this, &DiskImage::failed, &loop, &QEventLoop::quit);
    connect(this, &DiskImage::volumesFound, &loop, &QEventLoop::quit);
    if (m_phase == Phase::Starting || m_phase == Phase::Mounting || m_phase == Phase::Choosing)
        loop.exec();
    return m_phase == Phase::Mounted;
}
