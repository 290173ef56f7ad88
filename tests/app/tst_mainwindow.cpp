// The window over the real controller, on a temporary sample volume:
// what the user drops, types, chooses and answers reaches the controller,
// and every control follows the controller.

#include "app/ImageWell.h"
#include "controller/LumoraLogin.h"
#include "controller/SettingModel.h"
#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/PropertyList.h"
#include "platform/SudoAuthorizationService.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeSudo.h"
#include "tests/fakes/FakeWorkspace.h"
#include "tests/fakes/LogCapture.h"
#include "tests/fakes/ScriptedPasswordPrompt.h"
#include "tests/fakes/TestVolume.h"

#include "app/SaveStatus.h"
#include "app/UndoCommands.h"
#include "tests/fakes/VersionListServer.h"

#include <QAccessible>
#include <QAction>
#include <QDialog>
#include <QPlainTextEdit>
#include <QUndoStack>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

#include <sys/stat.h>

using Answers = QList<std::optional<QByteArray>>;
Q_DECLARE_METATYPE(Answers)

namespace {

// Everything a window needs, wired as main() wires it, with the panels,
// the browser and the clock scripted.
struct Fixture {
    TestVolume volume;
    UserDefaults defaults;
    FakeAlertPanel alerts;
    FakeWorkspace workspace;
    FakeClock clock;
    Authorization authorization;
    std::unique_ptr<LumoraLogin> controller;
    std::unique_ptr<MainWindow> window;

    explicit Fixture(std::unique_ptr<AuthorizationService> service = std::make_unique<DirectAuthorizationService>())
        : defaults(volume.scratch() + QStringLiteral("/defaults.ini")), authorization(std::move(service), &alerts)
    {
        // No network from a test: the launch check stays off.
        defaults.setBool(PreferenceKeys::kCheckForUpdates, false);
        controller = std::make_unique<LumoraLogin>(LumoraContext{
            .volume = volume.volume(),
            .bundle = volume.bundle(),
            .defaults = &defaults,
            .alerts = &alerts,
            .workspace = &workspace,
            .clock = &clock,
            .authorization = &authorization,
        });
        window = std::make_unique<MainWindow>(*controller);
        window->show();
        controller->attachFrontEnd(window->messageView(), LumoraLogin::LaunchCheck::Start);
    }

    template <typename T> T *find(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    ImageWell *well(const char *name) const { return find<ImageWell>(name); }
    QtMessageView *messageView() const { return find<QtMessageView>("messageView"); }
    QComboBox *chooser() const { return find<QComboBox>("hostInfoChooser"); }
    QString status() const { return window->statusText(); }
    // Save from the window and wait for the worker to end.
    bool saveAndWait(const std::function<void()> &click) const
    {
        QSignalSpy done(window.get(), &MainWindow::saveDone);
        click();
        return done.size() == 1 || done.wait(20000);
    }

    bool anyFlagSet() const
    {
        return controller->dirty() || controller->logoDirty() || controller->titleDirty()
               || controller->backgroundDirty() || controller->messageDirty()
               || controller->hostInfoTagDirty() || controller->shouldRevertBackground();
    }

    QString picture(const QString &name, const QSize &size, const char *format = "png") const
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(200, 40, 90));
        const QString path = volume.scratch() + QLatin1Char('/') + name;
        image.save(path, format);
        return path;
    }
};

