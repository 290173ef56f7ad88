#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The executables find their resources and helpers both in the build tree
// (everything in bin/) and in an installed tree (bin/, share/, libexec/).
class TestBundle : public QObject {
    Q_OBJECT
private slots:
    void init();
    void locate_data();
    void locate();
    void resourceOverride();

private:
    void makeFile(const QString &relative, bool executable);
    [[nodiscard]] QString path(const QString &relative) const { return m_dir->path() + QLatin1Char('/') + relative; }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestBundle::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestBundle::makeFile(const QString &relative, bool executable)
{
    const QString file = path(relative);
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("x");
    out.close();
    if (executable)
        QVERIFY(out.setPermissions(out.permissions() | QFileDevice::ExeOwner));
}

void TestBundle::locate_data()
{
    QTest::addColumn<QStringList>("files");       // "+" marks an executable
    QTest::addColumn<QString>("expectedResources");
    QTest::addColumn<QString>("expectedHelper");

    QTest::newRow("build tree") << QStringList{"+bin/lumora-defaults", "bin/resources/Info.plist"}
                                << "bin/resources" << "bin/lumora-defaults";
    QTest::newRow("installed tree")
        << QStringList{"+bin/lumora-login", "share/lumora-login/Info.plist", "+libexec/lumora-login/lumora-defaults"}
        << "share/lumora-login" << "libexec/lumora-login/lumora-defaults";
    // Where both are present (a build folder inside a prefix), the build wins.
    QTest::newRow("both, build first")
        << QStringList{"+bin/lumora-defaults", "bin/resources/Info.plist", "share/lumora-login/Info.plist",
                       "+libexec/lumora-login/lumora-defaults"}
        << "bin/resources" << "bin/lumora-defaults";
    // A file that cannot be run is not the helper; nor is a folder of its name.
    QTest::newRow("not executable beside")
        << QStringList{"bin/lumora-defaults", "+libexec/lumora-login/lumora-defaults"}
        << "bin/resources" << "libexec/lumora-login/lumora-defaults";
    QTest::newRow("folder beside")
        << QStringList{"bin/lumora-defaults/x", "+libexec/lumora-login/lumora-defaults"}
        << "bin/resources" << "libexec/lumora-login/lumora-defaults";
    // Nothing there: the error then names the installed places.
    QTest::newRow("nothing") << QStringList{} << "bin/resources" << "libexec/lumora-login/lumora-defaults";
}

void TestBundle::locate()
{
    QFETCH(QStringList, files);
    QFETCH(QString, expectedResources);
    QFETCH(QString, expectedHelper);
    QVERIFY(QDir().mkpath(path(QStringLiteral("bin"))));
    for (const QString &file : files)
        makeFile(file.startsWith(QLatin1Char('+')) ? file.mid(1) : file, file.startsWith(QLatin1Char('+')));

    const Bundle bundle = Bundle::locate(path(QStringLiteral("bin")));
    QCOMPARE(bundle.resourceDir(), path(expectedResources));
    QCOMPARE(bundle.helperPath(QStringLiteral("lumora-defaults")), path(expectedHelper));
    const QString info = expectedResources + QStringLiteral("/Info.plist");
    if (files.contains(info))
        QCOMPARE(bundle.pathForResource(QStringLiteral("Info.plist")), std::optional<QString>(path(info)));
}

void TestBundle::resourceOverride()
{
    makeFile(QStringLiteral("share/lumora-login/Info.plist"), false);
    makeFile(QStringLiteral("elsewhere/Info.plist"), false);
    makeFile(QStringLiteral("libexec/lumora-login/lumora-defaults"), true);
    const Bundle bundle = Bundle::locate(path(QStringLiteral("bin")), path(QStringLiteral("elsewhere")));
    QCOMPARE(bundle.resourceDir(), path(QStringLiteral("elsewhere")));
    // Naming the resources does not move the helpers.
    QCOMPARE(bundle.helperPath(QStringLiteral("lumora-defaults")),
             path(QStringLiteral("libexec/lumora-login/lumora-defaults")));
}

QTEST_GUILESS_MAIN(TestBundle)
#include "tst_bundle.moc"
