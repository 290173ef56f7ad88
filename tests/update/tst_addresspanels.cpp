// When no browser can be started, Help and the update panel's OK still give
// the user the address; and the window's panels carry the sign their news
// deserves.

#include "platform/widgets/QtAlertPanel.h"
#include "platform/widgets/QtWorkspace.h"
#include "tests/update/UpdateControllerFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QString kDownload = QStringLiteral("https://lumora-login.example.org/get.dmg");

// Once a visible top-level widget named `name` is up, hands it to `act`
// (on the GUI thread, from the panel's own event loop).
void whenShown(const QString &name, std::function<void(QWidget *)> act)
{
    QTimer::singleShot(10, qApp, [name, act] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == name && widget->isVisible()) {
                act(widget);
                return;
            }
        }
        whenShown(name, act);
    });
}

void clickButton(QMessageBox *box, const QString &label)
{
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == label)
            button->click();
    }
}

} // namespace

class TestAddressPanels : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void helpShowsTheAddressWhenNoBrowserStarts_data()
    {
        QTest::addColumn<bool>("browser");
        QTest::newRow("browser starts") << true;
        QTest::newRow("no browser") << false;
    }

    // Help used to do nothing visible when the browser could not start.
    void helpShowsTheAddressWhenNoBrowserStarts()
    {
        QFETCH(bool, browser);
        UpdateFixture f;
        f.workspace.setOpens(browser);
        LumoraLogin controller(controllerContext(f));
        controller.help();

        const auto opened = f.workspace.opened();
        QCOMPARE(opened.size(), 1);
        const auto shown = f.alerts.shown();
        if (browser) {
            QVERIFY(shown.isEmpty());
            return;
        }
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("The support page could not be opened"));
        QCOMPARE(shown[0].address, opened.first().toString());
        QVERIFY(shown[0].address.endsWith(QLatin1String("/support.htm")));
    }

    void workspaceTellsWhetherABrowserStarted_data()
    {
        // Script bodies; "" leaves that opener out. ARGS names the file
        // where a script writes the arguments it was given.
        QTest::addColumn<QString>("xdgOpen");
        QTest::addColumn<QString>("browser"); // $BROWSER, used without xdg-open
        QTest::addColumn<bool>("opened");
        QTest::addColumn<bool>("passesAddress");
        const QString records = QStringLiteral("printf '%s\\n' \"$@\" > \"$ARGS\"\n");
        QTest::newRow("opener hands it on") << records + "exit 0" << QString() << true << true;
        QTest::newRow("opener finds no browser") << records + "exit 3" << QString() << false << true;
        QTest::newRow("opener killed") << QStringLiteral("kill -9 $$") << QString() << false << false;
        QTest::newRow("browser stays in front") << QStringLiteral("exec /bin/sleep 5") << QString() << true << false;
        QTest::newRow("$BROWSER fails") << QString() << records + "exit 1" << false << true;
        QTest::newRow("$BROWSER starts") << QString() << records + "exit 0" << true << true;
        QTest::newRow("nothing to start a browser with") << QString() << QString() << false << false;
    }

    // QDesktopServices says yes as soon as xdg-open has started, even when
    // it then finds no browser; the workspace must say no then.
    void workspaceTellsWhetherABrowserStarted()
    {
        QFETCH(QString, xdgOpen);
        QFETCH(QString, browser);
        QFETCH(bool, opened);
        QFETCH(bool, passesAddress);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto script = [&](const QString &name, const QString &body) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(("#!/bin/sh\n" + body + "\n").toUtf8());
            file.close();
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        };
        if (!xdgOpen.isEmpty())
            script(QStringLiteral("xdg-open"), xdgOpen);
        if (!browser.isEmpty())
            script(QStringLiteral("browser"), browser);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.path()));
        qunsetenv("DEFAULT_BROWSER");
        if (browser.isEmpty())
            qunsetenv("BROWSER");
        else
            qputenv("BROWSER", QFile::encodeName(dir.filePath(QStringLiteral("browser"))));
        qputenv("ARGS", QFile::encodeName(dir.filePath(QStringLiteral("args"))));

        const auto settle = std::chrono::milliseconds(400);
        QtWorkspace workspace(settle);
        const QUrl url(QStringLiteral("https://lumora-login.example.org/support.htm?a=1&b=two words"));
        QElapsedTimer timer;
        timer.start();
        const bool result = workspace.openUrl(url);
        const qint64 elapsed = timer.elapsed();
        qputenv("PATH", oldPath);
        qunsetenv("BROWSER");

        QCOMPARE(result, opened);
        // The watch is bounded: a browser in front does not hold Help up.
        QVERIFY2(elapsed < settle.count() + 400, qPrintable(QString::number(elapsed)));
        if (passesAddress) {
            QFile args(dir.filePath(QStringLiteral("args")));
            QVERIFY(args.open(QIODevice::ReadOnly));
            QCOMPARE(args.readAll(), url.toEncoded() + "\n");
        }
    }

    void panelSigns_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("icon");
        QTest::newRow("unable to check") << 0 << int(QMessageBox::Warning);
        QTest::newRow("up to date") << 1 << int(QMessageBox::Information);
        QTest::newRow("new version") << 2 << int(QMessageBox::Information);
    }

    // The up-to-date panel used to carry a warning sign.
    void panelSigns()
    {
        QFETCH(int, which);
        QFETCH(int, icon);
        UpdateFixture f;
        QtAlertPanel panel;
        PlatformServices services = f.services();
        services.alerts = &panel;
        VersionChecker checker(services);

        int seen = -1;
        whenShown(QStringLiteral("alertPanel"), [&](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            QVERIFY(box);
            seen = int(box->icon());
            clickButton(box, which == 2 ? QStringLiteral("Cancel") : QStringLiteral("OK"));
        });
        if (which == 0)
            checker.displayErrorPanelForMissingProductDictionaryForAppName(QStringLiteral("Lumora Login"));
        else if (which == 1)
            checker.displayUpToDatePanelForAppName(QStringLiteral("Lumora Login"));
        else
            checker.displayUpdatePanelForOldVersion(QStringLiteral("1.0.0"), QStringLiteral("1.1"),
                                                    versionInfo(QStringLiteral("1.1")), QStringLiteral("Lumora Login"));
        QCOMPARE(seen, icon);
        QVERIFY(f.workspace.opened().isEmpty());
    }

    // The update panel answered OK with no browser: the window shows the
    // address selected in a field, Copy puts it on the clipboard and leaves
    // the dialog up, OK ends it.
    void downloadAddressCanBeCopied()
    {
        UpdateFixture f;
        f.workspace.setOpens(false);
        QtAlertPanel panel;
        PlatformServices services = f.services();
        services.alerts = &panel;
        VersionChecker checker(services);
        QGuiApplication::clipboard()->clear();

        QString fieldText;
        QString selected;
        bool readOnly = false;
        bool upAfterCopy = false;
        QString clipboard;
        whenShown(QStringLiteral("alertPanel"), [&](QWidget *widget) {
            clickButton(qobject_cast<QMessageBox *>(widget), QStringLiteral("OK"));
            whenShown(QStringLiteral("addressPanel"), [&](QWidget *dialog) {
                auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("addressField"));
                auto *copy = dialog->findChild<QPushButton *>(QStringLiteral("copyAddress"));
                QVERIFY(field && copy);
                fieldText = field->text();
                selected = field->selectedText();
                readOnly = field->isReadOnly();
                copy->click();
                clipboard = QGuiApplication::clipboard()->text();
                upAfterCopy = dialog->isVisible();
                for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
                    if (button->text() == QLatin1String("OK"))
                        button->click();
                }
            });
        });
        checker.displayUpdatePanelForOldVersion(QStringLiteral("1.0.0"), QStringLiteral("1.1"),
                                                versionInfo(QStringLiteral("1.1"), QStringLiteral("Faster."), kDownload),
                                                QStringLiteral("Lumora Login"));

        QCOMPARE(f.workspace.opened(), QList<QUrl>{QUrl(kDownload)});
        QCOMPARE(fieldText, kDownload);
        QCOMPARE(selected, kDownload);
        QVERIFY(readOnly);
        QCOMPARE(clipboard, kDownload);
        QVERIFY(upAfterCopy);
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY(!widget->isVisible());
    }
};

QTEST_MAIN(TestAddressPanels)
#include "tst_addresspanels.moc"
