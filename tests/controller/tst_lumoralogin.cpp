#include "controller/LumoraLogin.h"

#include "controller/MessageView.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeWorkspace.h"
#include "tests/fakes/LogCapture.h"
#include "tests/fakes/TestVolume.h"
#include "update/VersionChecker.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QImageWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <memory>

#include <sys/stat.h>

using Flags = QList<bool>; // logo, title, background, message, host info, dirty, revert
Q_DECLARE_METATYPE(SampleVolume::Options)

namespace {

const QString kNoDomain = QStringLiteral("Unable to obtain loginwindow defaults");
const QString kQuitTitle = QStringLiteral("You have unsaved changes.  Are you sure you want to quit?");
const QString kQuitMessage = QStringLiteral("If you quit now, your changes changes will not be saved.");

// A controller on a throwaway volume with every outside service scripted.
struct Fixture {
    explicit Fixture(const SampleVolume::Options &options = {}) : volume(options)
    {
        context.volume = volume.volume();
        context.bundle = volume.bundle();
        context.defaults = &defaults;
        context.alerts = &alerts;
        context.workspace = &workspace;
        context.clock = &clock;
        context.authorization = &authorization;
        controller = std::make_unique<LumoraLogin>(context);
        controller->setMessageView(&view);
    }

    bool writeDomain(const QVariantMap &values) const
    {
        return writeFile(volume.domainFile(),
                         PropertyList::serialize(QVariant(values), PropertyList::Format::Binary));
    }
    static bool writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    Flags flags() const
    {
        const LumoraLogin &c = *controller;
        return {c.logoDirty(), c.titleDirty(), c.backgroundDirty(), c.messageDirty(),
                c.hostInfoTagDirty(), c.dirty(), c.shouldRevertBackground()};
    }

    TestVolume volume;
    QTemporaryDir prefsDir;
    UserDefaults defaults{prefsDir.filePath(QStringLiteral("prefs.ini"))};
    FakeAlertPanel alerts;
    FakeWorkspace workspace;
    FakeClock clock;
    Authorization authorization{std::make_unique<DirectAuthorizationService>(), &alerts};
    MemoryMessageView view;
    LumoraContext context{Volume(), Bundle(QString(), QString())};
    std::unique_ptr<LumoraLogin> controller;
};

// Every file of a folder tree with a digest of its bytes.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(path, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
        else
            files.insert(path, QByteArray("unreadable"));
    }
    return files;
}

QByteArray pngBytes(const QColor &color)
{
    QImage image(24, 12, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

SampleVolume::Options release(const QString &version)
{
    SampleVolume::Options options;
    options.release = version;
    return options;
}

} // namespace

class TestLumoraLogin : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void initInstallsFallbacksAndAwakeLoads();
    void settersMarkEvenForTheHeldValue_data();
    void settersMarkEvenForTheHeldValue();
    void onlySetDirtyAndTheLoadClearDirty();
    void typingMarksTheMessageAndTakesIt();
    void documentSignalsFindTheViewUpToDate();

    void quitQuestion_data();
    void quitQuestion();
    void helpOpensTheSupportPageOnce();

    void hostInfoFromDomain_data();
    void hostInfoFromDomain();
    void hostInfoValueForTag_data();
    void hostInfoValueForTag();

    void releaseTest_data();
    void releaseTest();
    void unusableDomainBehavesAsMissing_data();
    void unusableDomainBehavesAsMissing();
    void nonStringValuesAreMissingKeys();

    void imageInAnotherFormatTakesItsPlace_data();
    void imageInAnotherFormatTakesItsPlace();
    void loadImageAtPathWithoutOtherFormats();
    void backgroundNamingAFifoIsNoPicture();

    void saveWithoutChangesOnlyReloads();
    void pauseOnlyAfterHostInfoSave_data();
    void pauseOnlyAfterHostInfoSave();
};

void TestLumoraLogin::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    qRegisterMetaType<SampleVolume::Options>();
}

