// Opening volumes in the window, offscreen: the chooser when nothing names
// a volume, the last volume used, switching with File ▸ Open Volume…, and a
// folder that is not a volume, which is shown but never edited.

#include "app/ImageWell.h"
#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "app/VolumeChooser.h"
#include "app/VolumeSession.h"
#include "controller/LumoraLogin.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeWorkspace.h"
#include "tests/fakes/FileBytes.h"
#include "tests/fakes/LogCapture.h"
#include "tests/fakes/ReadOnlyMount.h"
#include "tests/fakes/TestVolume.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUndoStack>

#include <memory>

#include <sys/stat.h>

namespace {

QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries.insert(path, it.fileInfo().isDir()
                                 ? QByteArray("dir")
                                 : QCryptographicHash::hash(readBytes(path), QCryptographicHash::Sha256));
    }
    return entries;
}

// Two volumes (10.4.11 and `otherRelease`), a plain folder, and the
// services main() gives the session, with the volumes offered as found.
struct Fixture {
    TestVolume tiger;
    TestVolume other;
    QTemporaryDir scratch;
    UserDefaults defaults;
    FakeAlertPanel alerts;
    FakeWorkspace workspace;
    FakeClock clock;
    Authorization authorization{std::make_unique<DirectAuthorizationService>(), &alerts};
    std::unique_ptr<VolumeSession> session;

    explicit Fixture(const QString &otherRelease = QStringLiteral("10.3.9"))
        : other(SampleVolume::Options{.release = otherRelease}),
          defaults(scratch.path() + QStringLiteral("/defaults.ini"))
    {
        // No network from a test: the launch check stays off.
        defaults.setBool(PreferenceKeys::kCheckForUpdates, false);
        QDir().mkpath(plainFolder());
        const QList<FoundVolume> found{*VolumeFinder::describe(other.root()), *VolumeFinder::describe(tiger.root())};
        session = std::make_unique<VolumeSession>(
            LumoraContext{
                .volume = Volume(),
                .bundle = tiger.bundle(),
                .defaults = &defaults,
                .alerts = &alerts,
                .workspace = &workspace,
                .clock = &clock,
                .authorization = &authorization,
            },
            [found] { return found; });
    }

    QString plainFolder() const { return scratch.path() + QStringLiteral("/plain"); }
    MainWindow *window() const { return session->window(); }
    template <typename T> T *find(const char *name) const
    {
        return window()->findChild<T *>(QString::fromLatin1(name));
    }
    QString openedRoot() const { return session->controller()->context().volume.root(); }
    // The window reads the volume once it is on the screen.
    [[nodiscard]] bool settingsRead() const
    {
        return QTest::qWaitFor([this] { return window() && !window()->settingsPending(); });
    }
    QString lastVolume() { return defaults.stringForKey(PreferenceKeys::kLastVolume); }
};

QString currentMessageOf(const TestVolume &volume)
{
    return LoginWindow::currentMessage(volume.volume()).value_or(QString());
}

// Counts the paints a widget gets.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

QTreeWidget *volumeList(VolumeChooser *chooser)
{
    return chooser->findChild<QTreeWidget *>(QStringLiteral("volumeList"));
}

} // namespace

class TestVolumeSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void startOptions_data();
    void startOptions();
    void noRootShowsTheChooserAndChoosingLoads();
    void lastVolumeOpensWhileItIsOne();
    void theWindowIsPaintedBeforeTheVolumeIsRead();
    void bigBackgroundLoadsAfterTheWindowShows_data();
    void bigBackgroundLoadsAfterTheWindowShows();
    void chooserRefusesAFolderThatIsNotAVolume();
    void cancellingTheFirstChooserQuits();
    void plainFolderIsShownButNeverEdited();
    void readOnlyMountOpensReadOnly();
    void unreadablePreferencesOpenReadOnly();
    void otherReleaseWarnsAndStillSaves();
    void openVolumeAsksAboutUnsavedChanges();
    void diskImagesInTheChooser();
};

