#pragma once

#include "platform/DiskImageCommit.h"
#include "platform/UniqueFd.h"
#include "platform/Volume.h"

#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>
#include <optional>

// A Mac OS X volume found inside a disk image.
struct ImageVolume {
    int partition = 0; // 2 for /dev/sda2; 0 for an image of one bare volume
    QString device;
    QString name;    // the volume's own name ("Macintosh HD")
    QString release; // "10.4.11"; empty when it holds no system version file
    QString state;   // "clean", "clean-journaled", "unclean", "journal-pending", "damaged"
    QString reason;  // why it may not be written, for any state but the clean ones

    [[nodiscard]] bool isClean() const;
    [[nodiscard]] bool isSystem() const { return !release.isEmpty(); }
};

// A disk image opened for editing: its Mac OS X volume mounted as a folder
// by lumora-image (libguestfs), as the user who owns the image, with no
// administrator rights and no file system of the host's involved.
//
// Writes go to an overlay, never to the image; save() unmounts the volume
// cleanly inside the virtual machine, puts the changed blocks into the
// image so that it is at every moment whole-old or whole-new, and mounts it
// again. Dropping the object without save() leaves the image as it was.
class DiskImage final : public QObject {
    Q_OBJECT
public:
    enum class Phase { Closed, Starting, Choosing, Mounting, Mounted, Saving, Failed };

    // `helper` is the lumora-image program.
    DiskImage(QString image, QString helper, QObject *parent = nullptr);
    ~DiskImage() override;

    // Starts the virtual machine and looks for the volumes. With
    // `partition`, that one is mounted; without, the only system volume is,
    // and with several volumesFound() asks for a choice (mountVolume()).
    // `readOnly` opens it for reading only, whatever the image allows.
    void open(std::optional<int> partition = std::nullopt, bool readOnly = false);
    void mountVolume(int partition);
    // Stops opening, or closes: the volume is unmounted and the machine
    // stopped, nothing is written to the image. Waits for the helper.
    void close();

    // Puts what was written into the image and mounts the volume again
    // (when `remount`). Blocks, but keeps the event loop turning.
    // True only when the bytes are in the image and synced.
    [[nodiscard]] bool save(bool remount, QString *error);

    // Runs the event loop until the volume is mounted, or opening failed or
    // stopped; for the command-line companion.
    [[nodiscard]] bool waitUntilMounted();

    [[nodiscard]] Phase phase() const { return m_phase; }
    [[nodiscard]] const QString &image() const { return m_image; }
    [[nodiscard]] QString mountPoint() const;
    [[nodiscard]] const QList<ImageVolume> &volumes() const { return m_volumes; }
    [[nodiscard]] std::optional<ImageVolume> mountedVolume() const;
    // The mounted volume as the rest of the program sees it: its folder,
    // named after the volume and the image.
    [[nodiscard]] Volume volume() const;
    // Whether saving can write the image, and if not, why not.
    [[nodiscard]] bool isWritable() const { return m_readOnlyReason.isEmpty(); }
    [[nodiscard]] const QString &readOnlyReason() const { return m_readOnlyReason; }
    [[nodiscard]] const QString &errorText() const { return m_error; }
    [[nodiscard]] DiskImageCommit::Format format() const { return m_format; }

    // Unmounts and removes what an earlier run that was killed left behind
    // (its mount folders and overlays). Never removes anything inside a
    // folder that is still mounted.
    static void removeLeftovers();

    // A raw or qcow2 file, a .dmg, or a block device, judged by its name,
    // for the file chooser's filter.
    [[nodiscard]] static QStringList fileNameFilters();

signals:
    void progress(const QString &text);
    void volumesFound(const QList<ImageVolume> &volumes);
    void mounted();
    void failed(const QString &message);

private:
    void startHelper(bool tcg);
    void readHelper();
    void helperFinished();
    void fail(const QString &message);
    void handleLine(const QStringList &fields);
    void chooseAutomatically();
    [[nodiscard]] bool stopHelper();
    [[nodiscard]] bool prepareOverlay(QString *error);
    void dropSessionFolder();

    QString m_image;
    QString m_helper;
    DiskImageCommit::Format m_format = DiskImageCommit::Format::Raw;
    std::optional<int> m_wantedPartition;
    bool m_wantReadOnly = false;
    bool m_usesOverlay = false;
    bool m_tcg = false;
    bool m_sawAccel = false;
    Phase m_phase = Phase::Closed;
    QString m_sessionFolder;
    QString m_readOnlyReason;
    QString m_error;
    QList<ImageVolume> m_volumes;
    std::optional<int> m_mountedPartition;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_pending;
    UniqueFd m_lock;
};
