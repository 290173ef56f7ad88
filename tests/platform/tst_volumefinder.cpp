// What counts as a system volume, and the finder over a fake mount table:
// temporary folders that are volumes, folders that are not, and the places
// below media/, run/media/ and mnt/ where desktops mount disks.

#include "platform/LoginWindow.h"
#include "platform/PropertyList.h"
#include "platform/VolumeFinder.h"
#include "tests/fakes/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

QString versionFile(const QString &folder)
{
    return folder + LoginWindow::kVersionFile;
}

// A folder with only the system version file: all the test looks at.
bool makeVolume(const QString &folder, const QVariantMap &version)
{
    return QDir().mkpath(QFileInfo(versionFile(folder)).path())
           && writeBytes(versionFile(folder), PropertyList::serialize(QVariant(version), PropertyList::Format::Xml));
}

bool makeVolume(const QString &folder, const QString &release)
{
    return makeVolume(folder, {{QStringLiteral("ProductName"), QStringLiteral("Mac OS X")},
                               {QStringLiteral("ProductVersion"), release}});
}

QStringList paths(const QList<FoundVolume> &volumes)
{
    QStringList list;
    for (const FoundVolume &volume : volumes)
        list << volume.path;
    return list;
}

} // namespace

class TestVolumeFinder : public QObject {
    Q_OBJECT
private slots:
    void verdicts();
    void linksCannotLeadOutside();
    void refusalNamesTheFolderAndTheReason();
    void supportedReleases_data();
    void supportedReleases();
    void findsVolumesInAFakeMountTable();
    void sampleVolumeIsListedOnceAndLast();
    void describesAccess();
};

void TestVolumeFinder::verdicts()
{
    using VolumeCheck::Verdict;
    QTemporaryDir dir;
    const QString root = dir.path();
    QVERIFY(makeVolume(root + QStringLiteral("/tiger"), QStringLiteral("10.4.11")));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/empty")));
    QVERIFY(writeBytes(root + QStringLiteral("/file"), "not a folder"));
    QVERIFY(makeVolume(root + QStringLiteral("/no-version"), QVariantMap{{QStringLiteral("ProductName"), QStringLiteral("Mac OS X")}}));
    QVERIFY(makeVolume(root + QStringLiteral("/blank-version"), QStringLiteral("  ")));
    QVERIFY(makeVolume(root + QStringLiteral("/number-version"), QVariantMap{{QStringLiteral("ProductVersion"), 10}}));
    QVERIFY(QDir().mkpath(QFileInfo(versionFile(root + QStringLiteral("/garbage"))).path()));
    QVERIFY(writeBytes(versionFile(root + QStringLiteral("/garbage")), "ProductVersion = 10.4"));
    // A folder where the file should be is no version file.
    QVERIFY(QDir().mkpath(versionFile(root + QStringLiteral("/folder-version"))));

    const VolumeCheck::Result tiger = VolumeCheck::check(root + QStringLiteral("/tiger"));
    QCOMPARE(tiger.verdict, Verdict::Volume);
    QCOMPARE(tiger.release, QStringLiteral("10.4.11"));
    QVERIFY(tiger.isVolume());
    // A trailing separator and a relative spelling name the same folder.
    QVERIFY(VolumeCheck::check(root + QStringLiteral("/tiger/")).isVolume());
    QVERIFY(QDir::setCurrent(root));
    QVERIFY(VolumeCheck::check(QStringLiteral("tiger")).isVolume());

    QCOMPARE(VolumeCheck::check(root + QStringLiteral("/empty")).verdict, Verdict::NoVersionFile);
    QCOMPARE(VolumeCheck::check(root + QStringLiteral("/missing")).verdict, Verdict::Missing);
    QCOMPARE(VolumeCheck::check(QString()).verdict, Verdict::Missing);
    QCOMPARE(VolumeCheck::check(root + QStringLiteral("/file")).verdict, Verdict::NotAFolder);
    QCOMPARE(VolumeCheck::check(root + QStringLiteral("/no-version")).verdict, Verdict::NoRelease);
    QCOMPARE(VolumeCheck::check(root + QStringLiteral("/blank-version")).verdict, Verdict::NoRelease);
    QCOMPARE(VolumeCheck::check(root + QStringLiteral("/number-version")).verdict, Verdict::NoRelease);
    QCOMPARE(VolumeCheck::check(root + QStringLiteral("/garbage")).verdict, Verdict::NoRelease);
    QCOMPARE(VolumeCheck::check(root + QStringLiteral("/folder-version")).verdict, Verdict::NoVersionFile);
    // This host's own root is no Mac volume.
    if (!QFile::exists(versionFile(QString())))
        QCOMPARE(VolumeCheck::check(QStringLiteral("/")).verdict, Verdict::NoVersionFile);
}

