#pragma once

#include "platform/VolumeFinder.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QTreeWidget;

// Lists the Mac OS X volumes that were found and lets the user open one,
// choose a folder, or open the sample volume. A folder that is not a volume
// is refused here, with the reason, and the dialog stays open.
class VolumeChooser final : public QDialog {
    Q_OBJECT
public:
    // `recentImages`: disk images opened before, newest first.
    VolumeChooser(const QList<FoundVolume> &volumes, const QStringList &recentImages = {}, QWidget *parent = nullptr);

    // The folder opened; empty until the dialog is accepted.
    [[nodiscard]] const QString &chosenFolder() const { return m_chosen; }
    // The disk image opened instead of a folder; empty when a folder was.
    [[nodiscard]] const QString &chosenImage() const { return m_chosenImage; }

    // "Choose Disk Image…" asks this for a file (empty: cancelled).
    void setImagePicker(std::function<QString()> picker) { m_pickImage = std::move(picker); }
    // Takes the disk image as the choice when it exists.
    bool tryImage(const QString &image);

    // "Choose Folder…" asks this for a folder (empty: cancelled); a folder
    // dialog unless a test puts its own answer here.
    void setFolderPicker(std::function<QString()> picker) { m_pickFolder = std::move(picker); }

    // Opens the folder when it is a volume; otherwise says why not and
    // stays. Returns whether it was opened.
    bool tryFolder(const QString &folder);
    // A line above the list, e.g. why the last volume used is not opened.
    void showRefusal(const QString &text);

private:
    void openSelected();
    void chooseFolder();
    void openSample();
    void chooseImage();

    QList<FoundVolume> m_volumes;
    std::optional<QString> m_sample;
    QTreeWidget *m_list = nullptr;
    QLabel *m_refusal = nullptr;
    QPushButton *m_openButton = nullptr;
    QString m_chosen;
    QString m_chosenImage;
    std::function<QString()> m_pickFolder;
    std::function<QString()> m_pickImage;
};