void TestLumoraLogin::initInstallsFallbacksAndAwakeLoads()
{
    SampleVolume::Options options;
    options.message = QStringLiteral("Authorised use only");
    options.hostInfo = QStringLiteral("IPAddress");
    Fixture f(options);
    QVERIFY(f.volume.isValid());
    QVERIFY(f.defaults.boolForKey(PreferenceKeys::kCheckForUpdates));
    QVERIFY(!f.defaults.boolForKey(PreferenceKeys::kMadeLogoBackup));
    QVERIFY(!f.defaults.boolForKey(PreferenceKeys::kMadeTitleBackup));
    QCOMPARE(f.controller->hostInfoTag(), 0);
    QVERIFY(f.controller->logo().isNull());

    LogCapture log;
    f.controller->awakeFromNib();
    QCOMPARE(f.view.fontPoints(), 11.0);
    QVERIFY(f.view.centered());
    QCOMPARE(f.controller->message(), std::optional<QString>(options.message));
    QCOMPARE(f.controller->hostInfoTag(), 2);
    QVERIFY(f.controller->logo().isValid());
    QCOMPARE(f.controller->logo().path(), f.volume.hostPath(LoginWindow::kLogoFirstPlace));
    QVERIFY(f.controller->title().isValid());
    QCOMPARE(f.controller->background().path(), f.volume.hostPath(LoginWindow::kTigerDefaultBackground));
    QVERIFY(f.controller->background().isValid());
    QCOMPARE(f.flags(), Flags(7, false));
    QCOMPARE(log.lines(), QStringList());
}

void TestLumoraLogin::settersMarkEvenForTheHeldValue_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<Flags>("expected");
    QTest::newRow("logo") << 0 << Flags{true, false, false, false, false, true, true};
    QTest::newRow("title") << 1 << Flags{false, true, false, false, false, true, true};
    // The background setter is the one that clears the revert mark.
    QTest::newRow("background") << 2 << Flags{false, false, true, false, false, true, false};
    QTest::newRow("message") << 3 << Flags{false, false, false, true, false, true, true};
    QTest::newRow("host info") << 4 << Flags{false, false, false, false, true, true, true};
}

void TestLumoraLogin::settersMarkEvenForTheHeldValue()
{
    QFETCH(int, which);
    QFETCH(Flags, expected);
    Fixture f;
    LumoraLogin &c = *f.controller;
    c.loadCurrentSettings();
    c.setShouldRevertBackground(true);
    QCOMPARE(f.flags(), (Flags{false, false, false, false, false, false, true}));

    const Image heldLogo = c.logo();
    const Image heldTitle = c.title();
    const Image heldBackground = c.background();
    const auto heldMessage = c.message();
    const auto heldTag = c.hostInfoTag();
    switch (which) {
    case 0: c.setLogo(c.logo()); break;
    case 1: c.setTitle(c.title()); break;
    case 2: c.setBackground(c.background()); break;
    case 3: c.setMessage(c.message()); break;
    case 4: c.setHostInfoTag(c.hostInfoTag()); break;
    }
    QCOMPARE(f.flags(), expected);
    QVERIFY(c.logo().isSameAs(heldLogo));
    QVERIFY(c.title().isSameAs(heldTitle));
    QVERIFY(c.background().isSameAs(heldBackground));
    QCOMPARE(c.message(), heldMessage);
    QCOMPARE(c.hostInfoTag(), heldTag);
}

void TestLumoraLogin::onlySetDirtyAndTheLoadClearDirty()
{
    Fixture f;
    LumoraLogin &c = *f.controller;
    c.loadCurrentSettings();
    void (LumoraLogin::*const flagSetters[])(bool) = {
        &LumoraLogin::setLogoDirty, &LumoraLogin::setTitleDirty, &LumoraLogin::setBackgroundDirty,
        &LumoraLogin::setMessageDirty, &LumoraLogin::setHostInfoTagDirty};
    for (auto setter : flagSetters) {
        (c.*setter)(true);
        QVERIFY(c.dirty());
        (c.*setter)(false);
        QVERIFY2(c.dirty(), "clearing a change flag must not clear the document flag");
        c.setDirty(false);
        QCOMPARE(f.flags(), Flags(7, false));
    }

    // Out-of-range tags are kept as given.
    c.setHostInfoTag(-7);
    QCOMPARE(c.hostInfoTag(), -7);

    // The load clears every flag and the revert mark, whatever they were.
    for (auto setter : flagSetters)
        (c.*setter)(true);
    c.setShouldRevertBackground(true);
    QCOMPARE(f.flags(), Flags(7, true));
    c.loadCurrentSettings();
    QCOMPARE(f.flags(), Flags(7, false));
    QCOMPARE(c.hostInfoTag(), 1);
}

