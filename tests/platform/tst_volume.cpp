#include "platform/Volume.h"

#include <QTest>

class TestVolumePaths : public QObject {
    Q_OBJECT
private slots:
    void hostPath_data();
    void hostPath();
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
