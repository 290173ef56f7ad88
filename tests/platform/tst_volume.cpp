#include "platform/Volume.h"
#include "platform/VolumePath.h"

#include <QTest>

class TestVolumePaths : public QObject {
    Q_OBJECT
private slots:
    void hostPath_data();
    void hostPath();
    void volumePathOfHostPath_data();
    void volumePathOfHostPath();
    void fromEnvironment();
};

void TestVolumePaths::hostPath_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("volumePath");
    QTest::addColumn<QString>("expected");
    const QString domain = QStringLiteral("/Library/Preferences/com.apple.loginwindow");
    // On the live system every path reaches the tools byte for byte.
    QTest::newRow("root, plain") << "/" << domain << domain;
    QTest::newRow("root, untouched") << "/" << "/Library//x/../y " << "/Library//x/../y ";
    QTest::newRow("empty root is /") << "" << domain << domain;
    QTest::newRow("mounted") << "/mnt/tiger" << domain << "/mnt/tiger" + domain;
    QTest::newRow("trailing separators") << "/mnt/tiger//" << domain << "/mnt/tiger" + domain;
    QTest::newRow("relative path") << "/mnt/tiger" << "Library/x.jpg" << "/mnt/tiger/Library/x.jpg";
    QTest::newRow("spaces kept") << "/mnt/tiger" << "/Library/Desktop Pictures/Aqua Blue.jpg"
                                 << "/mnt/tiger/Library/Desktop Pictures/Aqua Blue.jpg";
    // A path read from the volume's own files cannot leave the volume.
    QTest::newRow("climbing out") << "/mnt/tiger" << "/../../etc/shadow" << "/mnt/tiger/etc/shadow";
    QTest::newRow("climbing out midway") << "/mnt/tiger" << "/Library/../../../etc/shadow"
                                         << "/mnt/tiger/etc/shadow";
    QTest::newRow("volume root") << "/mnt/tiger" << "/" << "/mnt/tiger";
}

void TestVolumePaths::hostPath()
{
    QFETCH(QString, root);
    QFETCH(QString, volumePath);
    QFETCH(QString, expected);
    QCOMPARE(Volume(root).hostPath(volumePath), expected);
}

void TestVolumePaths::volumePathOfHostPath_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("hostPath");
    QTest::addColumn<QString>("expected"); // null: off the volume
    const QString picture = QStringLiteral("/Library/Desktop Pictures/Aqua Blue.jpg");
    QTest::newRow("live system: as it is") << "/" << picture << picture;
    QTest::newRow("on the volume") << "/mnt/tiger" << "/mnt/tiger" + picture << picture;
    QTest::newRow("the volume itself") << "/mnt/tiger" << "/mnt/tiger" << QStringLiteral("/");
    // Another folder that only begins with the volume's name is off it.
    QTest::newRow("sibling with the same prefix") << "/mnt/tiger" << "/mnt/tiger2" + picture
                                                  << QString();
    QTest::newRow("our own staging file") << "/mnt/tiger" << "/home/u/.local/share/background.jpg"
                                          << QString();
}

void TestVolumePaths::volumePathOfHostPath()
{
    QFETCH(QString, root);
    QFETCH(QString, hostPath);
    QFETCH(QString, expected);
    const Volume volume(root);
    const std::optional<QString> found = volumePathOf(volume, hostPath);
    QCOMPARE(found.has_value(), !expected.isNull());
    if (!found)
        return;
    QCOMPARE(*found, expected);
    // Back again, a path on the volume is where it was.
    QCOMPARE(volume.hostPath(*found), hostPath);
}

void TestVolumePaths::fromEnvironment()
{
    qputenv("LUMORA_SYSTEM_ROOT", "/srv/volume/");
    QCOMPARE(Volume::fromEnvironment().root(), QStringLiteral("/srv/volume"));
    QVERIFY(!Volume::fromEnvironment().isRootFilesystem());
    qputenv("LUMORA_SYSTEM_ROOT", "");
    QVERIFY(Volume::fromEnvironment().isRootFilesystem());
    qunsetenv("LUMORA_SYSTEM_ROOT");
    QVERIFY(Volume::fromEnvironment().isRootFilesystem());
}

QTEST_GUILESS_MAIN(TestVolumePaths)
#include "tst_volume.moc"
