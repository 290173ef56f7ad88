// The history of saved looks: each save keeps the look it replaces on the
// volume, through the file tool, and a kept look comes back byte for byte.

#include "tests/save/SaveFixture.h"

#include "controller/SavedLooks.h"
#include "controller/SettingModel.h"
#include "platform/LookFiles.h"
#include "privileged/Staging.h"
#include "tests/fakes/LogCapture.h"

#include <QBuffer>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace SaveTesting;

namespace {

const QString kLooks = LookFiles::kFolder;

// A TIFF of `image` as our own encoder never writes it (LZW): only a copy
// of its bytes brings it back unchanged.
QByteArray lzwTiff(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(1);
    return writer.write(image) ? bytes : QByteArray();
}

struct Look {
    QByteArray logo;
    QByteArray title;
    QByteArray background;
    std::optional<QVariantMap> domain;
};

} // namespace

class TestLookHistory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        usePrivateHome(m_home);
    }
    void init() { QDir(Staging::applicationSupportPath()).removeRecursively(); }

    void aKeptLookComesBackExactly();
    void oldestLooksGoFirstAndBackupsStay();
    void damagedOrLinkedEntriesAreRefused_data();
    void damagedOrLinkedEntriesAreRefused();
    void aLinkedHistoryFolderIsNeverWrittenThrough();

private:
    static Look lookOn(const SaveFixture &f)
    {
        return {readBytes(f.host(LoginWindow::kLogoFirstPlace)), readBytes(f.host(LoginWindow::kTitleFirstPlace)),
                readBytes(f.host(LoginWindow::kInstalledBackground)), f.domain()};
    }
    // A save of the message alone: cheap, and it still keeps a look.
    static void saveMessage(SaveFixture &f, const QString &text)
    {
        f.controller.setMessage(text);
        QVERIFY(f.controller.save().succeeded());
    }
    static QStringList entries(const SaveFixture &f, bool pictures)
    {
        return QDir(f.host(kLooks)).entryList({pictures ? QStringLiteral("picture-*") : QStringLiteral("look-*")},
                                               QDir::Files | QDir::System);
    }

    QTemporaryDir m_home;
};

void TestLookHistory::aKeptLookComesBackExactly()
{
    SaveFixture f;
    const std::optional<QString> stockMessage = f.controller.message();
    QVERIFY(stockMessage);
    // The first look, every kind of value in it.
    f.controller.setLogo(Image::fromPixels(pattern(120, 90, 1)));
    f.controller.setBackground(Image::fromPixels(gradient(320, 200, 1)));
    f.controller.setMessage(QStringLiteral("First \"look\"\nline two"));
    f.controller.setHostInfoTag(2);
    f.controller.document().setValue(Setting::PasswordHints, OptionValue(3));
    f.controller.document().setValue(Setting::PowerButtons, OptionValue(0));
    QVERIFY(f.controller.save().succeeded());
    // Its logo then replaced by another tool with bytes no encoder of ours
    // makes: only a copy of the bytes brings them back.
    QVERIFY(writeBytes(f.host(LoginWindow::kLogoFirstPlace), lzwTiff(pattern(120, 90, 1))));
    f.controller.loadCurrentSettings();
    const Look first = lookOn(f);

    f.controller.setLogo(Image::fromPixels(pattern(120, 90, 2)));
    f.controller.setTitle(Image::fromPixels(pattern(200, 40, 3)));
    f.controller.setBackground(Image::fromPixels(gradient(320, 200, 2)));
    f.controller.setMessage(std::nullopt);
    f.controller.setHostInfoTag(0);
    f.controller.document().setValue(Setting::PasswordHints, OptionValue());
    QVERIFY(f.controller.save().succeeded());
    QVERIFY(lookOn(f).logo != first.logo);

    // Newest first: the first look, then the stock look the first save replaced.
    const QList<LookHistory::Look> looks = SavedLooks::list(f.controller);
    QCOMPARE(looks.size(), 2);
    QVERIFY(looks.at(0).saved >= looks.at(1).saved);
    QCOMPARE(looks.at(0).values.value(QStringLiteral("message")).toString(), QStringLiteral("First \"look\"\nline two"));
    QCOMPARE(looks.at(1).values.value(QStringLiteral("message")).toString(), *stockMessage);
    QVERIFY(!looks.at(1).digests.contains(QStringLiteral("background"))); // the release's own picture

    QString why;
    QVERIFY2(SavedLooks::restore(f.controller, looks.at(0).id, &why), qPrintable(why));
    QVERIFY(f.controller.save().succeeded());
    const Look back = lookOn(f);
    QVERIFY(back.logo == first.logo);
    QVERIFY(back.title == first.title);
    QVERIFY(back.background == first.background);
    QCOMPARE(back.domain, first.domain);
    // The look the restore replaced is kept in its turn.
    QCOMPARE(SavedLooks::list(f.controller).size(), 3);

    // The stock look comes back as Restore Default Look would put it: no
    // DesktopPicture, the picture we installed gone.
    QVERIFY(SavedLooks::restore(f.controller, looks.at(1).id, &why));
    QVERIFY(f.controller.shouldRevertBackground());
    QVERIFY(f.controller.save().succeeded());
    QVERIFY(!f.domainString(LoginWindow::kDesktopPictureKey));
    QCOMPARE(f.domainString(LoginWindow::kMessageKey), stockMessage);
    QVERIFY(!QFileInfo::exists(f.host(LoginWindow::kInstalledBackground)));
}