void TestLumoraLogin::typingMarksTheMessageAndTakesIt()
{
    Fixture f;
    LumoraLogin &c = *f.controller;
    // Edits before the load are not observed; the load itself is no edit.
    f.view.type(QStringLiteral("early"));
    QVERIFY(!c.dirty());
    c.awakeFromNib();
    QCOMPARE(f.flags(), Flags(7, false));

    const QString typed = c.message().value_or(QString()) + QLatin1Char('!');
    f.view.type(typed);
    QCOMPARE(f.flags(), (Flags{false, false, false, true, false, true, false}));
    QCOMPARE(c.message(), typed);
    // The view shows every message the document is given, without that
    // counting as an edit.
    c.setMessageDirty(false);
    c.setMessage(QStringLiteral("from the document"));
    QCOMPARE(f.view.string(), QStringLiteral("from the document"));
}

void TestLumoraLogin::documentSignalsFindTheViewUpToDate()
{
    Fixture f;
    LumoraLogin &c = *f.controller;
    c.awakeFromNib();
    SettingsDocument &document = c.document();
    QStringList seen; // what the view showed as each signal arrived
    QObject::connect(&document, &SettingsDocument::settingSet, &c, [&](Setting setting) {
        if (setting == Setting::Message)
            seen << QStringLiteral("set:") + f.view.string();
    });
    QObject::connect(&document, &SettingsDocument::messageEdited, &c,
                     [&] { seen << QStringLiteral("edited:") + f.view.string(); });

    // Undo and the companion set the document itself, not the controller's
    // setter: the view follows all the same, before anyone hears of it.
    document.setValue(Setting::Message, std::optional<QString>(QStringLiteral("undone")));
    QCOMPARE(f.view.string(), QStringLiteral("undone"));
    // Typing is an edit, not a setting: the document takes the text as is.
    f.view.type(QStringLiteral("typed"));
    QCOMPARE(c.message(), QStringLiteral("typed"));
    QCOMPARE(seen, (QStringList{QStringLiteral("set:undone"), QStringLiteral("edited:typed")}));
    QVERIFY(c.messageDirty() && c.dirty());

    // The background's setter clears the revert mark; a cleared flag leaves
    // the document flag as it was.
    c.defaults();
    QVERIFY(document.shouldRevertBackground());
    document.setValue(Setting::Background, c.background());
    QVERIFY(!document.shouldRevertBackground());
    document.setChanged(Setting::Background, false);
    QVERIFY(!c.backgroundDirty() && document.dirty());
}

void TestLumoraLogin::quitQuestion_data()
{
    QTest::addColumn<bool>("dirty");
    QTest::addColumn<bool>("closeWindowFirst");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("terminates");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("dirtyAfter");
    // The application quits after its window closed; the second question
    // must then answer itself.
    QTest::newRow("clean, close window") << false << true << 0 << true << true << 0 << false;
    QTest::newRow("clean, quit command") << false << false << 0 << true << true << 0 << false;
    QTest::newRow("dirty, close window, Quit") << true << true << int(AlertPanel::DefaultReturn)
                                               << true << true << 1 << false;
    QTest::newRow("dirty, close window, Cancel") << true << true << int(AlertPanel::AlternateReturn)
                                                 << false << false << 1 << true;
    QTest::newRow("dirty, quit command, Quit") << true << false << int(AlertPanel::DefaultReturn)
                                               << true << true << 1 << true;
    QTest::newRow("dirty, quit command, Cancel") << true << false << int(AlertPanel::AlternateReturn)
                                                 << true << false << 1 << true;
}