// A drop as the window system delivers it: enter, then drop, with a file URL.
bool dropFile(QWidget *target, const QString &path)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint where = target->rect().center();
    QDragEnterEvent enter(where, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(where), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// What a screen reader announces a control by: its name, or for a chooser
// (whose name is its current item on Linux) the label it is labelled by.
QString spokenName(QAccessibleInterface *iface)
{
    if (iface->role() == QAccessible::ComboBox || iface->role() == QAccessible::SpinBox) {
        const auto labels = iface->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
    return iface->text(QAccessible::Name);
}

void writeDomain(const TestVolume &volume, const QVariantMap &domain)
{
    QFile file(volume.domainFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(PropertyList::serialize(QVariant(domain), PropertyList::Format::Binary));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void showsTheVolumeAsLoaded();
    void dropOnLogoWellSetsOnlyTheLogo();
    void dropRefusesWhatDoesNotDecode_data();
    void dropRefusesWhatDoesNotDecode();
    void largePictureIsShownFromABoundedDecode();
    void typingMarksTheMessageOnly();
    void messageViewCountsOnlyUserEdits();
    void hostChooserSetsTheTag_data();
    void hostChooserSetsTheTag();
    void reloadUpdatesEveryControl();
    void restoreShowsTheStockLook();
    void helpOpensTheSupportPage();
    void quitQuestion_data();
    void quitQuestion();
    void cancelledCloseThenQuitAsksOnceEach();
    void saveShowsBusyStateAndTellsWhatHappened();
    void saveStatusLine_data();
    void saveStatusLine();
    void failureLastsWithItsDetails();
    void declinedPasswordEndsTheAsking_data();
    void declinedPasswordEndsTheAsking();
    void undoRedoRestoreValueAndFlags_data();
    void undoRedoRestoreValueAndFlags();
    void undoCoversTypingThroughTheShortcut();
    void undoWhereverTheFocusIs_data();
    void undoWhereverTheFocusIs();
    void firstChooserOpensInAFolder();
    void loginOptionControlsEditTheDocument();
    void revertToSavedAsksFirst_data();
    void revertToSavedAsksFirst();
    void updateCheckPanelCancels();
    void redoFromTheKeyboard_data();
    void redoFromTheKeyboard();
    void noKeyBelongsToTwoShortcuts();
    void refusedFolderCannotBeEdited();
    void accessibleControls();
    void wellPressActionOpensTheChooser();
};

// A box of the Login Options group marks its own setting only, Undo takes
// it back, and a reload shows what the volume holds without making an edit.
void TestMainWindow::loginOptionControlsEditTheDocument()
{
    Fixture f;
    auto *fields = f.find<QCheckBox>("nameAndPasswordOption");
    auto *buttons = f.find<QCheckBox>("powerButtonsOption");
    QVERIFY(fields && buttons);
    // Nothing set on the sample volume: a list of users, and the buttons.
    QVERIFY(!fields->isChecked());
    QVERIFY(buttons->isChecked());

    buttons->click();
    QCOMPARE(std::get<OptionValue>(f.controller->document().value(Setting::PowerButtons)), OptionValue(0));
    QVERIFY(f.controller->document().changed(Setting::PowerButtons) && f.controller->dirty());
    QVERIFY(!f.controller->document().changed(Setting::NameAndPassword) && !f.controller->hostInfoTagDirty());

    f.window->undoStack()->undo();
    QCOMPARE(std::get<OptionValue>(f.controller->document().value(Setting::PowerButtons)), OptionValue());
    QVERIFY(buttons->isChecked());
    QVERIFY(!f.controller->dirty());

    f.controller->document().setValue(Setting::NameAndPassword, OptionValue(1));
    QVERIFY(fields->isChecked());
    QCOMPARE(f.window->undoStack()->count(), 1);
}

void TestMainWindow::showsTheVolumeAsLoaded()
{
    Fixture f;
    QVERIFY(f.volume.isValid());
    QVERIFY(f.well("logoWell")->showsPicture());
    QVERIFY(f.well("titleWell")->showsPicture());
    QVERIFY(f.well("backgroundWell")->showsPicture());
    QCOMPARE(f.messageView()->toPlainText(), QStringLiteral("Welcome to the Lumora sample volume."));
    QCOMPARE(f.chooser()->currentData().toInt(), 1);
    // Loading put text into the view; that is no edit.
    QVERIFY(!f.anyFlagSet());
    QVERIFY(!f.window->isWindowModified());
    QVERIFY(f.window->windowTitle().contains(f.volume.volume().displayName()));
    QVERIFY(f.messageView()->font().bold());
    QCOMPARE(f.messageView()->font().pointSizeF(), 11.0);
    QCOMPARE(f.messageView()->document()->defaultTextOption().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignHCenter);
}

void TestMainWindow::dropOnLogoWellSetsOnlyTheLogo()
{
    Fixture f;
    const QString path = f.picture(QStringLiteral("new-logo.png"), QSize(40, 30));
    QVERIFY(dropFile(f.well("logoWell"), path));

    QCOMPARE(f.controller->logo().path(), path);
    QVERIFY(f.controller->logoDirty());
    QVERIFY(f.controller->dirty());
    QVERIFY(!f.controller->titleDirty());
    QVERIFY(!f.controller->backgroundDirty());
    QVERIFY(!f.controller->messageDirty());
    QVERIFY(!f.controller->hostInfoTagDirty());
    QCOMPARE(f.well("logoWell")->previewSize(), QSize(40, 30));
    QVERIFY(f.window->isWindowModified());
}

void TestMainWindow::dropRefusesWhatDoesNotDecode_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("text file named .png") << "text";
    QTest::newRow("truncated png") << "truncated";
    // Qt's reader fills in the missing part of a cut JPEG in grey.
    QTest::newRow("truncated jpeg") << "truncated jpeg";
    QTest::newRow("folder") << "folder";
    QTest::newRow("missing file") << "missing";
    QTest::newRow("fifo") << "fifo";
}

void TestMainWindow::dropRefusesWhatDoesNotDecode()
{
    QFETCH(QString, kind);
    Fixture f;
    const QString scratch = f.volume.scratch();
    QString path = scratch + QStringLiteral("/bad.png");
    if (kind == QLatin1String("text")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture at all\n");
    } else if (kind.startsWith(QLatin1String("truncated"))) {
        // A JPEG is cut in its pixel data, past the header's tables.
        const bool jpeg = kind.endsWith(QLatin1String("jpeg"));
        QByteArray bytes;
        if (jpeg) {
            path = scratch + QStringLiteral("/bad.jpg");
            QImage noisy(300, 200, QImage::Format_RGB32);
            for (int y = 0; y < noisy.height(); ++y) {
                for (int x = 0; x < noisy.width(); ++x)
                    noisy.setPixel(x, y, qRgb((x * 7) % 256, (y * 13) % 256, (x * y) % 256));
            }
            QBuffer buffer(&bytes);
            QVERIFY(buffer.open(QIODevice::WriteOnly) && noisy.save(&buffer, "jpeg"));
            bytes.chop(bytes.size() / 3);
        } else {
            QFile in(f.picture(QStringLiteral("good.png"), QSize(300, 200)));
            QVERIFY(in.open(QIODevice::ReadOnly));
            bytes = in.readAll().left(in.size() / 3);
        }
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    } else if (kind == QLatin1String("folder")) {
        path = scratch + QStringLiteral("/folder.png");
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("fifo")) {
        // Reading a FIFO with no writer would hang the window.
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    const Image before = f.controller->logo();

    QVERIFY(!dropFile(f.well("logoWell"), path));
    QVERIFY(f.controller->logo().isSameAs(before));
    QVERIFY(!f.anyFlagSet());
    QVERIFY(f.well("logoWell")->showsPicture());

    // The chooser path refuses the same files and says so.
    f.well("logoWell")->setChooser([path](QWidget *) { return path; });
    f.well("logoWell")->choose();
    QVERIFY(f.controller->logo().isSameAs(before));
    QVERIFY(!f.anyFlagSet());
    QVERIFY2(f.status().contains(QFileInfo(path).fileName()), qPrintable(f.status()));
}

void TestMainWindow::largePictureIsShownFromABoundedDecode()
{
    Fixture f;
    const QString path = f.picture(QStringLiteral("wide.jpg"), QSize(4000, 2500), "jpeg");
    f.well("backgroundWell")->setChooser([path](QWidget *) { return path; });
    QTest::mouseClick(f.well("backgroundWell"), Qt::LeftButton);

    QCOMPARE(f.controller->background().path(), path);
    QVERIFY(f.controller->backgroundDirty());
    const QSize shown = f.well("backgroundWell")->previewSize();
    QVERIFY2(shown.width() <= ImageWell::kPreviewEdge && shown.height() <= ImageWell::kPreviewEdge,
             qPrintable(QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height())));
    QVERIFY(shown.width() > 0);
}

void TestMainWindow::typingMarksTheMessageOnly()
{
    Fixture f;
    QtMessageView *view = f.messageView();
    view->setFocus();
    view->moveCursor(QTextCursor::End);
    QTest::keyClicks(view, QStringLiteral(" Hi"));

    QVERIFY(f.controller->messageDirty());
    QVERIFY(f.controller->dirty());
    QVERIFY(f.window->isWindowModified());
    QVERIFY(!f.controller->logoDirty());
    // The document takes what was typed: it is what Save writes.
    QCOMPARE(f.controller->message(), QStringLiteral("Welcome to the Lumora sample volume. Hi"));
    QCOMPARE(view->string(), QStringLiteral("Welcome to the Lumora sample volume. Hi"));
}

void TestMainWindow::messageViewCountsOnlyUserEdits()
{
    QtMessageView view;
    int edits = 0;
    view.observeEdits([&edits] { ++edits; });
    view.setString(QStringLiteral("put in by a reload"));
    view.setString(QString());
    QCOMPARE(edits, 0);
    QTest::keyClicks(&view, QStringLiteral("ab"));
    QCOMPARE(edits, 2);
    QCOMPARE(view.string(), QStringLiteral("ab"));
    view.observeEdits({});
    QTest::keyClicks(&view, QStringLiteral("c"));
    QCOMPARE(edits, 2);
}

void TestMainWindow::hostChooserSetsTheTag_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("stored");
    QTest::newRow("time") << "Time" << "Time";
    QTest::newRow("host name") << "Host name" << "HostName";
    QTest::newRow("ip address") << "IP address" << "IPAddress";
    QTest::newRow("directory status") << "Directory status" << "DSStatus";
    QTest::newRow("serial number") << "Serial number" << "SerialNumber";
    QTest::newRow("system build") << "System build" << "SystemBuild";
    QTest::newRow("system version") << "System version" << "SystemVersion";
}

void TestMainWindow::hostChooserSetsTheTag()
{
    QFETCH(QString, label);
    QFETCH(QString, stored);
    Fixture f;
    QComboBox *chooser = f.chooser();
    QCOMPARE(chooser->count(), 7);
    const int target = chooser->findText(label);
    QVERIFY(target >= 0);

    // Walk there with the keyboard, as a user would on a closed chooser.
    chooser->setFocus();
    QTest::keyClick(chooser, Qt::Key_Home);
    for (int i = 0; i < target; ++i)
        QTest::keyClick(chooser, Qt::Key_Down);
    QCOMPARE(chooser->currentIndex(), target);

    QCOMPARE(LumoraLogin::hostInfoValueForTag(f.controller->hostInfoTag()), stored);
    QVERIFY(f.controller->hostInfoTagDirty());
    QVERIFY(f.controller->dirty());
}

void TestMainWindow::reloadUpdatesEveryControl()
{
    Fixture f;
    // Someone else changed the volume while the window was open.
    const QString other = f.picture(QStringLiteral("other.jpg"), QSize(320, 200), "jpeg");
    QVERIFY(QFile::copy(other, f.volume.hostPath(QStringLiteral("/Library/Other.jpg"))));
    writeDomain(f.volume, {
        {LoginWindow::kMessageKey, QStringLiteral("Changed elsewhere")},
        {LoginWindow::kHostInfoKey, QStringLiteral("IPAddress")},
        {LoginWindow::kDesktopPictureKey, QStringLiteral("/Library/Other.jpg")},
    });
    QFile::remove(f.volume.hostPath(LoginWindow::kLogoFirstPlace));
    QFile::remove(f.volume.hostPath(LoginWindow::kLogoSecondPlace));
    // And the user had started editing.
    QTest::keyClicks(f.messageView(), QStringLiteral("typed"));
    f.controller->setTitle(Image());
    QVERIFY(!f.well("titleWell")->showsPicture());

    f.controller->loadCurrentSettings();

    QCOMPARE(f.messageView()->toPlainText(), QStringLiteral("Changed elsewhere"));
    QCOMPARE(f.chooser()->currentData().toInt(), 2);
    QCOMPARE(f.well("backgroundWell")->image().path(), f.volume.hostPath(QStringLiteral("/Library/Other.jpg")));
    QCOMPARE(f.well("backgroundWell")->previewSize(), QSize(320, 200));
    QVERIFY(!f.well("logoWell")->showsPicture());
    QVERIFY(f.well("titleWell")->showsPicture());
    QVERIFY(!f.anyFlagSet());
    QVERIFY(!f.window->isWindowModified());

    // A tag outside the table is saved as the host name; the chooser says so.
    f.controller->setHostInfoTag(9);
    QCOMPARE(f.chooser()->currentData().toInt(), 1);
}

void TestMainWindow::restoreShowsTheStockLook()
{
    Fixture f;
    f.find<QPushButton>("restoreButton")->click();

    // The volume's images were never replaced, so they are its stock look.
    QCOMPARE(f.well("logoWell")->image().path(), f.volume.hostPath(LoginWindow::kLogoFirstPlace));
    QCOMPARE(f.well("titleWell")->image().path(), f.volume.hostPath(LoginWindow::kTitleFirstPlace));
    QCOMPARE(f.well("backgroundWell")->image().path(), f.volume.hostPath(LoginWindow::kTigerDefaultBackground));
    QVERIFY(f.well("backgroundWell")->showsPicture());
    QCOMPARE(f.messageView()->toPlainText(), QString());
    QCOMPARE(f.chooser()->currentData().toInt(), 1);
    QVERIFY(f.controller->logoDirty() && f.controller->titleDirty() && f.controller->backgroundDirty()
            && f.controller->messageDirty() && f.controller->hostInfoTagDirty());
    QVERIFY(f.controller->shouldRevertBackground());
    QVERIFY(f.window->isWindowModified());
}

void TestMainWindow::helpOpensTheSupportPage()
{
    Fixture f;
    f.find<QPushButton>("helpButton")->click();
    f.find<QAction>("helpAction")->trigger();
    QCOMPARE(f.workspace.opened().size(), 2);
    QVERIFY(f.workspace.opened().first().path().endsWith(QStringLiteral("/support.htm")));
    QVERIFY(!f.anyFlagSet());
}

void TestMainWindow::quitQuestion_data()
{
    QTest::addColumn<bool>("byQuitCommand");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("panels");
    QTest::addColumn<bool>("ends");
    const int quit = AlertPanel::DefaultReturn;
    const int cancel = AlertPanel::AlternateReturn;
    QTest::newRow("close, clean") << false << false << quit << 0 << true;
    QTest::newRow("close, edited, Quit") << false << true << quit << 1 << true;
    QTest::newRow("close, edited, Cancel") << false << true << cancel << 1 << false;
    QTest::newRow("quit, clean") << true << false << quit << 0 << true;
    QTest::newRow("quit, edited, Quit") << true << true << quit << 1 << true;
    QTest::newRow("quit, edited, Cancel") << true << true << cancel << 1 << false;
}

void TestMainWindow::quitQuestion()
{
    QFETCH(bool, byQuitCommand);
    QFETCH(bool, edited);
    QFETCH(int, answer);
    QFETCH(int, panels);
    QFETCH(bool, ends);
    Fixture f;
    QSignalSpy quitSpy(f.window.get(), &MainWindow::quitConfirmed);
    if (edited)
        QTest::keyClicks(f.messageView(), QStringLiteral("x"));
    f.alerts.scriptAnswers({answer});

    if (byQuitCommand)
        f.find<QAction>("quitAction")->trigger();
    else
        f.window->close();

    QCOMPARE(f.alerts.shown().size(), panels);
    if (panels)
        QCOMPARE(f.alerts.shown().first().title,
                 QStringLiteral("You have unsaved changes.  Are you sure you want to quit?"));
    QCOMPARE(f.window->isVisible(), !ends);
    QCOMPARE(quitSpy.size(), byQuitCommand && ends ? 1 : 0);
    if (!ends) {
        // Cancel changes nothing.
        QVERIFY(f.controller->dirty());
        QVERIFY(f.controller->messageDirty());
        QVERIFY(f.window->isWindowModified());
    }
}

void TestMainWindow::cancelledCloseThenQuitAsksOnceEach()
{
    Fixture f;
    QSignalSpy quitSpy(f.window.get(), &MainWindow::quitConfirmed);
    QTest::keyClicks(f.messageView(), QStringLiteral("x"));
    f.alerts.scriptAnswers({AlertPanel::AlternateReturn, AlertPanel::DefaultReturn});

    QVERIFY(!f.window->close());
    QVERIFY(f.window->isVisible());
    QCOMPARE(f.alerts.shown().size(), 1);

    // The Quit command also closes the window; that must not ask again.
    f.find<QAction>("quitAction")->trigger();
    QCOMPARE(f.alerts.shown().size(), 2);
    QVERIFY(!f.window->isVisible());
    QCOMPARE(quitSpy.size(), 1);
}

void TestMainWindow::saveShowsBusyStateAndTellsWhatHappened()
{
    Fixture f;
    LogCapture log;
    auto *saveButton = f.find<QPushButton>("saveButton");
    auto *saveAction = f.find<QAction>("saveAction");

    // The save runs on a worker: the window is busy, and a second Save or
    // an edit waits until it ends.
    QSignalSpy done(f.window.get(), &MainWindow::saveDone);
    saveButton->click();
    QVERIFY(f.window->isSaving());
    QVERIFY(!saveButton->isEnabled());
    QVERIFY(!saveAction->isEnabled());
    QVERIFY(f.messageView()->isReadOnly());
    QCOMPARE(f.status(), QStringLiteral("Saving…"));
    saveAction->trigger();
    f.controller->setDirty(false);
    QVERIFY(done.wait(20000));
    QCOMPARE(done.size(), 1);
    QCOMPARE(f.status(), QStringLiteral("Nothing to save."));
    QVERIFY(saveButton->isEnabled());
    QVERIFY(saveAction->isEnabled());
    QVERIFY(!f.messageView()->isReadOnly());

    // A logo that reaches the volume.
    const QString path = f.picture(QStringLiteral("saved-logo.png"), QSize(64, 48));
    QVERIFY(dropFile(f.well("logoWell"), path));
    f.clock.setNow(QDateTime(QDate(2026, 12, 8), QTime(0, 41, 30)));
    QVERIFY(f.saveAndWait([&] { saveAction->trigger(); }));
    QCOMPARE(f.status(), QStringLiteral("Saved at 00:41"));
    QCOMPARE(QImageReader(f.volume.hostPath(LoginWindow::kLogoFirstPlace)).size(), QSize(64, 48));
    QCOMPARE(f.well("logoWell")->previewSize(), QSize(64, 48));
    QVERIFY(!f.window->isWindowModified());
    QVERIFY(f.alerts.shown().isEmpty());

    // It lasts through passing messages (menu hints), and a save with
    // nothing to write, until the next edit.
    f.clock.setNow(QDateTime(QDate(2026, 12, 8), QTime(0, 50)));
    f.window->statusBar()->showMessage(QStringLiteral("a menu's hint"), 1);
    QTest::qWait(20);
    QCOMPARE(f.status(), QStringLiteral("Saved at 00:41"));
    QVERIFY(f.saveAndWait([&] { saveAction->trigger(); }));
    QCOMPARE(f.status(), QStringLiteral("Nothing to save."));
    f.window->statusBar()->clearMessage();
    QCOMPARE(f.status(), QStringLiteral("Saved at 00:41"));
    f.find<QComboBox>("hostInfoChooser")->activated(f.chooser()->findData(5));
    QCOMPARE(f.status(), QString());
}

void TestMainWindow::saveStatusLine_data()
{
    QTest::addColumn<QStringList>("attempted");
    QTest::addColumn<QStringList>("failed");
    QTest::addColumn<bool>("another");
    QTest::addColumn<QString>("line");
    // "Nothing to save.", "Saved." and a single failure are seen in a real save above.
    QTest::newRow("two failed")
        << QStringList{"logo", "title", "message"} << QStringList{"logo", "message"} << false
        << "Could not save: logo, message. Your changes are kept; Save tries again.";
    QTest::newRow("another copy saving")
        << QStringList() << QStringList() << true
        << "Not saved: another copy of Lumora Login is saving. Try again when it has finished.";
}

void TestMainWindow::saveStatusLine()
{
    QFETCH(QStringList, attempted);
    QFETCH(QStringList, failed);
    QFETCH(bool, another);
    QFETCH(QString, line);
    SaveReport report;
    report.attempted = attempted;
    report.failed = failed;
    report.anotherSaveRunning = another;
    QCOMPARE(MainWindow::describeSave(report), line);
}

void TestMainWindow::declinedPasswordEndsTheAsking_data()
{
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<int>("asked"); // times the dialog came up
    QTest::addColumn<QString>("line");
    QTest::newRow("cancel") << Answers{std::nullopt, std::nullopt, std::nullopt} << 1
                            << "Cancelled: no administrator password was given. Nothing more was written; your "
                               "changes are kept.";
    QTest::newRow("three wrong") << Answers{"a", "b", "c", "right", "right"} << 3
                                 << "The administrator password was wrong 3 times. Nothing more was written; your "
                                    "changes are kept.";
}

// Five settings to save on a volume that needs the password: the user
// declines once, and no step after that asks again.
void TestMainWindow::declinedPasswordEndsTheAsking()
{
    QFETCH(Answers, answers);
    QFETCH(int, asked);
    QFETCH(QString, line);
    FakeSudo sudo("right");
    QVERIFY(sudo.isValid());
    ScriptedPasswordPrompt prompt;
    prompt.script(answers);
    Fixture f(std::make_unique<SudoAuthorizationService>(&prompt, sudo.path()));
    LogCapture log;
    QVERIFY(dropFile(f.well("logoWell"), f.picture(QStringLiteral("logo.png"), QSize(40, 30))));
    QVERIFY(dropFile(f.well("titleWell"), f.picture(QStringLiteral("title.png"), QSize(60, 20))));
    f.controller->setMessage(QStringLiteral("Staff only"));
    f.controller->setHostInfoTag(5);
    f.controller->document().setValue(Setting::PasswordHints, OptionValue(3));
    QVERIFY(f.saveAndWait([&] { f.find<QPushButton>("saveButton")->click(); }));

    QCOMPARE(prompt.complaints().size(), asked);
    QCOMPARE(f.status(), line);
    // Each step failed with its own lines, the reason among them.
    const QStringList refusals =
        log.lines().filter(QRegularExpression(QStringLiteral("^User failed to authenticate for tools ")));
    QVERIFY2(refusals.size() >= 5, qPrintable(log.lines().join(QLatin1Char('\n'))));
    QCOMPARE(log.lines().filter(line.section(QLatin1Char('.'), 0, 0)).size(), refusals.size());
    // Every edit is still there to save.
    for (const Setting setting :
         {Setting::Logo, Setting::Title, Setting::Message, Setting::HostInfo, Setting::PasswordHints})
        QVERIFY2(f.controller->document().changed(setting), qPrintable(settingModel(setting).name()));
    QVERIFY(f.window->isWindowModified());
}

// A logo that cannot be written: the line names it and stays through a
// menu's passing hints until the next edit; Details… shows that save's log.
void TestMainWindow::failureLastsWithItsDetails()
{
    Fixture f;
    LogCapture log;
    const Image unwritable;
    f.controller->setLogo(unwritable);
    QVERIFY(f.saveAndWait([&] { f.find<QPushButton>("saveButton")->click(); }));
    const QString failure = QStringLiteral("Could not save: logo. Your changes to it are kept; Save tries again.");
    QCOMPARE(f.status(), failure);
    QVERIFY(f.controller->logoDirty());
    QVERIFY(f.window->isWindowModified());

    f.window->statusBar()->showMessage(QStringLiteral("a menu's hint"));
    f.window->statusBar()->clearMessage();
    QCOMPARE(f.status(), failure);

    auto *details = f.find<QPushButton>("saveDetailsButton");
    QVERIFY(details && details->isVisible());
    details->click();
    auto *panel = f.window->findChild<QDialog *>(QStringLiteral("saveDetails"));
    QVERIFY(panel && panel->isVisible());
    const QString shown = panel->findChild<QPlainTextEdit *>(QStringLiteral("saveDetailsLines"))->toPlainText();
    QVERIFY(!log.lines().isEmpty());
    QCOMPARE(shown, log.lines().join(QLatin1Char('\n')));
    panel->close();

    // The next edit ends it.
    QVERIFY(dropFile(f.well("titleWell"), f.picture(QStringLiteral("t.png"), QSize(30, 10))));
    QCOMPARE(f.status(), QString());
}

// Each setter from the window, and Restore Default Look, is one undo step
// that puts back both the value and the flags; redo makes it again.
void TestMainWindow::undoRedoRestoreValueAndFlags_data()
{
    QTest::addColumn<QString>("edit");
    for (const char *edit : {"logo", "title", "background", "host information", "restore"})
        QTest::newRow(edit) << QString::fromLatin1(edit);
}

void TestMainWindow::undoRedoRestoreValueAndFlags()
{
    QFETCH(QString, edit);
    Fixture f;
    // An earlier edit, so that undo must keep the document flag set.
    f.messageView()->setFocus();
    QTest::keyClicks(f.messageView(), QStringLiteral("x"));

    auto state = [&f] {
        const LumoraLogin &c = *f.controller;
        return QVariantList{c.logo().path(), c.title().path(), c.background().path(), c.message().value_or(QString()),
                            c.hostInfoTag(), c.logoDirty(), c.titleDirty(), c.backgroundDirty(), c.messageDirty(),
                            c.hostInfoTagDirty(), c.dirty(), c.shouldRevertBackground(),
                            f.well("logoWell")->image().path(), f.messageView()->string(),
                            f.chooser()->currentData().toInt(), f.window->isWindowModified()};
    };
    const QVariantList before = state();
    const QString picture = f.picture(QStringLiteral("new.png"), QSize(40, 20));
    if (edit == QLatin1String("logo"))
        QVERIFY(dropFile(f.well("logoWell"), picture));
    else if (edit == QLatin1String("title"))
        QVERIFY(dropFile(f.well("titleWell"), picture));
    else if (edit == QLatin1String("background"))
        QVERIFY(dropFile(f.well("backgroundWell"), picture));
    else if (edit == QLatin1String("host information"))
        f.chooser()->activated(f.chooser()->findData(4));
    else
        f.find<QPushButton>("restoreButton")->click();
    const QVariantList after = state();
    QVERIFY(after != before);

    QUndoStack *stack = f.window->undoStack();
    QCOMPARE(stack->count(), 2); // the typing, then this edit
    f.find<QAction>("undoAction")->trigger();
    QCOMPARE(state(), before);
    f.find<QAction>("redoAction")->trigger();
    QCOMPARE(state(), after);
    f.find<QAction>("undoAction")->trigger();
    f.find<QAction>("undoAction")->trigger();
    QVERIFY(!f.anyFlagSet());
    QVERIFY(!f.window->isWindowModified());
}

// Ctrl+Z in the message view goes to the window's stack; consecutive
// typing is one step, and Ctrl+Shift+Z types it again.
void TestMainWindow::undoCoversTypingThroughTheShortcut()
{
    Fixture f;
    QtMessageView *view = f.messageView();
    const QString loaded = view->string();
    view->setFocus();
    QApplication::setActiveWindow(f.window.get());
    view->moveCursor(QTextCursor::End);
    QTest::keyClicks(view, QStringLiteral(" Hi"));
    QCOMPARE(f.window->undoStack()->count(), 1);
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(view->string(), loaded);
    QCOMPARE(f.controller->message(), std::optional<QString>(loaded));
    QVERIFY(!f.controller->messageDirty());
    QVERIFY(!f.controller->dirty());
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(view->string(), loaded + QStringLiteral(" Hi"));
    QVERIFY(f.controller->messageDirty());
    QVERIFY(f.window->isWindowModified());
}

void TestMainWindow::undoWhereverTheFocusIs_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("setting");
    QTest::addColumn<int>("steps"); // undo steps the three presses make
    QTest::newRow("spin box: its presses are one step")
        << "passwordHintsOption" << int(Qt::Key_Up) << int(Setting::PasswordHints) << 1;
    QTest::newRow("combo box: each choice a step")
        << "hostInfoChooser" << int(Qt::Key_Down) << int(Setting::HostInfo) << 3;
}

