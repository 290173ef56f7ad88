// Volumes whose links point off the volume: the controller, saving for real
// with the direct back end (as root in CI), must neither write nor show
// anything outside the volume. Each step that would have to leave it fails
// with its own line; everything else is saved.

#include "tests/save/SaveFixture.h"

#include "platform/Image.h"
#include "tests/fakes/HostileVolume.h"
#include "tests/fakes/LogCapture.h"

#include <QStandardPaths>
#include <QTest>

using namespace SaveTesting;
using HostileVolume::Aim;

Q_DECLARE_METATYPE(HostileVolume::Aim)

class TestHostileVolume : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        usePrivateHome(m_home);
    }
    void init() { QDir(Staging::applicationSupportPath()).removeRecursively(); }

    void nothingLeavesTheVolume_data();
    void nothingLeavesTheVolume();
    void absoluteLinkInsideTheVolumeLandsThere();

private:
    QTemporaryDir m_home;
};

void TestHostileVolume::nothingLeavesTheVolume_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<Aim>("aim");
    QTest::addColumn<QStringList>("setFails");
    QTest::addColumn<QStringList>("restoreFails");

    const QString background = QStringLiteral("background");
    const QStringList images{QStringLiteral("logo"), QStringLiteral("title")};
    const QStringList preferences{QStringLiteral("background"), QStringLiteral("message"),
                                  QStringLiteral("host information")};
    for (const Aim aim : {Aim::Absolute, Aim::Climbing}) {
        const char *how = aim == Aim::Absolute ? "absolute" : "climbing";
        // Restore finds no picture of its own on the volume, so it writes the
        // stock one through the link, which leads nowhere on the volume.
        QTest::addRow("picture link, %s", how) << "picture link" << aim << QStringList() << QStringList{background};
        QTest::addRow("support folder link, %s", how)
            << "support folder link" << aim << QStringList{background} << QStringList();
        // Nothing to back up or replace; the login window shows the second
        // place, which the restore leaves as it is.
        QTest::addRow("resources folder link, %s", how)
            << "resources folder link" << aim << images << QStringList();
        // The message is already absent (the volume has no readable domain),
        // so clearing it has nothing to do.
        QTest::addRow("domain link, %s", how)
            << "domain link" << aim << preferences
            << QStringList{QStringLiteral("background"), QStringLiteral("host information")};
    }
    QTest::addRow("link loops") << "link loop" << Aim::Absolute << QStringList{background}
                                << QStringList{background};
}

void TestHostileVolume::nothingLeavesTheVolume()
{
    QFETCH(QString, layout);
    QFETCH(Aim, aim);
    QFETCH(QStringList, setFails);
    QFETCH(QStringList, restoreFails);
    HostileVolume::Decoy decoy;
    QVERIFY(decoy.isValid());
    SaveFixture f;
    QVERIFY(HostileVolume::plant(layout, f.volume.root(), decoy, aim));
    const auto decoyBefore = decoy.checksums();
    LogCapture log;

    // What the window shows comes from the volume only.
    f.controller.loadCurrentSettings();
    for (const Image *image : {&f.controller.logo(), &f.controller.title(), &f.controller.background()})
        QVERIFY2(!image->path().startsWith(decoy.path()), qPrintable(image->path()));
    QVERIFY(f.controller.message() != QStringLiteral("from the host"));

    f.controller.setLogo(Image::fromPixels(pattern(32, 32, 1)));
    f.controller.setTitle(Image::fromPixels(pattern(64, 16, 2)));
    f.controller.setBackground(Image::fromPixels(gradient(80, 60, 3)));
    f.view.type(QStringLiteral("Authorised use only"));
    f.controller.setHostInfoTag(0);
    const SaveReport set = f.controller.save();
    QCOMPARE(set.failed, setFails);
    QCOMPARE(set.attempted.size(), 5);

    f.controller.defaults();
    const SaveReport restore = f.controller.save();
    QCOMPARE(restore.failed, restoreFails);

    QCOMPARE(decoy.checksums(), decoyBefore);
    // Nothing was created beside the decoy either (a hidden copy, a folder).
    QCOMPARE(QDir(decoy.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 4);
    QVERIFY2(!log.lines().join(QLatin1Char('\n')).contains(decoy.path()), qPrintable(log.lines().join('\n')));
}

void TestHostileVolume::absoluteLinkInsideTheVolumeLandsThere()
{
    // On the Mac "/Shared/..." names a folder of the same volume, and so it
    // must here: the background goes into the volume's own folder, and a
    // restore writes the stock picture where the volume's link leads.
    SaveFixture f;
    const QString root = f.volume.root();
    QVERIFY(QDir().mkpath(root + QStringLiteral("/Shared/Support")));
    QVERIFY(HostileVolume::plantLink(root, HostileVolume::kSupportFolder, QStringLiteral("/Shared/Support")));
    QVERIFY(HostileVolume::plantLink(root, LoginWindow::kTigerDefaultBackground, QStringLiteral("/Shared/Blue.jpg")));

    f.controller.setBackground(Image::fromPixels(gradient(80, 60, 4)));
    QVERIFY(f.controller.save().succeeded());
    const QString installed = root + QStringLiteral("/Shared/Support/Lumora/login_background.jpg");
    QCOMPARE(QImage(installed).size(), QSize(80, 60));
    QCOMPARE(modeOf(installed), 0664);
    QCOMPARE(f.controller.background().path(), installed);
    QVERIFY(QFileInfo(root + HostileVolume::kSupportFolder).isSymLink());

    // No picture of its own at the end of the link: the stock one is written there.
    f.controller.defaults();
    QVERIFY(f.controller.save().succeeded());
    QCOMPARE(QImage(root + QStringLiteral("/Shared/Blue.jpg")).size(),
             QImage(f.volume.resources() + QStringLiteral("/AppleBackground.jpg")).size());
    QVERIFY(QFileInfo(f.host(LoginWindow::kTigerDefaultBackground)).isSymLink());
    QCOMPARE(f.controller.background().path(), root + QStringLiteral("/Shared/Blue.jpg"));
}

QTEST_GUILESS_MAIN(TestHostileVolume)
#include "tst_hostilevolume.moc"