void TestLumoraLogin::quitQuestion()
{
    QFETCH(bool, dirty);
    QFETCH(bool, closeWindowFirst);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, terminates);
    QFETCH(int, questions);
    QFETCH(bool, dirtyAfter);

    Fixture f;
    LumoraLogin &c = *f.controller;
    c.loadCurrentSettings();
    if (dirty)
        c.setMessage(QStringLiteral("changed"));
    const Flags before = f.flags();
    f.alerts.scriptAnswers({answer, answer});

    bool terminated = false;
    if (closeWindowFirst) {
        const bool closed = c.windowShouldClose();
        QCOMPARE(closed, closes);
        if (closed)
            terminated = c.applicationShouldTerminate();
    } else {
        terminated = c.applicationShouldTerminate();
    }
    QCOMPARE(terminated, terminates);
    QCOMPARE(c.dirty(), dirtyAfter);
    if (!closes || !terminates) {
        QCOMPARE(f.flags(), before);
        QCOMPARE(c.message(), std::optional<QString>(QStringLiteral("changed")));
    }

    const auto shown = f.alerts.shown();
    QCOMPARE(shown.size(), questions);
    for (const auto &panel : shown) {
        QCOMPARE(panel.title, kQuitTitle);
        QCOMPARE(panel.message, kQuitMessage);
        QCOMPARE(panel.defaultButton, QStringLiteral("Quit"));
        QCOMPARE(panel.alternateButton, QStringLiteral("Cancel"));
        QCOMPARE(panel.otherButton, QString());
    }
}

void TestLumoraLogin::helpOpensTheSupportPageOnce()
{
    Fixture f;
    f.controller->help();
    const auto opened = f.workspace.opened();
    QCOMPARE(opened.size(), 1);
    QVERIFY(opened.first().isValid());
    QVERIFY(opened.first().scheme().startsWith(QLatin1String("http")));
    QCOMPARE(opened.first().fileName(), QStringLiteral("support.htm"));
    QCOMPARE(opened.first().path(), QStringLiteral("/support.htm"));
    QVERIFY(f.alerts.shown().isEmpty());
}

void TestLumoraLogin::hostInfoFromDomain_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("tag");
    QTest::newRow("Time") << QVariant(QStringLiteral("Time")) << 0;
    QTest::newRow("HostName") << QVariant(QStringLiteral("HostName")) << 1;
    QTest::newRow("IPAddress") << QVariant(QStringLiteral("IPAddress")) << 2;
    QTest::newRow("DSStatus") << QVariant(QStringLiteral("DSStatus")) << 3;
    QTest::newRow("SerialNumber") << QVariant(QStringLiteral("SerialNumber")) << 4;
    QTest::newRow("SystemBuild") << QVariant(QStringLiteral("SystemBuild")) << 5;
    QTest::newRow("SystemVersion") << QVariant(QStringLiteral("SystemVersion")) << 6;
    QTest::newRow("lower case") << QVariant(QStringLiteral("systemversion")) << 1;
    QTest::newRow("hostname lower case") << QVariant(QStringLiteral("hostname")) << 1;
    QTest::newRow("not in the table") << QVariant(QStringLiteral("Weather")) << 1;
    QTest::newRow("trailing space") << QVariant(QStringLiteral("Time ")) << 1;
    QTest::newRow("missing") << QVariant() << 1;
    QTest::newRow("integer") << QVariant(qulonglong(6)) << 1;
}

void TestLumoraLogin::hostInfoFromDomain()
{
    QFETCH(QVariant, stored);
    QFETCH(int, tag);
    Fixture f;
    QVariantMap domain{{LoginWindow::kMessageKey, QStringLiteral("hi")}};
    if (stored.isValid())
        domain.insert(LoginWindow::kHostInfoKey, stored);
    QVERIFY(f.writeDomain(domain));
    LogCapture log;
    QCOMPARE(f.controller->currentHostInfoTag(), tag);
    QCOMPARE(log.lines(), QStringList());

    // And back: the tag read gives the string that was stored, for the
    // seven strings of the table.
    if (tag != 1 || stored == QVariant(QStringLiteral("HostName")))
        QCOMPARE(LumoraLogin::hostInfoValueForTag(tag), stored.toString());
}

void TestLumoraLogin::hostInfoValueForTag_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("value");
    QTest::newRow("0") << 0 << "Time";
    QTest::newRow("1") << 1 << "HostName";
    QTest::newRow("2") << 2 << "IPAddress";
    QTest::newRow("3") << 3 << "DSStatus";
    QTest::newRow("4") << 4 << "SerialNumber";
    QTest::newRow("5") << 5 << "SystemBuild";
    QTest::newRow("6") << 6 << "SystemVersion";
    QTest::newRow("7") << 7 << "HostName";
    QTest::newRow("-1") << -1 << "HostName";
    QTest::newRow("INT_MIN") << INT_MIN << "HostName";
    QTest::newRow("INT_MAX") << INT_MAX << "HostName";
}