// Ctrl+Z and Ctrl+Shift+Z with the focus in the control just used.
void TestMainWindow::undoWhereverTheFocusIs()
{
    QFETCH(QString, control);
    QFETCH(int, key);
    QFETCH(int, setting);
    QFETCH(int, steps);
    Fixture f;
    QApplication::setActiveWindow(f.window.get());
    auto *widget = f.window->findChild<QWidget *>(control);
    QVERIFY(widget);
    widget->setFocus();
    const SettingValue loaded = f.controller->document().value(Setting(setting));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(widget, Qt::Key(key));
    const SettingValue edited = f.controller->document().value(Setting(setting));
    QVERIFY(!sameValue(edited, loaded));
    QCOMPARE(f.window->undoStack()->count(), steps);

    for (int i = 0; i < steps; ++i)
        QTest::keyClick(widget, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(sameValue(f.controller->document().value(Setting(setting)), loaded));
    QVERIFY(!f.controller->dirty());
    QCOMPARE(f.window->undoStack()->index(), 0);
    for (int i = 0; i < steps; ++i)
        QTest::keyClick(widget, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(sameValue(f.controller->document().value(Setting(setting)), edited));
    QVERIFY(f.controller->document().changed(Setting(setting)));
}

// A folder that does not exist would stand in the chooser's name box.
void TestMainWindow::firstChooserOpensInAFolder()
{
    QTemporaryDir home;
    const QByteArray realHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString withoutPictures = ImageWell::firstChooserFolder();
    const bool made = QDir().mkpath(pictures);
    const QString withPictures = ImageWell::firstChooserFolder();
    qputenv("HOME", realHome);

    QVERIFY(pictures.startsWith(home.path()));
    QCOMPARE(withoutPictures, home.path());
    QVERIFY(made);
    QCOMPARE(withPictures, pictures);
}

void TestMainWindow::revertToSavedAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("reverted");
    QTest::newRow("revert") << int(AlertPanel::DefaultReturn) << true;
    QTest::newRow("cancel") << int(AlertPanel::AlternateReturn) << false;
}

void TestMainWindow::revertToSavedAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(bool, reverted);
    Fixture f;
    const QString loadedLogo = f.controller->logo().path();
    QVERIFY(dropFile(f.well("logoWell"), f.picture(QStringLiteral("l.png"), QSize(30, 30))));
    f.alerts.scriptAnswers({answer});
    f.find<QAction>("revertAction")->trigger();
    QCOMPARE(f.alerts.shown().size(), 1);
    QCOMPARE(f.alerts.shown().first().defaultButton, QStringLiteral("Revert"));
    QCOMPARE(f.alerts.shown().first().alternateButton, QStringLiteral("Cancel"));
    QCOMPARE(f.controller->logo().path() == loadedLogo, reverted);
    QCOMPARE(f.controller->logoDirty(), !reverted);
    QCOMPARE(f.window->isWindowModified(), !reverted);
    QCOMPARE(f.window->undoStack()->count(), reverted ? 0 : 1);
}