void TestVolumeFinder::linksCannotLeadOutside()
{
    QTemporaryDir dir;
    const QString outside = dir.path() + QStringLiteral("/outside");
    QVERIFY(makeVolume(outside, QStringLiteral("10.4.11")));

    // The version file as a link to a real one outside the folder: on the
    // volume an absolute target starts at the volume's root, where there is
    // no such file.
    const QString absolute = dir.path() + QStringLiteral("/absolute");
    QVERIFY(QDir().mkpath(QFileInfo(versionFile(absolute)).path()));
    QVERIFY(QFile::link(versionFile(outside), versionFile(absolute)));
    QCOMPARE(VolumeCheck::check(absolute).verdict, VolumeCheck::Verdict::NoVersionFile);

    // A folder link climbing out stops at the volume's root.
    const QString climbing = dir.path() + QStringLiteral("/climbing");
    QVERIFY(QDir().mkpath(climbing + QStringLiteral("/System/Library")));
    QVERIFY(QFile::link(QStringLiteral("../../../outside/System/Library/CoreServices"),
                        climbing + QStringLiteral("/System/Library/CoreServices")));
    QVERIFY(QFile::exists(versionFile(climbing))); // the host would follow it
    QCOMPARE(VolumeCheck::check(climbing).verdict, VolumeCheck::Verdict::NoVersionFile);

    // A link that stays inside the volume is followed, as the Mac does.
    const QString inside = dir.path() + QStringLiteral("/inside");
    QVERIFY(makeVolume(inside + QStringLiteral("/Real"), QStringLiteral("10.3.9")));
    QVERIFY(QFile::link(QStringLiteral("/Real/System"), inside + QStringLiteral("/System")));
    const VolumeCheck::Result result = VolumeCheck::check(inside);
    QVERIFY(result.isVolume());
    QCOMPARE(result.release, QStringLiteral("10.3.9"));
}

void TestVolumeFinder::refusalNamesTheFolderAndTheReason()
{
    QTemporaryDir dir;
    const VolumeCheck::Result empty = VolumeCheck::check(dir.path());
    const QString text = VolumeCheck::refusal(dir.path(), empty);
    QVERIFY2(text.contains(dir.path()), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("is not a Mac OS X system volume")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("SystemVersion.plist")), qPrintable(text));
    QVERIFY(VolumeCheck::refusal(dir.path(), {VolumeCheck::Verdict::Volume, QStringLiteral("10.4")}).isEmpty());
}

void TestVolumeFinder::supportedReleases_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<bool>("supported");
    QTest::newRow("10.3") << "10.3" << true;
    QTest::newRow("10.3.9") << "10.3.9" << true;
    QTest::newRow("10.4.11") << "10.4.11" << true;
    QTest::newRow("10.2.8") << "10.2.8" << false;
    QTest::newRow("10.5") << "10.5" << false;
    QTest::newRow("10.40 is not 10.4") << "10.40" << false;
    QTest::newRow("10.10") << "10.10" << false;
}

void TestVolumeFinder::supportedReleases()
{
    QFETCH(QString, release);
    QFETCH(bool, supported);
    const VolumeCheck::Result result{VolumeCheck::Verdict::Volume, release};
    QCOMPARE(result.isSupportedRelease(), supported);
    // Other releases open with a warning naming theirs; never refused.
    const QString warning = VolumeCheck::releaseWarning(result);
    QCOMPARE(warning.isEmpty(), supported);
    if (!supported) {
        QVERIFY(warning.contains(release));
        QVERIFY(warning.contains(QStringLiteral("made for Mac OS X 10.3 and 10.4")));
    }
    QCOMPARE(VolumeCheck::releaseText(release), QStringLiteral("Mac OS X ") + release);
}