void TestVolumeSession::startOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("root"); // null: none given
    QTest::addColumn<bool>("error");
    QTest::newRow("nothing") << QStringList{} << QString() << false;
    QTest::newRow("separate") << QStringList{"--root", "/mnt/mac"} << "/mnt/mac" << false;
    QTest::newRow("joined") << QStringList{"--root=/mnt/Macintosh HD"} << "/mnt/Macintosh HD" << false;
    QTest::newRow("among Qt's own") << QStringList{"-platform", "offscreen", "--root", "/v"} << "/v" << false;
    QTest::newRow("no value") << QStringList{"--root"} << QString() << true;
    QTest::newRow("empty value") << QStringList{"--root="} << QString() << true;
    QTest::newRow("twice") << QStringList{"--root", "/a", "--root=/b"} << QString() << true;
    // A disk image instead of a folder; never both.
    QTest::newRow("image") << QStringList{"--image", "/home/u/mac.img"} << "image:/home/u/mac.img" << false;
    QTest::newRow("image joined") << QStringList{"--image=/home/u/mac.qcow2"} << "image:/home/u/mac.qcow2" << false;
    QTest::newRow("image without a file") << QStringList{"--image"} << QString() << true;
    QTest::newRow("image twice") << QStringList{"--image=/a.img", "--image", "/b.img"} << QString() << true;
    QTest::newRow("image and root") << QStringList{"--root", "/v", "--image", "/a.img"} << QString() << true;
}

void TestVolumeSession::startOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, root);
    QFETCH(bool, error);
    const StartOptions options = parseStartOptions(arguments);
    QCOMPARE(!options.error.isEmpty(), error);
    if (error)
        return;
    if (root.startsWith(QLatin1String("image:"))) {
        QCOMPARE(options.image.value_or(QString()), root.mid(6));
        QVERIFY(!options.root);
    } else {
        QCOMPARE(options.root.value_or(QString()), root);
        QVERIFY(!options.image);
    }
}

void TestVolumeSession::noRootShowsTheChooserAndChoosingLoads()
{
    Fixture f;
    f.session->start(std::nullopt);
    VolumeChooser *chooser = f.session->chooser();
    QVERIFY(chooser);
    QVERIFY(chooser->isVisible());
    QVERIFY(!f.window());
    QTreeWidget *list = volumeList(chooser);
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("Mac OS X 10.3.9"));
    QCOMPARE(list->topLevelItem(1)->text(2), QFileInfo(f.tiger.root()).canonicalFilePath());
    QVERIFY(!chooser->findChild<QPushButton *>(QStringLiteral("sampleButton"))->isEnabled());

    list->setCurrentItem(list->topLevelItem(1));
    chooser->findChild<QPushButton *>(QStringLiteral("openButton"))->click();
    QVERIFY(f.window());
    QVERIFY(f.window()->isVisible());
    QCOMPARE(f.openedRoot(), QFileInfo(f.tiger.root()).canonicalFilePath());
    QVERIFY(f.settingsRead());
    QVERIFY(f.find<ImageWell>("logoWell")->showsPicture());
    QCOMPARE(f.find<QtMessageView>("messageView")->toPlainText(), QStringLiteral("Welcome to the Lumora sample volume."));
    QVERIFY(f.window()->windowTitle().contains(f.openedRoot()));
    QCOMPARE(f.find<QLabel>("releaseLabel")->text(), QStringLiteral("Mac OS X 10.4.11 on volume"));
    QVERIFY(f.find<QAction>("saveAction")->isEnabled());
    QVERIFY(!f.find<QLabel>("volumeNotice") || f.find<QLabel>("volumeNotice")->isHidden());
    QCOMPARE(f.lastVolume(), f.openedRoot());
}