void TestLumoraLogin::hostInfoValueForTag()
{
    QFETCH(int, tag);
    QFETCH(QString, value);
    QCOMPARE(LumoraLogin::hostInfoValueForTag(tag), value);
}

void TestLumoraLogin::releaseTest_data()
{
    QTest::addColumn<QByteArray>("versionFile"); // empty: no file
    QTest::addColumn<QString>("release");        // empty: no release
    QTest::addColumn<bool>("tiger");
    auto file = [](const QVariant &version) {
        QVariantMap map{{QStringLiteral("ProductName"), QStringLiteral("Mac OS X")}};
        if (version.isValid())
            map.insert(QStringLiteral("ProductVersion"), version);
        return PropertyList::serialize(QVariant(map), PropertyList::Format::Xml);
    };
    QTest::newRow("10.4") << file(QStringLiteral("10.4")) << "10.4" << true;
    QTest::newRow("10.4.11") << file(QStringLiteral("10.4.11")) << "10.4.11" << true;
    QTest::newRow("10.4.0") << file(QStringLiteral("10.4.0")) << "10.4.0" << true;
    QTest::newRow("10.40, a plain prefix test") << file(QStringLiteral("10.40")) << "10.40" << true;
    QTest::newRow("10.3.9") << file(QStringLiteral("10.3.9")) << "10.3.9" << false;
    QTest::newRow("10.5") << file(QStringLiteral("10.5")) << "10.5" << false;
    QTest::newRow("no file") << QByteArray() << QString() << false;
    QTest::newRow("no ProductVersion") << file(QVariant()) << QString() << false;
    QTest::newRow("ProductVersion a number") << file(qulonglong(104)) << QString() << false;
    QTest::newRow("corrupt file") << QByteArray("<plist><dict><key>ProductVersion</key>") << QString()
                                  << false;
    QTest::newRow("top level an array")
        << PropertyList::serialize(QVariant(QVariantList{QStringLiteral("10.4.11")}), PropertyList::Format::Xml)
        << QString() << false;
}

void TestLumoraLogin::releaseTest()
{
    QFETCH(QByteArray, versionFile);
    QFETCH(QString, release);
    QFETCH(bool, tiger);
    Fixture f;
    const QString path = f.volume.hostPath(LoginWindow::kVersionFile);
    QVERIFY(QFile::remove(path));
    if (!versionFile.isEmpty())
        QVERIFY(Fixture::writeFile(path, versionFile));

    const auto found = VersionChecker::getOsVersion(f.context.volume);
    QCOMPARE(found.has_value(), !release.isEmpty());
    if (found)
        QCOMPARE(*found, release);
    QCOMPARE(LoginWindow::isTiger(f.controller->context().volume), tiger);

    // What the test decides: the default background when the domain names
    // none (nothing logged for a missing key), and what a restore puts back.
    QVERIFY(f.writeDomain({{LoginWindow::kMessageKey, QStringLiteral("hi")}}));
    LogCapture log;
    QCOMPARE(f.controller->currentBackgroundPath(),
             tiger ? LoginWindow::kTigerDefaultBackground : LoginWindow::kDefaultBackground);
    QCOMPARE(log.lines(), QStringList());
    const auto original = f.controller->originalBackgroundPath();
    QVERIFY(original.has_value());
    // On 10.4 the volume's own picture, never replaced (no backup of it).
    QCOMPARE(*original, f.volume.hostPath(tiger ? LoginWindow::kTigerDefaultBackground
                                                : LoginWindow::kDefaultBackground));

    // Without a picture of its own, a Tiger restore takes our stock picture,
    // and without that it has nothing to put back.
    QVERIFY(QFile::remove(f.volume.hostPath(LoginWindow::kTigerDefaultBackground)));
    if (tiger)
        QCOMPARE(f.controller->originalBackgroundPath(), f.volume.resources() + QStringLiteral("/AppleBackground.jpg"));
    QVERIFY(QFile::remove(f.volume.resources() + QStringLiteral("/AppleBackground.jpg")));
    QCOMPARE(f.controller->originalBackgroundPath().has_value(), !tiger);
}