// The panel of the user's check stays up while the server hangs, the
// window keeps handling events, and Cancel closes it.
void TestMainWindow::updateCheckPanelCancels()
{
    VersionListServer server;
    VersionListServer::Response hang;
    hang.hang = true;
    server.setResponse(QStringLiteral("/versions.txt"), hang);
    Fixture f;
    QVERIFY(server.pointBundleAt(f.volume.resources(), QStringLiteral("/versions.txt")));

    f.find<QAction>("updateAction")->trigger();
    auto *panel = f.window->findChild<QDialog *>(QStringLiteral("updateCheckPanel"));
    QVERIFY(panel && panel->isVisible());
    QVERIFY(!f.find<QAction>("updateAction")->isEnabled());
    QTRY_COMPARE(server.requestCount(QStringLiteral("/versions.txt")), 1);
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    QTRY_VERIFY(fired);
    QVERIFY(panel->isVisible());

    f.window->findChild<QPushButton *>(QStringLiteral("updateCheckCancel"))->click();
    QVERIFY(!panel->isVisible());
    QVERIFY(f.find<QAction>("updateAction")->isEnabled());
    QTest::qWait(100);
    QVERIFY(f.alerts.shown().isEmpty());
}

// Each Redo key redoes the last undone edit from wherever the focus is,
// and no key is dropped by Qt as an ambiguous overload.
void TestMainWindow::redoFromTheKeyboard_data()
{
    QTest::addColumn<QKeySequence>("key");
    QTest::newRow("Ctrl+Shift+Z") << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    QTest::newRow("Ctrl+Y") << QKeySequence(Qt::CTRL | Qt::Key_Y);
    const QList<QKeySequence> platform = QKeySequence::keyBindings(QKeySequence::Redo);
    for (const QKeySequence &key : platform)
        QTest::newRow(qPrintable(QStringLiteral("platform ") + key.toString())) << key;
}