void TestVolumeFinder::findsVolumesInAFakeMountTable()
{
    QTemporaryDir dir;
    const QString host = dir.path() + QStringLiteral("/host");
    const QString mounts = dir.path() + QStringLiteral("/mounts");
    // Mount points: a volume, a plain disk, one that went away.
    QVERIFY(makeVolume(mounts + QStringLiteral("/Macintosh HD"), QStringLiteral("10.4.11")));
    QVERIFY(QDir().mkpath(mounts + QStringLiteral("/USB stick/Documents")));
    // Where desktops and people mount disks.
    QVERIFY(makeVolume(host + QStringLiteral("/media/anna/Tiger Install"), QStringLiteral("10.4.6")));
    QVERIFY(QDir().mkpath(host + QStringLiteral("/media/anna/Photos/2024")));
    QVERIFY(makeVolume(host + QStringLiteral("/run/media/bert/Leopard"), QStringLiteral("10.5.8")));
    QVERIFY(makeVolume(host + QStringLiteral("/mnt/panther"), QStringLiteral("10.3.9")));
    QVERIFY(makeVolume(host + QStringLiteral("/mnt/backup/Copy of HD"), QStringLiteral("10.4.11")));
    // Deeper than one level below: not looked at.
    QVERIFY(makeVolume(host + QStringLiteral("/mnt/deep/a/b"), QStringLiteral("10.4.11")));
    // Outside the places looked at.
    QVERIFY(makeVolume(host + QStringLiteral("/home/anna/volume"), QStringLiteral("10.4.11")));
    // The same volume under a second name (a bind mount, a link).
    QVERIFY(QFile::link(mounts + QStringLiteral("/Macintosh HD"), host + QStringLiteral("/mnt/hd-link")));

    VolumeFinder::Places places;
    places.mountPoints = {mounts + QStringLiteral("/Macintosh HD"), mounts + QStringLiteral("/USB stick"),
                          mounts + QStringLiteral("/gone"), host + QStringLiteral("/mnt/panther")};
    places.hostRoot = host;

    const QList<FoundVolume> found = VolumeFinder::find(places);
    QCOMPARE(paths(found), (QStringList{
                               host + QStringLiteral("/mnt/backup/Copy of HD"),
                               host + QStringLiteral("/run/media/bert/Leopard"),
                               mounts + QStringLiteral("/Macintosh HD"),
                               host + QStringLiteral("/mnt/panther"),
                               host + QStringLiteral("/media/anna/Tiger Install"),
                           }));
    const FoundVolume &hd = found[2];
    QCOMPARE(hd.name, QStringLiteral("Macintosh HD"));
    QCOMPARE(hd.release, QStringLiteral("10.4.11"));
    QVERIFY(!hd.sample);
    QCOMPARE(found[1].release, QStringLiteral("10.5.8"));
    QCOMPARE(found[3].name, QStringLiteral("panther"));

    // Nothing mounted, nothing below the places: nothing found.
    QTemporaryDir bare;
    QVERIFY(VolumeFinder::find({{}, bare.path(), std::nullopt}).isEmpty());
}

void TestVolumeFinder::sampleVolumeIsListedOnceAndLast()
{
    QTemporaryDir dir;
    const QString sample = dir.path() + QStringLiteral("/build/sample-volume");
    const QString other = dir.path() + QStringLiteral("/zz-other");
    QVERIFY(makeVolume(sample, QStringLiteral("10.4.11")));
    QVERIFY(makeVolume(other, QStringLiteral("10.3.9")));
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/build/bin")));

    QCOMPARE(VolumeFinder::shippedSampleVolume(dir.path() + QStringLiteral("/build/bin")), sample);
    QCOMPARE(VolumeFinder::shippedSampleVolume(dir.path()), std::nullopt);

    // The sample mounted too (or bound elsewhere) is still one entry.
    const QList<FoundVolume> found = VolumeFinder::find({{sample, other}, dir.path() + QStringLiteral("/none"), sample});
    QCOMPARE(paths(found), (QStringList{other, sample}));
    QVERIFY(found.last().sample);
    QCOMPARE(found.last().name, QStringLiteral("Sample volume"));
    QVERIFY(!found.first().sample);

    // A sample folder that is no volume (not built yet) is not offered.
    QTemporaryDir empty;
    QVERIFY(VolumeFinder::find({{}, empty.path(), empty.path()}).isEmpty());
}

void TestVolumeFinder::describesAccess()
{
    QTemporaryDir dir;
    const QString volume = dir.path() + QStringLiteral("/volume");
    QVERIFY(makeVolume(volume, QStringLiteral("10.4.11")));
    auto found = VolumeFinder::describe(volume);
    QVERIFY(found);
    QCOMPARE(found->access, FoundVolume::Access::Writable);
    QCOMPARE(found->accessText(), QStringLiteral("You can write it"));
    QVERIFY(!VolumeFinder::describe(dir.path()));

    if (::geteuid() == 0)
        QSKIP("root can write every folder of a writable file system");
    // A volume the user cannot write (CoreServices belongs to someone else).
    const QString coreServices = QFileInfo(versionFile(volume)).path();
    QVERIFY(QFile::setPermissions(coreServices, QFile::ReadOwner | QFile::ExeOwner));
    found = VolumeFinder::describe(volume);
    QFile::setPermissions(coreServices, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(found);
    QCOMPARE(found->access, FoundVolume::Access::NeedsAdministrator);
}

QTEST_GUILESS_MAIN(TestVolumeFinder)
#include "tst_volumefinder.moc"