void TestLumoraLogin::unusableDomainBehavesAsMissing_data()
{
    QTest::addColumn<int>("kind");
    // What the log names after the sentence; none for a missing file.
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << 0 << QString();
    QTest::newRow("not a property list") << 1 << "not a property list";
    QTest::newRow("truncated binary list") << 2 << "not a property list";
    QTest::newRow("top level an array") << 3 << "not a property list";
    QTest::newRow("nested too deep") << 4 << "nested too deeply";
    QTest::newRow("larger than the cap") << 5 << "too large";
    QTest::newRow("a folder") << 6 << "not a regular file";
}

void TestLumoraLogin::unusableDomainBehavesAsMissing()
{
    QFETCH(int, kind);
    QFETCH(QString, reason);
    Fixture f(release(QStringLiteral("10.3.9")));
    const QString path = f.volume.domainFile();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    QVERIFY(QFile::remove(path));
    switch (kind) {
    case 1: QVERIFY(Fixture::writeFile(path, "{ LoginwindowText = \"hi\"; }")); break;
    case 2: QVERIFY(Fixture::writeFile(path, good.left(good.size() - 10))); break;
    case 3:
        QVERIFY(Fixture::writeFile(path, PropertyList::serialize(QVariant(QVariantList{1}),
                                                                 PropertyList::Format::Binary)));
        break;
    case 4: {
        QByteArray deep = "<plist><dict><key>LoginwindowText</key>";
        deep += QByteArray("<array>").repeated(5000) + QByteArray("</array>").repeated(5000);
        QVERIFY(Fixture::writeFile(path, deep + "</dict></plist>"));
        break;
    }
    case 5:
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(good));
        QVERIFY(file.resize(PropertyList::Limits{}.maxBytes + 1));
        file.close();
        break;
    case 6: QVERIFY(QDir().mkpath(path)); break;
    default: break;
    }

    Fixture::writeFile(f.volume.hostPath(LoginWindow::kDefaultBackground), {});
    f.controller->setBackgroundDirty(true);
    f.controller->setShouldRevertBackground(true);
    LogCapture log;
    f.controller->loadCurrentSettings();
    // Each reader logs; a file that is there but unusable is also read once
    // to tell why, and every line names the reason.
    const QStringList logged = reason.isEmpty() ? QStringList(3, kNoDomain)
                                                : QStringList(4, kNoDomain + QStringLiteral(": ") + reason);
    QCOMPARE(log.lines(), logged);
    QCOMPARE(f.controller->unreadableReason().isEmpty(), reason.isEmpty());
    QCOMPARE(f.controller->message(), std::nullopt);
    QCOMPARE(f.controller->hostInfoTag(), 1);
    QCOMPARE(f.controller->background().path(), f.volume.hostPath(LoginWindow::kDefaultBackground));
    QVERIFY(!f.controller->background().isValid());
    QCOMPARE(f.flags(), Flags(7, false));

    // Every load asks again and logs again.
    log.clear();
    f.controller->loadCurrentSettings();
    QCOMPARE(log.lines(), logged);
}

void TestLumoraLogin::nonStringValuesAreMissingKeys()
{
    Fixture f;
    QVERIFY(f.writeDomain({
        {LoginWindow::kDesktopPictureKey, qulonglong(5)},
        {LoginWindow::kMessageKey, true},
        {LoginWindow::kHostInfoKey, QVariantList{QStringLiteral("Time")}},
    }));
    LogCapture log;
    f.controller->loadCurrentSettings();
    QCOMPARE(log.lines(), QStringList());
    QCOMPARE(f.controller->message(), std::nullopt);
    QCOMPARE(f.controller->hostInfoTag(), 1);
    QCOMPARE(f.controller->background().path(), f.volume.hostPath(LoginWindow::kTigerDefaultBackground));

    // A string is taken as it stands, without looking for the file.
    QVERIFY(f.writeDomain({{LoginWindow::kDesktopPictureKey, QStringLiteral("/Users/Shared/none.jpg")}}));
    QCOMPARE(f.controller->currentBackgroundPath(), QStringLiteral("/Users/Shared/none.jpg"));
    f.controller->loadCurrentSettings();
    QCOMPARE(f.controller->background().path(), f.volume.hostPath(QStringLiteral("/Users/Shared/none.jpg")));
    QVERIFY(!f.controller->background().isValid());
    QCOMPARE(log.lines(), QStringList());
}