void TestMainWindow::redoFromTheKeyboard()
{
    QFETCH(QKeySequence, key);
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Ambiguous shortcut")));
    Fixture f;
    QApplication::setActiveWindow(f.window.get());
    const QString loaded = f.controller->logo().path();
    const QString path = f.picture(QStringLiteral("redo.png"), QSize(30, 20));
    QVERIFY(dropFile(f.well("logoWell"), path));

    f.well("logoWell")->setFocus();
    QTest::keySequence(f.window.get(), QKeySequence::Undo);
    QCOMPARE(f.controller->logo().path(), loaded);
    QVERIFY(!f.controller->dirty());
    QVERIFY(f.find<QAction>("redoAction")->isEnabled());

    QTest::keySequence(f.window.get(), key);
    QCOMPARE(f.controller->logo().path(), path);
    QVERIFY(f.controller->logoDirty());
    QCOMPARE(f.well("logoWell")->image().path(), path);
    QVERIFY(!f.find<QAction>("redoAction")->isEnabled());

    // Also while typing in the message view.
    QTest::keySequence(f.window.get(), QKeySequence::Undo);
    f.messageView()->setFocus();
    QTest::keySequence(f.messageView(), key);
    QCOMPARE(f.controller->logo().path(), path);
}

// Two actions (or one action twice) on one key make Qt ignore the key.
void TestMainWindow::noKeyBelongsToTwoShortcuts()
{
    Fixture f;
    QHash<QKeySequence, QString> owner;
    QStringList clashes;
    for (const QAction *action : f.window->findChildren<QAction *>()) {
        const QList<QKeySequence> keys = action->shortcuts();
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const QString name = action->objectName().isEmpty() ? action->text() : action->objectName();
            if (keys.indexOf(keys[i]) != i)
                clashes << keys[i].toString() + QStringLiteral(" twice on ") + name;
            else if (owner.contains(keys[i]))
                clashes << keys[i].toString() + QStringLiteral(" on ") + owner[keys[i]] + QStringLiteral(" and ")
                               + name;
            else
                owner.insert(keys[i], name);
        }
    }
    QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join(QStringLiteral("; "))));
    QVERIFY(owner.contains(QKeySequence(Qt::CTRL | Qt::Key_Y)));
}