// The window does not wait for the volume's files and pictures. An edit or
// command that comes before they are read reads them first, and nothing
// read later overwrites it.
void TestVolumeSession::theWindowIsPaintedBeforeTheVolumeIsRead()
{
    Fixture f;
    f.session->start(f.tiger.root());
    MainWindow *window = f.window();
    QVERIFY(window && window->isVisible());
    QVERIFY(window->settingsPending());
    QVERIFY(!f.find<ImageWell>("logoWell")->showsPicture());
    // Typing now would be lost to the volume's message.
    QVERIFY(f.find<QtMessageView>("messageView")->isReadOnly());
    PaintCounter painted(f.find<QPushButton>("saveButton"));
    int paintsBeforeReading = -1;
    connect(window, &MainWindow::settingsRead, window, [&] { paintsBeforeReading = painted.paints; });
    QVERIFY(f.settingsRead());
    QVERIFY(paintsBeforeReading > 0);
    QVERIFY(f.find<ImageWell>("logoWell")->showsPicture());
    QCOMPARE(f.find<QtMessageView>("messageView")->toPlainText(), currentMessageOf(f.tiger));
    QVERIFY(!f.find<QtMessageView>("messageView")->isReadOnly());
    QVERIFY(f.find<QAction>("saveAction")->isEnabled());

    // Restore Default Look at once: the stock look stays, undoably, once
    // the window is on the screen.
    Fixture g;
    g.session->start(g.tiger.root());
    g.window()->restoreDefaultLook();
    QVERIFY(!g.window()->settingsPending());
    QVERIFY(QTest::qWaitForWindowExposed(g.window()));
    QCoreApplication::processEvents();
    QVERIFY(g.session->controller()->dirty());
    QVERIFY(g.session->controller()->message() != LoginWindow::currentMessage(g.tiger.volume()));
    QCOMPARE(g.window()->undoStack()->count(), 1);
    g.window()->undoStack()->undo();
    QCOMPARE(g.session->controller()->message(), LoginWindow::currentMessage(g.tiger.volume()));
}

void TestVolumeSession::bigBackgroundLoadsAfterTheWindowShows_data()
{
    QTest::addColumn<bool>("decodes");
    QTest::newRow("a picture") << true;
    QTest::newRow("only a picture's header") << false;
}

void TestVolumeSession::bigBackgroundLoadsAfterTheWindowShows()
{
    QFETCH(bool, decodes);
    Fixture f;
    // Bigger than a well keeps, so its display is decoded off the GUI thread.
    QImage big(3000, 2000, QImage::Format_RGB32);
    big.fill(QColor(30, 90, 160));
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && big.save(&buffer, "png"));
    }
    if (!decodes)
        bytes = bytes.left(64) + QByteArray(8192, '\x5a');
    for (const QString &place : {LoginWindow::kDefaultBackground, LoginWindow::kTigerDefaultBackground})
        QVERIFY(writeBytes(f.tiger.hostPath(place), bytes));

    f.session->start(f.tiger.root());
    QVERIFY(f.window());
    // As once the window is on the screen.
    f.window()->readPendingSettings();
    auto *well = f.find<ImageWell>("backgroundWell");
    QVERIFY(well->isLoading());
    QVERIFY(!well->showsPicture());
    QVERIFY2(well->accessibleDescription().contains(QStringLiteral("loading")), qPrintable(well->accessibleDescription()));
    QVERIFY(f.find<ImageWell>("logoWell")->showsPicture());

    QTRY_VERIFY_WITH_TIMEOUT(!well->isLoading(), 20000);
    QCOMPARE(well->showsPicture(), decodes);
    if (decodes)
        QCOMPARE(well->previewSize().width(), ImageWell::kPreviewEdge);
    else
        QVERIFY(well->accessibleDescription().contains(QStringLiteral("cannot be read")));
    // What Save and the comparisons go by is still the full decode.
    const Image background = f.session->controller()->background();
    QCOMPARE(background.path(), f.tiger.hostPath(LoginWindow::kTigerDefaultBackground));
    QCOMPARE(background.isValid(), decodes);
}

void TestVolumeSession::lastVolumeOpensWhileItIsOne()
{
    Fixture f;
    f.defaults.setObject(PreferenceKeys::kLastVolume, f.other.root());
    f.session->start(std::nullopt);
    QVERIFY(!f.session->chooser());
    QVERIFY(f.window());
    QCOMPARE(f.openedRoot(), f.other.root());

    // No longer a volume (its disk was replaced): the chooser says why.
    Fixture g;
    QVERIFY(QFile::remove(g.other.hostPath(LoginWindow::kVersionFile)));
    g.defaults.setObject(PreferenceKeys::kLastVolume, g.other.root());
    g.session->start(std::nullopt);
    QVERIFY(!g.window());
    QVERIFY(g.session->chooser());
    const auto *refusal = g.session->chooser()->findChild<QLabel *>(QStringLiteral("refusalLabel"));
    QVERIFY(refusal->isVisibleTo(g.session->chooser()));
    QVERIFY2(refusal->text().contains(g.other.root()), qPrintable(refusal->text()));

    // The option (or the variable) wins over the last volume.
    Fixture h;
    h.defaults.setObject(PreferenceKeys::kLastVolume, h.other.root());
    h.session->start(h.tiger.root());
    QCOMPARE(h.openedRoot(), h.tiger.root());
}