void TestLumoraLogin::imageInAnotherFormatTakesItsPlace_data()
{
    QTest::addColumn<QString>("firstPlace");
    QTest::addColumn<QString>("secondPlace");
    QTest::addColumn<QStringList>("beside"); // name=kind: png, text, fifo
    QTest::addColumn<bool>("firstPlaceReadable");
    QTest::addColumn<QString>("expected");    // file name, or "second"
    QTest::addColumn<bool>("valid");
    const QString logo1 = LoginWindow::kLogoFirstPlace;
    const QString logo2 = LoginWindow::kLogoSecondPlace;
    const QString title1 = LoginWindow::kTitleFirstPlace;
    const QString title2 = LoginWindow::kTitleSecondPlace;
    QTest::newRow("logo as it is") << logo1 << logo2 << QStringList() << true << "applelogo.tif" << true;
    QTest::newRow("logo missing, png beside")
        << logo1 << logo2 << QStringList{"applelogo.png=png"} << false << "applelogo.png" << true;
    QTest::newRow("logo unreadable, png beside")
        << logo1 << logo2 << QStringList{"applelogo.tif=text", "applelogo.png=png"} << false
        << "applelogo.png" << true;
    QTest::newRow("logo missing, name without extension")
        << logo1 << logo2 << QStringList{"applelogo=png"} << false << "applelogo" << true;
    QTest::newRow("other case is another name")
        << logo1 << logo2 << QStringList{"AppleLogo.png=png"} << false << "second" << true;
    QTest::newRow("longer name is another name")
        << logo1 << logo2 << QStringList{"applelogo.old.png=png", "applelogo2.png=png"} << false
        << "second" << true;
    QTest::newRow("nothing readable, second place")
        << logo1 << logo2 << QStringList{"applelogo.txt=text"} << false << "second" << true;
    // Opening a FIFO waits for a writer; it must never be taken for a picture.
    QTest::newRow("fifo beside, second place")
        << logo1 << logo2 << QStringList{"applelogo.pipe=fifo"} << false << "second" << true;
    QTest::newRow("logo is a fifo, png beside")
        << logo1 << logo2 << QStringList{"applelogo.tif=fifo", "applelogo.png=png"} << false
        << "applelogo.png" << true;
    QTest::newRow("title missing, png beside")
        << title1 << title2 << QStringList{"MacOSX.png=png"} << false << "MacOSX.png" << true;
    QTest::newRow("title nowhere") << title1 << title2 << QStringList{"missing-second"} << false
                                   << "second" << false;
}

void TestLumoraLogin::imageInAnotherFormatTakesItsPlace()
{
    QFETCH(QString, firstPlace);
    QFETCH(QString, secondPlace);
    QFETCH(QStringList, beside);
    QFETCH(bool, firstPlaceReadable);
    QFETCH(QString, expected);
    QFETCH(bool, valid);
    Fixture f;
    const QString first = f.volume.hostPath(firstPlace);
    const QString folder = QFileInfo(first).path();
    if (!firstPlaceReadable)
        QVERIFY(QFile::remove(first));
    for (const QString &entry : beside) {
        if (entry == QLatin1String("missing-second")) {
            QVERIFY(QFile::remove(f.volume.hostPath(secondPlace)));
            continue;
        }
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        const QString kind = entry.section(QLatin1Char('='), 1);
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), 0600), 0);
            continue;
        }
        QVERIFY(Fixture::writeFile(folder + QLatin1Char('/') + name,
                                   kind == QLatin1String("png") ? pngBytes(Qt::red) : "not a picture"));
    }

    f.controller->loadCurrentSettings();
    const Image &image = firstPlace == LoginWindow::kLogoFirstPlace ? f.controller->logo()
                                                                     : f.controller->title();
    const QString path = expected == QLatin1String("second") ? f.volume.hostPath(secondPlace)
                                                              : folder + QLatin1Char('/') + expected;
    QCOMPARE(image.path(), path);
    QCOMPARE(image.isValid(), valid);
    QCOMPARE(f.flags(), Flags(7, false));
}