// A folder that is not a volume is never saved, so nothing in the window
// may take an edit that could only be lost.
void TestMainWindow::refusedFolderCannotBeEdited()
{
    Fixture f;
    f.window->refuseEditing(QStringLiteral("Not editable. No system version file."));
    QApplication::setActiveWindow(f.window.get());
    const QString text = f.messageView()->string();

    int chooserCalls = 0;
    const QString path = f.picture(QStringLiteral("refused.png"), QSize(30, 20));
    for (const char *name : {"logoWell", "titleWell", "backgroundWell"}) {
        ImageWell *well = f.well(name);
        QVERIFY2(!well->isEnabled(), name);
        QVERIFY2(!dropFile(well, path), name);
        well->setChooser([&](QWidget *) {
            ++chooserCalls;
            return path;
        });
        well->choose();
    }
    QCOMPARE(chooserCalls, 0);

    QVERIFY(f.messageView()->isReadOnly());
    f.messageView()->setFocus();
    QTest::keyClicks(f.messageView(), QStringLiteral("typed"));
    QCOMPARE(f.messageView()->string(), text);
    QVERIFY(!f.chooser()->isEnabled());
    for (QCheckBox *check : f.window->findChildren<QCheckBox *>()) {
        QVERIFY2(!check->isEnabled(), qPrintable(check->objectName()));
        QTest::mouseClick(check, Qt::LeftButton);
    }
    for (QSpinBox *spin : f.window->findChildren<QSpinBox *>())
        QVERIFY2(!spin->isEnabled(), qPrintable(spin->objectName()));
    for (const char *name : {"saveButton", "restoreButton"})
        QVERIFY2(!f.find<QPushButton>(name)->isEnabled(), name);
    QVERIFY(f.find<QPushButton>("helpButton")->isEnabled());

    QVERIFY(!f.anyFlagSet());
    QCOMPARE(f.window->undoStack()->count(), 0);
    QVERIFY(!f.window->isWindowModified());
}