void TestVolumeSession::chooserRefusesAFolderThatIsNotAVolume()
{
    Fixture f;
    f.session->start(std::nullopt);
    VolumeChooser *chooser = f.session->chooser();
    QVERIFY(chooser);
    QString picked = f.plainFolder();
    chooser->setFolderPicker([&picked] { return picked; });
    auto *choose = chooser->findChild<QPushButton *>(QStringLiteral("chooseFolderButton"));

    choose->click();
    const auto *refusal = chooser->findChild<QLabel *>(QStringLiteral("refusalLabel"));
    QVERIFY(chooser->isVisible());
    QVERIFY(refusal->isVisible());
    QVERIFY2(refusal->text().contains(f.plainFolder() + QStringLiteral(" is not a Mac OS X system volume")),
             qPrintable(refusal->text()));
    QVERIFY(!f.window());
    QVERIFY(f.lastVolume().isEmpty());

    picked = f.other.root();
    choose->click();
    QVERIFY(f.window());
    QCOMPARE(f.openedRoot(), f.other.root());
}

void TestVolumeSession::cancellingTheFirstChooserQuits()
{
    Fixture f;
    QSignalSpy quit(f.session.get(), &VolumeSession::quitRequested);
    f.session->start(std::nullopt);
    QVERIFY(f.session->chooser());
    f.session->chooser()->reject();
    QCOMPARE(quit.count(), 1);
    QVERIFY(!f.window());
}

void TestVolumeSession::plainFolderIsShownButNeverEdited()
{
    Fixture f;
    // Like a Linux root: the folder a save writes preferences into is
    // there, the system version file is not.
    QVERIFY(QDir().mkpath(f.plainFolder() + QStringLiteral("/Library/Preferences")));
    QVERIFY(QDir().mkpath(f.plainFolder() + QStringLiteral("/etc")));
    QVERIFY(writeBytes(f.plainFolder() + QStringLiteral("/etc/hostname"), "host\n"));
    const auto before = snapshot(f.plainFolder());

    f.session->start(f.plainFolder());
    QVERIFY(f.window());
    QVERIFY(f.window()->editingRefused());
    auto *saveButton = f.find<QPushButton>("saveButton");
    QVERIFY(!saveButton->isEnabled());
    QVERIFY(!f.find<QPushButton>("restoreButton")->isEnabled());
    QVERIFY(!f.find<QAction>("saveAction")->isEnabled());
    QVERIFY(!f.find<QAction>("restoreAction")->isEnabled());
    QVERIFY(saveButton->toolTip().contains(QStringLiteral("is not a Mac OS X system volume")));
    const auto *notice = f.find<QLabel>("volumeNotice");
    QVERIFY(notice && notice->isVisible());
    QVERIFY2(notice->text().contains(f.plainFolder()), qPrintable(notice->text()));
    QVERIFY(f.find<QLabel>("releaseLabel")->text().startsWith(QStringLiteral("Not a Mac OS X system volume")));

    // Even reached directly, and with a change pending, nothing is written.
    LumoraLogin *controller = f.session->controller();
    controller->setMessage(QStringLiteral("Authorised use only"));
    controller->setMessageDirty(true);
    controller->setHostInfoTagDirty(true);
    controller->setDirty(true);
    f.window()->save();
    f.window()->restoreDefaultLook();
    QTest::keyClick(f.window(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(snapshot(f.plainFolder()), before);
    QVERIFY(f.lastVolume().isEmpty());
}

// The user must not find out only after editing and saving; and with
// Save disabled, no password is asked for what cannot be written anyway.
void TestVolumeSession::readOnlyMountOpensReadOnly()
{
    Fixture f;
    ReadOnlyMount mount(f.tiger.root());
    if (!mount.isMounted())
        QSKIP(qPrintable(mount.why()));
    const auto before = snapshot(f.tiger.root());
    LogCapture log;

    f.session->start(mount.path());
    QVERIFY(f.window()->editingRefused());
    QVERIFY(f.settingsRead());
    const auto *notice = f.find<QLabel>("volumeNotice");
    QVERIFY(notice && notice->isVisible());
    QVERIFY2(notice->text().contains(QStringLiteral("mounted read-only")), qPrintable(notice->text()));
    for (const char *name : {"saveButton", "restoreButton"})
        QVERIFY2(!f.find<QPushButton>(name)->isEnabled(), name);
    for (const char *name : {"saveAction", "restoreAction"})
        QVERIFY2(!f.find<QAction>(name)->isEnabled(), name);
    for (const char *name : {"logoWell", "titleWell", "backgroundWell", "hostInfoChooser"}) {
        const auto *control = f.find<QWidget>(name);
        QVERIFY2(control && !control->isEnabled(), name);
    }
    const QList<QAbstractButton *> options = f.find<QWidget>("loginOptions")->findChildren<QAbstractButton *>();
    QVERIFY(!options.isEmpty());
    for (const QAbstractButton *option : options)
        QVERIFY2(!option->isEnabled(), qPrintable(option->objectName()));
    QVERIFY(f.find<QtMessageView>("messageView")->isReadOnly());
    // What it shows is the volume's look all the same.
    QCOMPARE(f.session->controller()->message().value_or(QString()), currentMessageOf(f.tiger));

    QTest::keyClick(f.window(), Qt::Key_S, Qt::ControlModifier);
    f.window()->save();
    QVERIFY(!f.window()->isSaving());
    QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join(QLatin1Char('\n'))));
    QCOMPARE(snapshot(f.tiger.root()), before);
}

