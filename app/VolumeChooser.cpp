#include "app/VolumeChooser.h"

#include "platform/DiskImage.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { NameColumn, ReleaseColumn, PathColumn, AccessColumn };

} // namespace

VolumeChooser::VolumeChooser(const QList<FoundVolume> &volumes, const QStringList &recentImages, QWidget *parent)
    : QDialog(parent), m_volumes(volumes)
{
    setObjectName(QStringLiteral("volumeChooser"));
    setWindowTitle(QCoreApplication::translate("Lumora", "Open Volume"));
    for (const FoundVolume &volume : volumes) {
        if (volume.sample)
            m_sample = volume.path;
    }

    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        volumes.isEmpty() ? QCoreApplication::translate(
            "Lumora",
            "No mounted Mac OS X volume was found. Choose a disk image of a Mac, or mount the volume's disk "
            "(the README says how) and choose its folder.")
                          : QCoreApplication::translate(
                              "Lumora", "Choose the Mac OS X volume whose login window you want to change."));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_refusal = new QLabel;
    m_refusal->setObjectName(QStringLiteral("refusalLabel"));
    m_refusal->setWordWrap(true);
    m_refusal->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_refusal->font();
    bold.setBold(true);
    m_refusal->setFont(bold);
    m_refusal->hide();
    layout->addWidget(m_refusal);

    m_list = new QTreeWidget;
    m_list->setObjectName(QStringLiteral("volumeList"));
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels(
        {QCoreApplication::translate("Lumora", "Volume"), QCoreApplication::translate("Lumora", "System"),
         QCoreApplication::translate("Lumora", "Mounted at"), QCoreApplication::translate("Lumora", "Access")});
    for (const FoundVolume &volume : volumes) {
        auto *item = new QTreeWidgetItem(m_list, {volume.name, VolumeCheck::releaseText(volume.release),
                                                  volume.path, volume.accessText()});
        item->setData(NameColumn, Qt::UserRole, volume.path);
        item->setToolTip(PathColumn, volume.path);
    }
    for (const QString &image : recentImages) {
        if (!QFileInfo::exists(image))
            continue;
        auto *item = new QTreeWidgetItem(m_list, {QFileInfo(image).fileName(),
                                                  QCoreApplication::translate("Lumora", "Disk image"), image,
                                                  QCoreApplication::translate("Lumora", "As its owner")});
        item->setData(NameColumn, Qt::UserRole, image);
        item->setData(NameColumn, Qt::UserRole + 1, true);
        item->setToolTip(PathColumn, image);
    }
    m_list->header()->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    m_list->header()->setStretchLastSection(false);
    for (int column : {NameColumn, ReleaseColumn, AccessColumn})
        m_list->resizeColumnToContents(column);
    layout->addWidget(m_list, 1);

    // Other ways in on the left, the answers on the right.
    auto *chooseButton = new QPushButton(QCoreApplication::translate("Lumora", "Choose Folder…"));
    chooseButton->setObjectName(QStringLiteral("chooseFolderButton"));
    chooseButton->setAutoDefault(false);
    auto *imageButton = new QPushButton(QCoreApplication::translate("Lumora", "Choose Disk Image…"));
    imageButton->setObjectName(QStringLiteral("chooseImageButton"));
    imageButton->setAutoDefault(false);
    auto *sampleButton = new QPushButton(QCoreApplication::translate("Lumora", "Open Sample Volume"));
    sampleButton->setObjectName(QStringLiteral("sampleButton"));
    sampleButton->setAutoDefault(false);
    sampleButton->setEnabled(m_sample.has_value());
    if (!m_sample)
        sampleButton->setToolTip(QCoreApplication::translate(
            "Lumora", "No sample volume was built (scripts/make-sample-volume.sh builds one)."));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_openButton = buttons->addButton(QCoreApplication::translate("Lumora", "Open"), QDialogButtonBox::AcceptRole);
    m_openButton->setObjectName(QStringLiteral("openButton"));
    m_openButton->setDefault(true);
    auto *row = new QHBoxLayout;
    row->addWidget(chooseButton);
    row->addWidget(imageButton);
    row->addWidget(sampleButton);
    row->addStretch(1);
    row->addWidget(buttons);
    layout->addLayout(row);

    // The box's accepted() stays unconnected: Open goes through the test
    // like every other way in, and only a volume closes the dialog.
    connect(m_openButton, &QPushButton::clicked, this, &VolumeChooser::openSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(chooseButton, &QPushButton::clicked, this, &VolumeChooser::chooseFolder);
    connect(imageButton, &QPushButton::clicked, this, &VolumeChooser::chooseImage);
    connect(sampleButton, &QPushButton::clicked, this, &VolumeChooser::openSample);
    connect(m_list, &QTreeWidget::itemActivated, this, &VolumeChooser::openSelected);
    connect(m_list, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { m_openButton->setEnabled(current != nullptr); });
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    m_openButton->setEnabled(m_list->currentItem() != nullptr);
    m_list->setFocus();

    m_pickFolder = [this] {
        return QFileDialog::getExistingDirectory(
            this, QCoreApplication::translate("Lumora", "Choose the Folder of a Mac OS X Volume"),
            QStringLiteral("/media"));
    };
    m_pickImage = [this] {
        return QFileDialog::getOpenFileName(this, QCoreApplication::translate("Lumora", "Choose a Disk Image of a Mac"),
                                            QDir::homePath(), DiskImage::fileNameFilters().join(QStringLiteral(";;")));
    };
    resize(720, 360);
}

bool VolumeChooser::tryImage(const QString &image)
{
    if (!QFileInfo::exists(image)) {
        showRefusal(QCoreApplication::translate("Lumora", "Not opened. There is no disk image at %1.").arg(image));
        return false;
    }
    m_chosenImage = QFileInfo(image).absoluteFilePath();
    accept();
    return true;
}

void VolumeChooser::chooseImage()
{
    const QString image = m_pickImage ? m_pickImage() : QString();
    if (!image.isEmpty())
        tryImage(image);
}

bool VolumeChooser::tryFolder(const QString &folder)
{
    // Looked at again: it may have been unmounted since the list was made.
    const VolumeCheck::Result result = VolumeCheck::check(folder);
    if (!result.isVolume()) {
        showRefusal(QCoreApplication::translate("Lumora", "Not opened. %1").arg(VolumeCheck::refusal(folder, result)));
        return false;
    }
    m_chosen = folder;
    accept();
    return true;
}

void VolumeChooser::showRefusal(const QString &text)
{
    m_refusal->setText(text);
    m_refusal->setVisible(!text.isEmpty());
}

void VolumeChooser::openSelected()
{
    const QTreeWidgetItem *item = m_list->currentItem();
    if (item && item->data(NameColumn, Qt::UserRole + 1).toBool())
        tryImage(item->data(NameColumn, Qt::UserRole).toString());
    else if (item)
        tryFolder(item->data(NameColumn, Qt::UserRole).toString());
}

void VolumeChooser::chooseFolder()
{
    const QString folder = m_pickFolder ? m_pickFolder() : QString();
    if (!folder.isEmpty())
        tryFolder(folder);
}

void VolumeChooser::openSample()
{
    if (m_sample)
        tryFolder(*m_sample);
}
