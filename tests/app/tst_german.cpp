// The window as a German user sees it: every text of its widgets, menus,
// the preview dock, the failure details and the quit question, with the
// catalogues as built (ours and Qt's own). English words that German never
// uses give any untranslated text away.

#include "app/MainWindow.h"
#include "app/QtMessageView.h"
#include "controller/LumoraLogin.h"
#include "platform/DirectAuthorizationService.h"
#include "platform/Translations.h"
#include "platform/UserDefaults.h"
#include "privileged/Authorization.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeWorkspace.h"
#include "tests/fakes/TestVolume.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>

namespace {

// What a person reads on a widget: its text, title, items, tips.
QStringList textsOf(const QWidget *root)
{
    QStringList texts{root->windowTitle(), root->toolTip()};
    const auto widgets = root->findChildren<QWidget *>();
    for (const QWidget *w : widgets) {
        texts << w->toolTip() << w->accessibleName() << w->whatsThis();
        if (const auto *label = qobject_cast<const QLabel *>(w))
            texts << label->text();
        if (const auto *button = qobject_cast<const QAbstractButton *>(w))
            texts << button->text();
        if (const auto *group = qobject_cast<const QGroupBox *>(w))
            texts << group->title();
        if (const auto *dock = qobject_cast<const QDockWidget *>(w))
            texts << dock->windowTitle();
        if (const auto *spin = qobject_cast<const QSpinBox *>(w))
            texts << spin->specialValueText() << spin->prefix() << spin->suffix();
        if (const auto *line = qobject_cast<const QLineEdit *>(w))
            texts << line->placeholderText();
        if (const auto *combo = qobject_cast<const QComboBox *>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        }
    }
    for (const QAction *action : root->findChildren<QAction *>())
        texts << action->text() << action->toolTip() << action->statusTip();
    for (const QMenu *menu : root->findChildren<QMenu *>())
        texts << menu->title();
    texts.removeAll(QString());
    return texts;
}

// The English give-aways, once names that are the same in every language
// (the product, the system, the host-information names, shortcuts) are gone.
QString englishIn(QString text)
{
    text.remove(QLatin1Char('&'));
    text.remove(QRegularExpression(QStringLiteral(
        "Lumora( Login)?|Mac OS X( [0-9.]+)?|HostName|IPAddress|DSStatus|SerialNumber|SystemBuild|SystemVersion|"
        "[A-Za-z]+\\.(tif|jpg|png|plist)|/[^ ]*")));
    static const QRegularExpression english(
        QStringLiteral("\\b(the|is|are|not|and|of|to|or|with|nothing|Save|Open|File|Edit|View|Help|Quit|Undo|Redo|"
                       "Restore|Default|Look|Background|Title|Message|information|shown|Options|"
                       "password|buttons|menu|hints?|Preview|Screen|Drop|picture|click|choose|Close|"
                       "Change|Check|none|Off|Saved|failed)\\b"));
    const auto match = english.match(text);
    return match.hasMatch() ? match.captured(0) : QString();
}

} // namespace

class TestGerman : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qputenv("LANGUAGE", "de");
        QCOMPARE(Translations::install(*QCoreApplication::instance(),
                                       QCoreApplication::applicationDirPath() + QStringLiteral("/resources/translations")),
                 QStringLiteral("de"));
    }

    void windowIsGerman()
    {
        TestVolume volume;
        QVERIFY(volume.isValid());
        UserDefaults defaults(volume.scratch() + QStringLiteral("/defaults.ini"));
        defaults.setBool(PreferenceKeys::kCheckForUpdates, false);
        FakeAlertPanel alerts;
        FakeWorkspace workspace;
        FakeClock clock;
        Authorization authorization(std::make_unique<DirectAuthorizationService>(), &alerts);
        LumoraLogin controller(LumoraContext{volume.volume(), volume.bundle(), &defaults, &alerts, &workspace, &clock,
                                             &authorization});
        MainWindow window(controller);
        window.show();
        controller.attachFrontEnd(window.messageView(), LumoraLogin::LaunchCheck::Skip);

        QStringList seen = textsOf(&window);
        // A failed save's line and its details.
        QFile::remove(volume.hostPath(LoginWindow::kLogoFirstPlace));
        QVERIFY(QDir().mkdir(volume.hostPath(LoginWindow::kLogoFirstPlace)));
        QImage logo(32, 32, QImage::Format_RGB32);
        logo.fill(Qt::red);
        controller.setLogo(Image::fromPixels(logo));
        window.save();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isSaving(), 20000);
        seen << window.statusText();
        if (auto *details = window.findChild<QAbstractButton *>(QStringLiteral("saveDetailsButton")))
            details->click();
        auto *panel = window.findChild<QDialog *>(QStringLiteral("saveDetails"));
        QVERIFY(panel);
        // The lines themselves are the log's, which stays English; the rest is ours.
        panel->findChild<QPlainTextEdit *>()->clear();
        seen << textsOf(panel);
        panel->close();
        // The quit question.
        (void)controller.shouldQuit();
        for (const FakeAlertPanel::Shown &shown : alerts.shown())
            seen << shown.title << shown.message << shown.defaultButton << shown.alternateButton << shown.otherButton;
        seen.removeAll(QString());
        QVERIFY(seen.size() > 20);

        QStringList english;
        for (const QString &text : std::as_const(seen)) {
            const QString word = englishIn(text);
            if (!word.isEmpty())
                english << QStringLiteral("\"%1\" in \"%2\"").arg(word, text);
        }
        english.removeDuplicates();
        QVERIFY2(english.isEmpty(), qPrintable(english.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestGerman)
#include "tst_german.moc"