void TestVolumeSession::unreadablePreferencesOpenReadOnly()
{
    // The window showed the stock look as the volume's, and Save would have
    // written it over whatever the file held.
    Fixture f;
    const QString domain = f.tiger.domainFile();
    QVERIFY(QFile::remove(domain));
    QVERIFY(::mkfifo(QFile::encodeName(domain).constData(), 0644) == 0);

    f.session->start(f.tiger.root());
    QVERIFY(f.window());
    // Saving before the window has read the volume reads it first, and is
    // refused.
    f.window()->save();
    QVERIFY(!f.window()->isSaving());
    QVERIFY(!f.window()->settingsPending());
    QVERIFY(f.window()->editingRefused());
    QVERIFY(!f.find<QPushButton>("saveButton")->isEnabled());
    QVERIFY(!f.find<QAction>("restoreAction")->isEnabled());
    const auto *notice = f.find<QLabel>("volumeNotice");
    QVERIFY(notice && notice->isVisible());
    QVERIFY2(notice->text().contains(QStringLiteral("cannot be read: it is not a regular file")), qPrintable(notice->text()));

    // A missing file is a volume that has none yet: it opens for editing.
    QVERIFY(QFile::remove(domain));
    f.session->openFolder(f.tiger.root());
    QVERIFY(f.settingsRead());
    QVERIFY(!f.window()->editingRefused());
}

void TestVolumeSession::otherReleaseWarnsAndStillSaves()
{
    Fixture f(QStringLiteral("10.5.8"));
    f.session->start(f.other.root());
    QVERIFY(f.settingsRead());
    const auto *notice = f.find<QLabel>("volumeNotice");
    QVERIFY(notice && notice->isVisible());
    QVERIFY2(notice->text().contains(QStringLiteral("Mac OS X 10.5.8")), qPrintable(notice->text()));
    QVERIFY2(notice->text().contains(QStringLiteral("made for Mac OS X 10.3 and 10.4")), qPrintable(notice->text()));
    QVERIFY(!f.window()->editingRefused());
    QVERIFY(f.find<QPushButton>("saveButton")->isEnabled());

    f.session->controller()->setMessage(QStringLiteral("Saved on 10.5"));
    f.session->controller()->setMessageDirty(true);
    // The save runs off the GUI thread; the window says when it is done.
    QSignalSpy done(f.window(), &MainWindow::saveDone);
    f.window()->save();
    QVERIFY(done.wait(30000));
    QCOMPARE(currentMessageOf(f.other), QStringLiteral("Saved on 10.5"));
}