void TestLookHistory::oldestLooksGoFirstAndBackupsStay()
{
    SaveFixture f;
    f.defaults.setObject(LookHistory::kKeptKey, 3);
    f.controller.setLogo(Image::fromPixels(pattern(60, 60, 4)));
    QVERIFY(f.controller.save().succeeded());
    const QByteArray stockBackup = readBytes(f.host(Staging::backupPathForPath(LoginWindow::kLogoFirstPlace)));
    QVERIFY(!stockBackup.isEmpty());
    for (int i = 1; i <= 4; ++i)
        saveMessage(f, QStringLiteral("message %1").arg(i));

    const QList<LookHistory::Look> looks = SavedLooks::list(f.controller);
    QCOMPARE(looks.size(), 3);
    // The newest three: the looks with messages 3, 2 and 1.
    QCOMPARE(looks.at(0).values.value(QStringLiteral("message")).toString(), QStringLiteral("message 3"));
    QCOMPARE(looks.at(2).values.value(QStringLiteral("message")).toString(), QStringLiteral("message 1"));
    QCOMPARE(entries(f, false).size(), 3);
    // The same logo and title in every look: each stored once. The stock
    // logo of the oldest look went with it.
    QSet<QString> named;
    for (const LookHistory::Look &look : looks) {
        QCOMPARE(look.digests.size(), 2); // no DesktopPicture on this volume
        for (const QString &digest : look.digests)
            named.insert(LookFiles::pictureName(digest));
    }
    QCOMPARE(named.size(), 2);
    const QStringList stored = entries(f, true);
    QCOMPARE(QSet<QString>(stored.cbegin(), stored.cend()), named);
    QCOMPARE(readBytes(f.host(Staging::backupPathForPath(LoginWindow::kLogoFirstPlace))), stockBackup);

    // Saving the same look again keeps no second copy of it: the look it
    // replaces is the newest one kept already.
    saveMessage(f, QStringLiteral("message 4"));
    const QStringList before = entries(f, false);
    saveMessage(f, QStringLiteral("message 4"));
    QCOMPARE(entries(f, false), before);
}

void TestLookHistory::damagedOrLinkedEntriesAreRefused_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("record that is no record") << "record garbage";
    QTest::newRow("record that is a link") << "record link";
    QTest::newRow("picture whose bytes changed") << "picture changed";
    QTest::newRow("picture that is a link") << "picture link";
}

