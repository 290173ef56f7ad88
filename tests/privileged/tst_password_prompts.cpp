// The two ways of asking for the password: the window's dialog and the
// terminal prompt of the command-line companion (on a pseudo-terminal).

#include "platform/widgets/QtPasswordDialog.h"
#include "platform/TerminalPasswordPrompt.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

class TestPasswordPrompts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(QStringLiteral("Lumora Login"));
    }

    void dialog_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<std::optional<QByteArray>>("expected");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("ok") << QStringLiteral("s3cr\u00e9t pass") << QStringLiteral("passwordOk")
                            << std::optional<QByteArray>(QStringLiteral("s3cr\u00e9t pass!").toUtf8()) << QString();
        QTest::newRow("cancel") << QStringLiteral("typed anyway") << QStringLiteral("passwordCancel")
                                << std::optional<QByteArray>() << QString();
        QTest::newRow("asked again") << QStringLiteral("second") << QStringLiteral("passwordOk")
                                     << std::optional<QByteArray>("second!")
                                     << QStringLiteral("Sorry, try again.");
    }

    void dialog()
    {
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(std::optional<QByteArray>, expected);
        QFETCH(QString, complaint);

        QString title;
        QString shownComplaint;
        QString reason;
        bool hidden = false;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->windowTitle();
            if (auto *label = dialog->findChild<QLabel *>(QStringLiteral("passwordReason")))
                reason = label->text();
            if (auto *label = dialog->findChild<QLabel *>(QStringLiteral("passwordComplaint")))
                shownComplaint = label->isVisible() ? label->text() : QString();
            auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("passwordField"));
            if (field) {
                hidden = field->echoMode() == QLineEdit::Password;
                field->insert(typed); // keyClicks knows only ASCII
                QTest::keyClicks(field, QStringLiteral("!"));
            }
            if (auto *push = dialog->findChild<QPushButton *>(button))
                push->click();
            else
                dialog->reject();
        });
        QtPasswordDialog prompt;
        const auto answer = prompt.askPassword(QStringLiteral("Lumora Login needs administrator rights."), complaint);
        QCOMPARE(answer, expected);
        QCOMPARE(title, QStringLiteral("Lumora Login"));
        QCOMPARE(reason, QStringLiteral("Lumora Login needs administrator rights."));
        QVERIFY(hidden);
        QCOMPARE(shownComplaint, complaint);
    }

    // From a worker, as a save asks: the GUI thread shows the dialog and
    // the worker gets the answer.
    void dialogFromAWorker()
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || QThread::currentThread() != dialog->thread())
                return;
            dialog->findChild<QLineEdit *>(QStringLiteral("passwordField"))->setText(QStringLiteral("pw"));
            dialog->accept();
        });
        poll.start(10);
        QtPasswordDialog prompt;
        std::optional<QByteArray> answer;
        std::atomic<bool> done = false;
        std::thread worker([&] {
            answer = prompt.askPassword(QStringLiteral("why"), {});
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        worker.join();
        QCOMPARE(answer, std::optional<QByteArray>("pw"));
    }

    void noTerminalMeansNoAnswer_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << QStringLiteral("/nonexistent/tty");
        QTest::newRow("not a terminal") << QStringLiteral("/dev/null");
    }

    void noTerminalMeansNoAnswer()
    {
        QFETCH(QString, path);
        TerminalPasswordPrompt prompt(path);
        QCOMPARE(prompt.askPassword(QStringLiteral("why"), {}), std::optional<QByteArray>());
    }

    // Typed on a pseudo-terminal: the answer comes back, nothing of it is
    // echoed, and the terminal gets its echo back afterwards.
    void terminalAsksWithEchoOff()
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(master >= 0);
        QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QString slavePath = QString::fromLocal8Bit(::ptsname(master));
        // Keep the slave open so the terminal's settings outlive the prompt.
        const int slave = ::open(QFile::encodeName(slavePath).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(slave >= 0);

        std::optional<QByteArray> answer;
        std::thread asker([&] { answer = TerminalPasswordPrompt(slavePath).askPassword(QStringLiteral("Why"), {}); });

        QByteArray shown;
        auto readAvailable = [&](int timeoutMs) {
            pollfd p{master, POLLIN, 0};
            while (::poll(&p, 1, timeoutMs) > 0) {
                char buffer[256];
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                shown.append(buffer, n);
                timeoutMs = 50;
            }
        };
        for (int i = 0; i < 100 && !shown.contains("Password: "); ++i)
            readAvailable(50);
        QVERIFY2(shown.contains("Password: "), shown.constData());
        QVERIFY(::write(master, "hunter2\n", 8) == 8);
        asker.join();
        readAvailable(100);

        QCOMPARE(answer, std::optional<QByteArray>("hunter2"));
        QVERIFY2(!shown.contains("hunter2"), shown.constData());
        termios after {};
        QVERIFY(::tcgetattr(slave, &after) == 0);
        QVERIFY(after.c_lflag & ECHO);
        ::close(slave);
        ::close(master);
    }
};

QTEST_MAIN(TestPasswordPrompts)
#include "tst_password_prompts.moc"