void TestLumoraLogin::loadImageAtPathWithoutOtherFormats()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(Fixture::writeFile(dir.filePath(QStringLiteral("logo.png")), pngBytes(Qt::blue)));
    const QString missing = dir.filePath(QStringLiteral("logo.tif"));

    const Image only = LumoraLogin::loadImageAtPath(missing, false);
    QCOMPARE(only.path(), missing);
    QVERIFY(!only.isValid());

    const Image other = LumoraLogin::loadImageAtPath(missing, true);
    QCOMPARE(other.path(), dir.filePath(QStringLiteral("logo.png")));
    QVERIFY(other.isValid());

    // A folder that cannot be listed gives no candidates.
    const QString nowhere = dir.filePath(QStringLiteral("no-such-folder/logo.tif"));
    const Image none = LumoraLogin::loadImageAtPath(nowhere, true);
    QCOMPARE(none.path(), nowhere);
    QVERIFY(!none.isValid());
}

void TestLumoraLogin::backgroundNamingAFifoIsNoPicture()
{
    Fixture f;
    const QString volumePath = QStringLiteral("/Users/Shared/pipe.jpg");
    const QString hostPath = f.volume.hostPath(volumePath);
    QVERIFY(QDir().mkpath(QFileInfo(hostPath).path()));
    QCOMPARE(::mkfifo(QFile::encodeName(hostPath).constData(), 0600), 0);
    QVERIFY(f.writeDomain({{LoginWindow::kDesktopPictureKey, volumePath}}));

    // Loading returns (were the FIFO opened, it would wait for a writer) and
    // the background is kept as named but, like a missing file, invalid.
    f.controller->loadCurrentSettings();
    QCOMPARE(f.controller->background().path(), hostPath);
    QVERIFY(!f.controller->background().isValid());
    QVERIFY(f.controller->background().thumbnail(QSize(64, 64)).isNull());
    QVERIFY(f.controller->logo().isValid());
    QCOMPARE(f.flags(), Flags(7, false));
}

void TestLumoraLogin::saveWithoutChangesOnlyReloads()
{
    Fixture f;
    LumoraLogin &c = *f.controller;
    c.awakeFromNib();
    // The system changed behind our back; the save must pick that up.
    QVERIFY(f.writeDomain({{LoginWindow::kMessageKey, QStringLiteral("changed elsewhere")},
                           {LoginWindow::kHostInfoKey, QStringLiteral("Time")}}));
    c.setDirty(true);
    const auto before = snapshot(f.volume.root());
    QVERIFY(before.size() > 5);

    LogCapture log;
    const SaveReport report = c.save();
    QCOMPARE(report.attempted, QStringList());
    QCOMPARE(report.failed, QStringList());
    QCOMPARE(snapshot(f.volume.root()), before);
    QCOMPARE(c.message(), std::optional<QString>(QStringLiteral("changed elsewhere")));
    QCOMPARE(c.hostInfoTag(), 0);
    QCOMPARE(f.flags(), Flags(7, false));
    QCOMPARE(f.clock.sleeps(), QList<qint64>());
    QVERIFY(f.alerts.shown().isEmpty());
    QCOMPARE(log.lines(), QStringList());
}

void TestLumoraLogin::pauseOnlyAfterHostInfoSave_data()
{
    QTest::addColumn<bool>("message");
    QTest::addColumn<bool>("hostInfo");
    QTest::addColumn<QList<qint64>>("sleeps");
    QTest::newRow("message only") << true << false << QList<qint64>();
    QTest::newRow("host info only") << false << true << QList<qint64>{500000};
    QTest::newRow("both") << true << true << QList<qint64>{500000};
}

void TestLumoraLogin::pauseOnlyAfterHostInfoSave()
{
    QFETCH(bool, message);
    QFETCH(bool, hostInfo);
    QFETCH(QList<qint64>, sleeps);
    Fixture f;
    LumoraLogin &c = *f.controller;
    c.awakeFromNib();
    if (message)
        f.view.type(QStringLiteral("Property of the lab"));
    if (hostInfo)
        c.setHostInfoTag(6);

    const SaveReport report = c.save();
    QCOMPARE(f.clock.sleeps(), sleeps);
    QCOMPARE(report.failed, QStringList());
    QCOMPARE(report.attempted.size(), int(message) + int(hostInfo));
    // The reload shows what reached the volume.
    QCOMPARE(c.hostInfoTag(), hostInfo ? 6 : 1);
    if (message)
        QCOMPARE(c.message(), std::optional<QString>(QStringLiteral("Property of the lab")));
    QCOMPARE(f.flags(), Flags(7, false));
}

QTEST_GUILESS_MAIN(TestLumoraLogin)
#include "tst_lumoralogin.moc"