void TestLookHistory::damagedOrLinkedEntriesAreRefused()
{
    QFETCH(QString, damage);
    SaveFixture f;
    f.controller.setLogo(Image::fromPixels(pattern(60, 60, 5)));
    QVERIFY(f.controller.save().succeeded());
    saveMessage(f, QStringLiteral("second"));
    const QList<LookHistory::Look> looks = SavedLooks::list(f.controller);
    QCOMPARE(looks.size(), 2);
    const LookHistory::Look &target = looks.at(0);

    // Something of the user's outside the volume, which a link may name.
    const QString outside = m_home.filePath(QStringLiteral("outside"));
    const QString record = f.host(kLooks + QLatin1Char('/') + LookFiles::recordName(target.id));
    const QString picture = f.host(target.pictures.value(QStringLiteral("logo")));
    const QString victim = damage.startsWith(QLatin1String("record")) ? record : picture;
    QVERIFY(writeBytes(outside, readBytes(victim)));
    if (damage.endsWith(QLatin1String("link"))) {
        QVERIFY(QFile::remove(victim));
        QVERIFY(QFile::link(outside, victim));
    } else {
        QVERIFY(writeBytes(victim, damage.startsWith(QLatin1String("record")) ? QByteArray("<plist><dict>")
                                                                               : lzwTiff(pattern(60, 60, 6))));
    }

    QStringList refused;
    const QList<LookHistory::Look> listed = SavedLooks::list(f.controller, &refused);
    if (damage.startsWith(QLatin1String("record"))) {
        QCOMPARE(listed.size(), 1);
        QCOMPARE(refused.size(), 1);
    }
    QString why;
    const QByteArray logoNow = readBytes(f.host(LoginWindow::kLogoFirstPlace));
    QVERIFY(!SavedLooks::restore(f.controller, target.id, &why));
    QVERIFY2(why.contains(damage.endsWith(QLatin1String("link")) ? QLatin1String("link") : QLatin1String("damaged"))
                 || why.contains(QLatin1String("no saved look")),
             qPrintable(why));
    QVERIFY(!f.controller.dirty());
    // Pruning takes nothing that a link names, nor the link's target.
    f.defaults.setObject(LookHistory::kKeptKey, 1);
    saveMessage(f, QStringLiteral("third"));
    QVERIFY(QFileInfo::exists(outside));
    QCOMPARE(readBytes(f.host(LoginWindow::kLogoFirstPlace)), logoNow);
}

void TestLookHistory::aLinkedHistoryFolderIsNeverWrittenThrough()
{
    SaveFixture f;
    // The history folder a link to a folder of the volume the tool would
    // otherwise write: the login agent's resources.
    QVERIFY(QDir().mkpath(f.host(LoginWindow::kSharedSupportFolder)));
    const QString resources = QFileInfo(f.host(LoginWindow::kLogoFirstPlace)).path();
    QVERIFY(QFile::link(resources, f.host(kLooks)));
    const auto before = snapshot(resources);
    LogCapture log;
    f.controller.setMessage(QStringLiteral("through a link?"));
    QVERIFY(f.controller.save().succeeded()); // the message is saved, the look not kept
    QCOMPARE(snapshot(resources), before);
    QVERIFY(log.count(QStringLiteral("Failed to keep the look being replaced")) == 1);
    QStringList refused;
    QVERIFY(SavedLooks::list(f.controller, &refused).isEmpty());
    QCOMPARE(refused.size(), 1);

    // Asked directly, the file tool refuses too.
    for (const QStringList &request :
         {QStringList{QStringLiteral("mkdir"), kLooks},
          QStringList{QStringLiteral("remove"), kLooks + QStringLiteral("/applelogo.tif")},
          QStringList{QStringLiteral("remove"), LoginWindow::kSharedSupportFolder + QStringLiteral("/picture-")
                                                    + QString(64, QLatin1Char('a'))}}) {
        QProcess tool;
        tool.start(f.controller.context().bundle.helperPath(QStringLiteral("lumora-fileop")),
                   QStringList{QStringLiteral("--root"), f.volume.root()} + request);
        QVERIFY(tool.waitForFinished());
        QVERIFY2(tool.exitCode() != 0, qPrintable(request.join(QLatin1Char(' '))));
    }
    QCOMPARE(snapshot(resources), before);
}

QTEST_GUILESS_MAIN(TestLookHistory)
#include "tst_lookhistory.moc"
