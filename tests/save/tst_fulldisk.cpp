// Saving onto a volume that runs out of space half-way through a copy.
// Whatever fails, the login window's images stay whole (the old file or the
// new one, never a piece of either), and a half-made backup is never taken
// for the real thing. The images' folders become small RAM disks in a mount
// namespace of this test's own, which needs root; elsewhere it is skipped.

#include "tests/save/SaveFixture.h"

#include "platform/Image.h"
#include "save/StagingFile.h"
#include "tests/fakes/LogCapture.h"

#include <QStandardPaths>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <optional>

using namespace SaveTesting;

namespace {

// A RAM disk of `kib` KiB mounted where `folder` is, holding the same
// files, for as long as the object lives. With `spareInodes` set, only that
// many more files can be made on it.
class RamDisk {
public:
    RamDisk(const QString &folder, int kib, std::optional<int> spareInodes = std::nullopt)
        : m_folder(QFile::encodeName(folder))
    {
        QMap<QString, QByteArray> files;
        for (const QString &name : QDir(folder).entryList(QDir::Files))
            files.insert(name, readBytes(folder + QLatin1Char('/') + name));
        QByteArray options = "size=" + QByteArray::number(kib) + "k";
        if (spareInodes) // one more for the disk's own folder
            options += ",nr_inodes=" + QByteArray::number(files.size() + 1 + *spareInodes);
        m_mounted = ::mount("lumora-test", m_folder.constData(), "tmpfs", 0, options.constData()) == 0;
        m_ok = m_mounted;
        for (auto it = files.cbegin(); m_ok && it != files.cend(); ++it)
            m_ok = writeBytes(folder + QLatin1Char('/') + it.key(), it.value());
    }
    ~RamDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    RamDisk(const RamDisk &) = delete;
    RamDisk &operator=(const RamDisk &) = delete;
    [[nodiscard]] bool isReady() const { return m_ok; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
    bool m_ok = false;
};

// Fills the file system of `folder` until only `pages` 4 KiB pages are free.
bool fillLeaving(const QString &folder, int pages)
{
    struct statvfs space {};
    if (::statvfs(QFile::encodeName(folder).constData(), &space) != 0)
        return false;
    const qint64 free = qint64(space.f_bavail) * qint64(space.f_bsize);
    const qint64 filler = free - qint64(pages) * 4096;
    return filler >= 0 && writeBytes(folder + QStringLiteral("/filler"), QByteArray(filler, 'x'));
}

QStringList sideFiles(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".*lumora-*")}, QDir::AllEntries | QDir::Hidden);
}

} // namespace

class TestFullDisk : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        usePrivateHome(m_home);
        if (::geteuid() != 0)
            QSKIP("needs root to mount a small file system");
        // Mounts made from here on are seen by this process and its tools only.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            QSKIP("no mount namespace of our own here");
        // Some containers allow the namespace but not the file system.
        const QTemporaryDir probe;
        if (::mount("lumora-test", QFile::encodeName(probe.path()).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("RAM disks cannot be mounted here");
        ::umount2(QFile::encodeName(probe.path()).constData(), MNT_DETACH);
    }

    void init() { QDir(Staging::applicationSupportPath()).removeRecursively(); }

    void logoSaveOnAFullDisk()
    {
        SaveFixture f;
        const QString logo = f.host(LoginWindow::kLogoFirstPlace);
        const QString folder = QFileInfo(logo).path();
        const QString backup = LumoraLogin::backupPathForPath(logo);
        const QString key = f.staging().backupMadeKey(PreferenceKeys::kMadeLogoBackup);
        const QByteArray stock = readBytes(logo);
        const int stockPages = int(stock.size() / 4096) + 1;
        QVERIFY(stockPages > 1); // the backup needs more than one page
        RamDisk disk(folder, 512);
        QVERIFY(disk.isReady());
        const QImage newLogo = pattern(256, 256, 7); // about 256 KiB as TIFF
        QVERIFY(StagingFile::tiffData(Image::fromPixels(newLogo)).size() > (stockPages + 4) * 4096);

        // 1. Room for less than the backup: no backup, and so no new logo.
        QVERIFY(fillLeaving(folder, 1));
        {
            LogCapture log;
            f.controller.setLogo(Image::fromPixels(newLogo));
            QCOMPARE(f.controller.save().failed, QStringList({QStringLiteral("logo")}));
            QCOMPARE(log.count(QStringLiteral("Unable to backup file for key Made logo backup")), 1);
            QCOMPARE(log.count(QStringLiteral("Failed to save new logo")), 1);
        }
        QVERIFY(!QFileInfo::exists(backup));
        QVERIFY(!f.defaults.boolForKey(key));
        QCOMPARE(readBytes(logo), stock);
        QCOMPARE(sideFiles(folder), QStringList());

        // 2. Room for the backup but not for the new logo: the backup is
        // whole, and the stock logo is still in place.
        QVERIFY(QFile::remove(folder + QStringLiteral("/filler")));
        QVERIFY(fillLeaving(folder, stockPages + 4));
        {
            LogCapture log;
            f.controller.setLogo(Image::fromPixels(newLogo));
            QCOMPARE(f.controller.save().failed, QStringList({QStringLiteral("logo")}));
            QCOMPARE(log.count(QStringLiteral("Unable to backup file for key Made logo backup")), 0);
            QCOMPARE(log.count(QStringLiteral("Failed to save new logo")), 1);
        }
        QCOMPARE(readBytes(backup), stock);
        QVERIFY(f.defaults.boolForKey(key));
        QCOMPARE(readBytes(logo), stock);
        QCOMPARE(sideFiles(folder), QStringList());

        // 3. With room again the new logo goes in, and the backup stays.
        QVERIFY(QFile::remove(folder + QStringLiteral("/filler")));
        f.controller.setLogo(Image::fromPixels(newLogo));
        QVERIFY(f.controller.save().succeeded());
        QImage saved;
        QVERIFY(saved.load(logo));
        QCOMPARE(maxChannelDifference(saved, newLogo), 0);
        QCOMPARE(readBytes(backup), stock);
        QCOMPARE(sideFiles(folder), QStringList());
    }

    void defaultPictureOnAFullDisk()
    {
        // The 10.4 default picture has no backup of its own; it is rewritten
        // when the background is put back, here by a user who may write the
        // file but can make no new file beside it (for root: the folder has
        // no inodes left), and there is little room.
        SaveFixture f;
        const QString picture = f.host(LoginWindow::kTigerDefaultBackground);
        const QString folder = QFileInfo(picture).path();
        const QByteArray before = readBytes(picture);
        QVERIFY(!before.isEmpty());
        RamDisk disk(folder, 256, 1); // one more file: the filler
        QVERIFY(disk.isReady());
        const QStringList listed = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY(fillLeaving(folder, 2));

        LogCapture log;
        f.controller.setBackground(
            Image::referencingFile(f.volume.resources() + QStringLiteral("/AppleBackground.jpg")));
        f.controller.setShouldRevertBackground(true);
        QCOMPARE(f.controller.save().failed, QStringList({QStringLiteral("background")}));
        QCOMPARE(log.count(QStringLiteral("Failed to save new background without asking for authentication.")), 1);
        QCOMPARE(readBytes(picture), before);
        // Nor is anything left beside it.
        QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        left.removeAll(QStringLiteral("filler"));
        QCOMPARE(left, listed);
    }

private:
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