void TestVolumeSession::openVolumeAsksAboutUnsavedChanges()
{
    Fixture f;
    f.session->start(f.tiger.root());
    QVERIFY(f.settingsRead());
    QPointer<MainWindow> first = f.window();
    auto *open = f.find<QAction>("openVolumeAction");
    QVERIFY(open);
    QCOMPARE(open->shortcut(), QKeySequence(QKeySequence::Open));

    f.session->controller()->setMessage(QStringLiteral("not saved"));
    f.session->controller()->setDirty(true);
    f.alerts.scriptAnswers({AlertPanel::AlternateReturn});
    open->trigger();
    QCOMPARE(f.alerts.shown().size(), 1);
    QVERIFY(f.alerts.shown().first().title.contains(QStringLiteral("open another volume")));
    QVERIFY(!f.session->chooser());
    QCOMPARE(f.window(), first.data());

    f.alerts.scriptAnswers({AlertPanel::DefaultReturn});
    open->trigger();
    QCOMPARE(f.alerts.shown().size(), 2);
    VolumeChooser *chooser = f.session->chooser();
    QVERIFY(chooser);
    QTreeWidget *list = volumeList(chooser);
    list->setCurrentItem(list->topLevelItem(0));
    chooser->findChild<QPushButton *>(QStringLiteral("openButton"))->click();

    QCOMPARE(f.openedRoot(), QFileInfo(f.other.root()).canonicalFilePath());
    QVERIFY(f.window() != first.data());
    QVERIFY(f.window()->isVisible());
    QVERIFY(f.settingsRead());
    QVERIFY(!f.session->controller()->dirty());
    // The old window goes without another question, once control is back.
    QTRY_VERIFY(first.isNull());
    QCOMPARE(f.alerts.shown().size(), 2);
    // Nothing of the unsaved change reached the first volume.
    QCOMPARE(currentMessageOf(f.tiger), QStringLiteral("Welcome to the Lumora sample volume."));
}

// The chooser lists the images opened lately beside the volumes; an image
// that cannot be opened brings the chooser back with the reason, and no
// window, no last volume and no recent entry come of it.
void TestVolumeSession::diskImagesInTheChooser()
{
    Fixture f;
    const QString recent = f.scratch.path() + QStringLiteral("/lab mac.img");
    QVERIFY(writeBytes(recent, QByteArray(4096, '\0')));
    f.defaults.setObject(PreferenceKeys::kRecentImages,
                         QStringList{recent, f.scratch.path() + QStringLiteral("/gone.img")});

    f.session->start(std::nullopt, f.scratch.path() + QStringLiteral("/missing.qcow2"));
    QTRY_VERIFY(f.session->chooser() && f.session->chooser()->isVisible());
    QVERIFY(!f.window());
    const auto *refusal = f.session->chooser()->findChild<QLabel *>(QStringLiteral("refusalLabel"));
    QVERIFY2(refusal->text().contains(QLatin1String("missing.qcow2")), qPrintable(refusal->text()));
    QVERIFY2(refusal->text().contains(QLatin1String("could not be opened")), qPrintable(refusal->text()));
    QVERIFY(f.defaults.stringForKey(PreferenceKeys::kLastImage).isEmpty());

    // The two volumes, then the image still there; the one gone is left out.
    QTreeWidget *list = volumeList(f.session->chooser());
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("lab mac.img"));
    QCOMPARE(list->topLevelItem(2)->text(1), QStringLiteral("Disk image"));

    // Choosing a file that is not there stays in the chooser and says so.
    f.session->chooser()->setImagePicker([&f] { return f.scratch.path() + QStringLiteral("/typo.img"); });
    f.session->chooser()->findChild<QPushButton *>(QStringLiteral("chooseImageButton"))->click();
    QVERIFY(f.session->chooser()->isVisible());
    QVERIFY2(refusal->text().contains(QLatin1String("typo.img")), qPrintable(refusal->text()));
    QVERIFY(!f.window());
}

QTEST_MAIN(TestVolumeSession)
#include "tst_volumesession.moc"
