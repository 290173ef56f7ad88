#include "platform/widgets/QtAlertPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

// Once the panel is up, ends it as `how` says: "click:LABEL" presses that
// button, "close" closes the window, "hide" and "reject" end it without
// any button being pressed.
void endPanelWhenShown(const QString &how)
{
    QTimer::singleShot(0, qApp, [how] {
        QMessageBox *box = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String("alertPanel") && widget->isVisible())
                box = qobject_cast<QMessageBox *>(widget);
        }
        if (!box) {
            endPanelWhenShown(how); // not up yet: look again on the next pass
            return;
        }
        if (how.startsWith(QLatin1String("click:"))) {
            const QString label = how.mid(6);
            for (QAbstractButton *button : box->buttons()) {
                if (button->text() == label)
                    button->click();
            }
        } else if (how == QLatin1String("close")) {
            box->close();
        } else if (how == QLatin1String("hide")) {
            box->hide();
        } else {
            box->reject();
        }
    });
}

} // namespace

class TestQtAlertPanel : public QObject {
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void answersFromAWorkerThread();
};

void TestQtAlertPanel::answers_data()
{
    QTest::addColumn<QStringList>("buttons"); // default, alternate, other
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer");
    const QStringList quit{"Quit", "Cancel", ""};
    const QStringList three{"Save", "Cancel", "Discard"};
    const QStringList ok{"OK", "", ""};
    QTest::newRow("default clicked") << quit << "click:Quit" << int(AlertPanel::DefaultReturn);
    QTest::newRow("alternate clicked") << quit << "click:Cancel" << int(AlertPanel::AlternateReturn);
    QTest::newRow("other clicked") << three << "click:Discard" << int(AlertPanel::OtherReturn);
    QTest::newRow("window closed") << quit << "close" << int(AlertPanel::AlternateReturn);
    // Ended with no button pressed: never the default action (quitting with
    // unsaved changes, opening a download), but the cancel-like answer.
    QTest::newRow("hidden, with alternate") << quit << "hide" << int(AlertPanel::AlternateReturn);
    QTest::newRow("rejected, with alternate") << quit << "reject" << int(AlertPanel::AlternateReturn);
    QTest::newRow("hidden, three buttons") << three << "hide" << int(AlertPanel::AlternateReturn);
    // A lone button is an acknowledgement; its answer is the only one.
    QTest::newRow("hidden, one button") << ok << "hide" << int(AlertPanel::DefaultReturn);
    QTest::newRow("one button clicked") << ok << "click:OK" << int(AlertPanel::DefaultReturn);
}

void TestQtAlertPanel::answers()
{
    QFETCH(QStringList, buttons);
    QFETCH(QString, how);
    QFETCH(int, answer);
    QtAlertPanel panel;
    endPanelWhenShown(how);
    QCOMPARE(panel.runAlert(QStringLiteral("Title"), QStringLiteral("Message"), buttons[0], buttons[1],
                            buttons[2]),
             answer);
}

void TestQtAlertPanel::answersFromAWorkerThread()
{
    // The update check asks from a worker thread; the panel is run by the
    // GUI thread and its answer travels back the same way.
    QtAlertPanel panel;
    int answer = 99;
    QThread *worker = QThread::create([&] {
        answer = panel.runAlert(QStringLiteral("A new version is available"), QStringLiteral("Download?"),
                                QStringLiteral("OK"), QStringLiteral("Cancel"), QString());
    });
    endPanelWhenShown(QStringLiteral("hide"));
    worker->start();
    QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 60000);
    worker->wait();
    delete worker;
    QCOMPARE(answer, int(AlertPanel::AlternateReturn));
}

QTEST_MAIN(TestQtAlertPanel)
#include "tst_qtalertpanel.moc"