// What a screen reader is told about each control of the window.
void TestMainWindow::accessibleControls()
{
    Fixture f;
    struct Expected {
        const char *objectName;
        QAccessible::Role role;
        QString name;
        QString action; // one of its actions, or empty
    };
    const QList<Expected> controls{
        {"logoWell", QAccessible::Button, "Logo", QAccessibleActionInterface::pressAction()},
        {"titleWell", QAccessible::Button, "Title", QAccessibleActionInterface::pressAction()},
        {"backgroundWell", QAccessible::Button, "Background", QAccessibleActionInterface::pressAction()},
        {"messageView", QAccessible::EditableText, "Message", {}},
        {"hostInfoChooser", QAccessible::ComboBox, "Host information shown:", {}},
        {"saveButton", QAccessible::Button, "Save", QAccessibleActionInterface::pressAction()},
        {"restoreButton", QAccessible::Button, "Restore Default Look", QAccessibleActionInterface::pressAction()},
        {"helpButton", QAccessible::Button, "Help", QAccessibleActionInterface::pressAction()},
        {"previewCanvas", QAccessible::Client, "Preview of the login window", {}},
    };
    for (const Expected &expected : controls) {
        auto *widget = f.window->findChild<QWidget *>(QString::fromLatin1(expected.objectName));
        QVERIFY2(widget, expected.objectName);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
        QVERIFY2(iface && iface->isValid(), expected.objectName);
        QCOMPARE(iface->role(), expected.role);
        QCOMPARE(spokenName(iface), expected.name);
        if (!expected.action.isEmpty()) {
            QVERIFY2(iface->actionInterface(), expected.objectName);
            QVERIFY2(iface->actionInterface()->actionNames().contains(expected.action), expected.objectName);
        }
    }
    // Every login option is named by its own text.
    for (QCheckBox *check : f.window->findChildren<QCheckBox *>()) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(check);
        QCOMPARE(iface->role(), QAccessible::CheckBox);
        QCOMPARE(iface->text(QAccessible::Name), check->text());
        QVERIFY(iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    }
    // Nothing the Tab key reaches is nameless.
    for (QWidget *widget : f.window->findChildren<QWidget *>()) {
        if (!widget->isVisible() || !(widget->focusPolicy() & Qt::TabFocus) || widget->focusProxy())
            continue;
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
        QVERIFY2(iface && !spokenName(iface).isEmpty(),
                 qPrintable(QStringLiteral("%1 (%2) has no name")
                                .arg(widget->objectName(), QString::fromLatin1(widget->metaObject()->className()))));
    }

    // The wells say which picture they hold; the preview what it shows.
    const QString logoFile = QFileInfo(f.controller->logo().path()).fileName();
    QVERIFY(!logoFile.isEmpty());
    QCOMPARE(QAccessible::queryAccessibleInterface(f.well("logoWell"))->text(QAccessible::Description),
             QStringLiteral("Logo: ") + logoFile);
    f.controller->setTitle(Image());
    QCOMPARE(QAccessible::queryAccessibleInterface(f.well("titleWell"))->text(QAccessible::Description),
             QStringLiteral("Title: none"));
    auto *canvas = f.window->findChild<QWidget *>(QStringLiteral("previewCanvas"));
    QTRY_VERIFY(QAccessible::queryAccessibleInterface(canvas)->text(QAccessible::Description).contains(
        QStringLiteral("Title: none")));
    const QString shown = QAccessible::queryAccessibleInterface(canvas)->text(QAccessible::Description);
    QVERIFY2(shown.contains(QStringLiteral("1024 \u00d7 768")), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("Welcome to the Lumora sample volume.")), qPrintable(shown));
}

// Pressing a well through its accessible action opens the same chooser as
// a click, and the picture chosen becomes the setting; a disabled well
// offers no press.
void TestMainWindow::wellPressActionOpensTheChooser()
{
    Fixture f;
    ImageWell *well = f.well("backgroundWell");
    const QString path = f.picture(QStringLiteral("pressed.png"), QSize(64, 40));
    int calls = 0;
    well->setChooser([&](QWidget *) {
        ++calls;
        return path;
    });
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(well);
    iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(calls, 1);
    QCOMPARE(f.controller->background().path(), path);
    QVERIFY(f.controller->backgroundDirty());
    QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("Background: pressed.png"));

    well->setEnabled(false);
    QVERIFY(!iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
