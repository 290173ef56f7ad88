// Black-box tests of lumora-loginctl: the built program run as a process on
// a throwaway volume with the direct back end, read back through its own
// `show --json` and through the files and the preference domain.

#include "controller/LumoraLogin.h"
#include "platform/LookFiles.h"
#include "platform/PreferenceDomain.h"
#include "platform/PropertyList.h"
#include "tests/fakes/HostileVolume.h"
#include "tests/fakes/ReadOnlyMount.h"
#include "tests/fakes/TestVolume.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <functional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString kInstalledBackground = LoginWindow::kInstalledBackground;

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// Every file and folder of the volume with a digest of its bytes.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(root.size());
        if (it.fileInfo().isDir()) {
            files.insert(relative, "dir");
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            files.insert(relative, "unreadable");
            continue;
        }
        files.insert(relative, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
    }
    return files;
}

// Every entry under `root` by lstat (kind, size, modification time), so
// that neither a FIFO nor a huge sparse file is read.
QMap<QString, QString> entries(const QString &root)
{
    QMap<QString, QString> found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
            found.insert(path.mid(root.size()), QStringLiteral("%1 %2 %3.%4")
                                                    .arg(info.st_mode, 0, 8)
                                                    .arg(info.st_size)
                                                    .arg(info.st_mtim.tv_sec)
                                                    .arg(info.st_mtim.tv_nsec));
    }
    return found;
}

QStringList changedPaths(const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after)
{
    QStringList changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.value(it.key()) != it.value())
            changed << it.key();
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key()))
            changed << it.key();
    }
    return changed;
}

QImage solidImage(const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

QImage decoded(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

bool closeTo(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 8 && qAbs(a.green() - b.green()) < 8 && qAbs(a.blue() - b.blue()) < 8;
}

// Serves one body to every request on a loopback port, from a thread of
// its own, so the companion's download can be answered while the test
// waits for the process.
class OneBodyServer {
public:
    explicit OneBodyServer(QByteArray body) : m_body(std::move(body))
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(m_socket, 8) != 0
            || ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~OneBodyServer()
    {
        if (m_socket >= 0)
            ::shutdown(m_socket, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        if (m_socket >= 0)
            ::close(m_socket);
    }
    [[nodiscard]] quint16 port() const { return m_port; }

private:
    void serve()
    {
        for (;;) {
            const int client = ::accept(m_socket, nullptr, nullptr);
            if (client < 0)
                return; // shut down
            char request[4096];
            QByteArray seen;
            while (!seen.contains("\r\n\r\n")) {
                const ssize_t n = ::recv(client, request, sizeof request, 0);
                if (n <= 0)
                    break;
                seen.append(request, n);
            }
            const QByteArray response = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
                                        + QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n"
                                        + m_body;
            (void)::send(client, response.constData(), size_t(response.size()), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    QByteArray m_body;
    int m_socket = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

} // namespace

class TestLoginCtl : public QObject {
    Q_OBJECT

private:
    QString m_tool;
    std::unique_ptr<TestVolume> m_volume;
    QString m_logoFile;       // 64x40 red PNG
    QString m_titleFile;      // 90x30 green PNG
    QString m_backgroundFile; // 160x100 blue JPEG

    QString home() const { return m_volume->scratch() + QStringLiteral("/home"); }
    QString stagingFolder() const { return home() + QStringLiteral("/data/Lumora Login"); }

    QProcessEnvironment environment(const QString &backend) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LUMORA_AUTH"), backend);
        env.insert(QStringLiteral("LUMORA_SYSTEM_ROOT"), m_volume->root());
        env.insert(QStringLiteral("LUMORA_RESOURCES"), m_volume->resources());
        env.insert(QStringLiteral("HOME"), home());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home() + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home() + QStringLiteral("/config"));
        return env;
    }

    Run run(const QStringList &arguments, const QString &backend = QStringLiteral("direct"),
            const std::function<void()> &inChild = {})
    {
        QProcess process;
        if (inChild)
            process.setChildProcessModifier(inChild);
        process.setProcessEnvironment(environment(backend));
        process.start(m_tool, arguments);
        Run result;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    // The arguments as bytes, whatever they hold: QProcess would pass
    // them as UTF-8 text.
    Run runWithBytes(const QList<QByteArray> &arguments)
    {
        QList<QByteArray> words{QFile::encodeName(m_tool)};
        words += arguments;
        std::vector<char *> argv;
        for (QByteArray &word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        QList<QByteArray> variables;
        for (const QString &variable : environment(QStringLiteral("direct")).toStringList())
            variables << variable.toLocal8Bit();
        std::vector<char *> envp;
        for (QByteArray &variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        return run({}, QStringLiteral("direct"), [&argv, &envp] {
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        });
    }

    QJsonObject show()
    {
        const Run result = run({QStringLiteral("show"), QStringLiteral("--json")});
        if (result.exitCode != 0)
            return {};
        return QJsonDocument::fromJson(result.out.toUtf8()).object();
    }

    // Both update addresses of the test's Info.plist at `address`.
    bool pointUpdatesAt(const QString &address)
    {
        QFile file(m_volume->resources() + QStringLiteral("/Info.plist"));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        QString plist = QString::fromUtf8(file.readAll());
        file.close();
        plist.replace(QRegularExpression(QStringLiteral("http://[^<]*versions.txt")), address);
        if (plist.count(address) != 2 || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        return file.write(plist.toUtf8()) > 0;
    }

    QVariantMap domain() const
    {
        return persistentDomainForName(m_volume->volume(), LoginWindow::kDomain).value_or(QVariantMap());
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_tool = QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-loginctl");
        QVERIFY2(QFileInfo(m_tool).isExecutable(), qPrintable(m_tool));
    }

    // Each login option reaches the domain as the typed value the login
    // window reads, read back here from the file as the application reads
    // it; a second run leaves it alone and Restore removes the key.
    void loginOptionIsWrittenTypedAndRestoreRemovesIt_data()
    {
        QTest::addColumn<QStringList>("option");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("jsonKey");
        QTest::addColumn<QJsonValue>("shown");
        QTest::newRow("name and password") << QStringList{"--name-and-password", "yes"} << "SHOWFULLNAME"
                                           << QVariant(true) << "name and password" << "nameAndPassword"
                                           << QJsonValue(true);
        QTest::newRow("a list of users") << QStringList{"--name-and-password", "NO"} << "SHOWFULLNAME"
                                         << QVariant(false) << "name and password" << "nameAndPassword"
                                         << QJsonValue(false);
        QTest::newRow("power buttons hidden") << QStringList{"--power-buttons", "hide"} << "PowerOffDisabled"
                                              << QVariant(true) << "power buttons" << "powerButtons"
                                              << QJsonValue(false);
        QTest::newRow("power buttons shown") << QStringList{"--power-buttons", "show"} << "PowerOffDisabled"
                                             << QVariant(false) << "power buttons" << "powerButtons"
                                             << QJsonValue(true);
        QTest::newRow("input menu") << QStringList{"--input-menu", "show"} << "showInputMenu" << QVariant(true)
                                    << "input menu" << "inputMenu" << QJsonValue(true);
        QTest::newRow("password hints") << QStringList{"--password-hints", "3"} << "RetriesUntilHint"
                                        << QVariant(qulonglong(3)) << "password hints" << "passwordHints"
                                        << QJsonValue(3);
        QTest::newRow("password hints off") << QStringList{"--password-hints", "off"} << "RetriesUntilHint"
                                            << QVariant(qulonglong(0)) << "password hints" << "passwordHints"
                                            << QJsonValue(0);
    }
    void loginOptionIsWrittenTypedAndRestoreRemovesIt()
    {
        QFETCH(QStringList, option);
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, line);
        QFETCH(QString, jsonKey);
        QFETCH(QJsonValue, shown);
        auto domain = [this] { return PropertyList::readDictionaryFile(m_volume->domainFile()).value_or(QVariantMap()); };

        Run result = run(QStringList{QStringLiteral("set")} + option);
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out, line + QStringLiteral(": saved\n"));
        QCOMPARE(domain().value(key), stored);
        QCOMPARE(domain().value(key).typeId(), stored.typeId());
        QCOMPARE(show().value("loginOptions").toObject().value(jsonKey), shown);

        result = run(QStringList{QStringLiteral("set")} + option);
        QCOMPARE(result.out, line + QStringLiteral(": unchanged\n"));

        result = run({QStringLiteral("restore")});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QVERIFY(result.out.contains(line + QStringLiteral(": saved\n")));
        QVERIFY(!domain().contains(key));
    }

    void loginOptionUsageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("not a word of the option") << QStringList{"set", "--power-buttons", "yes"};
        QTest::newRow("empty") << QStringList{"set", "--input-menu", ""};
        QTest::newRow("negative count") << QStringList{"set", "--password-hints", "-1"};
        QTest::newRow("count too large") << QStringList{"set", "--password-hints", "101"};
        QTest::newRow("not for restore") << QStringList{"restore", "--name-and-password", "yes"};
    }
    void loginOptionUsageErrors()
    {
        QFETCH(QStringList, arguments);
        const auto before = snapshot(m_volume->root());
        QCOMPARE(run(arguments).exitCode, 2);
        QCOMPARE(changedPaths(before, snapshot(m_volume->root())), QStringList());
    }

    void init()
    {
        m_volume = std::make_unique<TestVolume>();
        QVERIFY(m_volume->isValid());
        QVERIFY(QDir().mkpath(home()));
        const QString inputs = m_volume->scratch();
        m_logoFile = inputs + QStringLiteral("/logo.png");
        m_titleFile = inputs + QStringLiteral("/title.png");
        m_backgroundFile = inputs + QStringLiteral("/picture.jpg");
        QVERIFY(solidImage({64, 40}, Qt::red).save(m_logoFile));
        QVERIFY(solidImage({90, 30}, Qt::green).save(m_titleFile));
        QVERIFY(solidImage({160, 100}, Qt::blue).save(m_backgroundFile, "JPEG", 95));
    }

    void cleanup() { m_volume.reset(); }

    void showDescribesWhatTheWindowLoads_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<bool>("withDomain");
        QTest::addColumn<QString>("background");
        QTest::addColumn<QJsonValue>("message");

        QTest::newRow("10.4 with domain") << "10.4.11" << true << LoginWindow::kTigerDefaultBackground
                                          << QJsonValue(QStringLiteral("Welcome to the Lumora sample volume."));
        QTest::newRow("10.3 without domain")
            << "10.3.9" << false << LoginWindow::kDefaultBackground << QJsonValue(QJsonValue::Null);
    }
    void showDescribesWhatTheWindowLoads()
    {
        QFETCH(QString, release);
        QFETCH(bool, withDomain);
        QFETCH(QString, background);
        QFETCH(QJsonValue, message);
        SampleVolume::Options options;
        options.release = release;
        options.withDomain = withDomain;
        m_volume = std::make_unique<TestVolume>(options);
        QVERIFY(m_volume->isValid());

        const QJsonObject json = show();
        QCOMPARE(json.value("release").toString(), release);
        QCOMPARE(json.value("volume").toString(), m_volume->root());
        const QJsonObject logo = json.value("logo").toObject();
        QCOMPARE(logo.value("path").toString(), LoginWindow::kLogoFirstPlace);
        QCOMPARE(logo.value("hostPath").toString(), m_volume->hostPath(LoginWindow::kLogoFirstPlace));
        QCOMPARE(logo.value("place").toString(), QStringLiteral("first"));
        QCOMPARE(logo.value("valid").toBool(), true);
        QCOMPARE(json.value("title").toObject().value("place").toString(), QStringLiteral("first"));
        QCOMPARE(json.value("background").toObject().value("path").toString(), background);
        QCOMPARE(json.value("background").toObject().value("valid").toBool(), true);
        QCOMPARE(json.value("message"), message);
        QCOMPARE(json.value("hostInfo").toObject().value("name").toString(), QStringLiteral("HostName"));
        QCOMPARE(json.value("hostInfo").toObject().value("tag").toInt(), 1);

        const Run plain = run({QStringLiteral("show")});
        QCOMPARE(plain.exitCode, 0);
        QVERIFY2(plain.out.contains(QStringLiteral("host-info: HostName (tag 1)\n")), qPrintable(plain.out));
        // Without a domain the readers log, as the window's do, on stderr only.
        QCOMPARE(plain.err.contains(QStringLiteral("Unable to obtain loginwindow defaults")), !withDomain);
    }

    void showFallsBackToTheSecondPlace()
    {
        // The first-place logo gone, under every extension: the window loads
        // the second place, and show must say so.
        QVERIFY(QFile::remove(m_volume->hostPath(LoginWindow::kLogoFirstPlace)));
        const QJsonObject logo = show().value("logo").toObject();
        QCOMPARE(logo.value("place").toString(), QStringLiteral("second"));
        QCOMPARE(logo.value("path").toString(), LoginWindow::kLogoSecondPlace);
    }

    void setChangesOnlyWhatIsGiven_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::newRow("logo") << QStringList{"logo"};
        QTest::newRow("title") << QStringList{"title"};
        QTest::newRow("background") << QStringList{"background"};
        QTest::newRow("message") << QStringList{"message"};
        QTest::newRow("host information") << QStringList{"host information"};
        QTest::newRow("all together")
            << QStringList{"logo", "title", "background", "message", "host information"};
    }
    void setChangesOnlyWhatIsGiven()
    {
        QFETCH(QStringList, settings);
        const QString message = QStringLiteral("Authorised use only");
        const auto before = snapshot(m_volume->root());
        const QVariantMap domainBefore = domain();

        QStringList args{QStringLiteral("set")};
        QStringList mayChange;
        const QString domainFile = LoginWindow::kDomain + QStringLiteral(".plist");
        if (settings.contains("logo")) {
            args << "--logo" << m_logoFile;
            mayChange << LoginWindow::kLogoFirstPlace << LumoraLogin::backupPathForPath(LoginWindow::kLogoFirstPlace);
        }
        if (settings.contains("title")) {
            args << "--title" << m_titleFile;
            mayChange << LoginWindow::kTitleFirstPlace
                      << LumoraLogin::backupPathForPath(LoginWindow::kTitleFirstPlace);
        }
        if (settings.contains("background")) {
            args << "--background" << m_backgroundFile;
            mayChange << LoginWindow::kSharedSupportFolder << kInstalledBackground << domainFile;
        }
        if (settings.contains("message")) {
            args << "--message" << message;
            mayChange << domainFile;
        }
        if (settings.contains("host information")) {
            args << "--host-info" << "6";
            mayChange << domainFile;
        }

        const Run result = run(args);
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        for (const QString &setting : settings)
            QVERIFY2(result.out.contains(setting + QStringLiteral(": saved\n")), qPrintable(result.out));

        // Files of settings not given stay byte-for-byte as they were; the
        // save keeps the look it replaced in the history (in the shared folder).
        for (const QString &path : changedPaths(before, snapshot(m_volume->root())))
            QVERIFY2(mayChange.contains(path) || path == LoginWindow::kSharedSupportFolder
                         || path.startsWith(LookFiles::kFolder),
                     qPrintable(QStringLiteral("changed: ") + path));

        const QJsonObject json = show();
        const QVariantMap after = domain();
        auto keyKept = [&](const QString &key) { return after.value(key) == domainBefore.value(key); };

        if (settings.contains("logo")) {
            QCOMPARE(decoded(m_volume->hostPath(LoginWindow::kLogoFirstPlace)), decoded(m_logoFile));
            QCOMPARE(json.value("logo").toObject().value("valid").toBool(), true);
        }
        if (settings.contains("title"))
            QCOMPARE(decoded(m_volume->hostPath(LoginWindow::kTitleFirstPlace)), decoded(m_titleFile));
        if (settings.contains("background")) {
            // The preference names the picture as the login window sees it.
            QCOMPARE(after.value(LoginWindow::kDesktopPictureKey).toString(), kInstalledBackground);
            QCOMPARE(json.value("background").toObject().value("path").toString(), kInstalledBackground);
            const QImage installed = decoded(m_volume->hostPath(kInstalledBackground));
            QCOMPARE(installed.size(), QSize(160, 100));
            QVERIFY(closeTo(installed.pixelColor(80, 50), Qt::blue));
        } else {
            QVERIFY(keyKept(LoginWindow::kDesktopPictureKey));
        }
        if (settings.contains("message")) {
            QCOMPARE(after.value(LoginWindow::kMessageKey).toString(), message);
            QCOMPARE(json.value("message").toString(), message);
        } else {
            QVERIFY(keyKept(LoginWindow::kMessageKey));
        }
        if (settings.contains("host information")) {
            QCOMPARE(after.value(LoginWindow::kHostInfoKey).toString(), QStringLiteral("SystemVersion"));
            QCOMPARE(json.value("hostInfo").toObject().value("tag").toInt(), 6);
        } else {
            QVERIFY(keyKept(LoginWindow::kHostInfoKey));
        }
    }

    void messageArrivesAsWritten_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::addColumn<QString>("text");
        QTest::newRow("quotes, backslashes, newlines")
            << true << QStringLiteral("Say \"hello\"\\ to C:\\new\nsecond line\n\nlast \\\"line\\");
        QTest::newRow("percent signs and a leading dash") << true << QStringLiteral("-n 100% %@ %s");
        QTest::newRow("non-ASCII") << true << QStringLiteral("Grüße – ようこそ");
        QTest::newRow("on the command line") << false << QStringLiteral("Line one\nLine \"two\" \\");
    }
    void messageArrivesAsWritten()
    {
        QFETCH(bool, fromFile);
        QFETCH(QString, text);
        QStringList args{QStringLiteral("set")};
        if (fromFile) {
            const QString file = m_volume->scratch() + QStringLiteral("/message.txt");
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(text.toUtf8());
            out.close();
            args << "--message-file" << file;
        } else {
            args << "--message" << text;
        }
        const Run result = run(args);
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(domain().value(LoginWindow::kMessageKey).toString(), text);
        QCOMPARE(show().value("message").toString(), text);
    }

    // --message and --message-file take and refuse the same messages, with
    // the same exit status: one was once stored with U+FFFD for bytes that
    // are no text, and any length.
    void messageOptionsFollowOneRule_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("Latin-1") << QByteArray("Gr\xfc\xdf" "e") << 2 << "not UTF-8";
        QTest::newRow("cut sequence") << QByteArray("caf\xc3") << 2 << "not UTF-8";
        QTest::newRow("encoded surrogate") << QByteArray("a\xed\xa0\x80" "b") << 2 << "not UTF-8";
        QTest::newRow("one byte over") << QByteArray(65537, 'x') << 2 << "larger than 65536 bytes";
        QTest::newRow("over in characters of two bytes") << QString(32769, QChar(0xfc)).toUtf8() << 2
                                                         << "larger than 65536 bytes";
        QTest::newRow("at the limit") << QByteArray(65536, 'x') << 0 << QString();
        QTest::newRow("UTF-8 beyond the first plane") << QByteArray("Gr\xc3\xbc\xc3\x9f" "e \xf0\x9f\x94\x91") << 0
                                                      << QString();
    }
    void messageOptionsFollowOneRule()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, exitCode);
        QFETCH(QString, complaint);
        const QString file = m_volume->scratch() + QStringLiteral("/message.txt");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        out.close();

        const auto before = snapshot(m_volume->root());
        const Run given = runWithBytes({"set", "--message", bytes});
        QVERIFY2(given.exitCode == exitCode, qPrintable(given.err));
        QVERIFY2(given.err.contains(complaint), qPrintable(given.err));
        if (exitCode == 0) {
            QCOMPARE(domain().value(LoginWindow::kMessageKey).toString(), QString::fromUtf8(bytes));
            QVERIFY(run({"set", "--message", "other"}).exitCode == 0);
        } else {
            QCOMPARE(changedPaths(before, snapshot(m_volume->root())), QStringList());
        }

        const Run fromFile = run({"set", "--message-file", file});
        QVERIFY2(fromFile.exitCode == exitCode, qPrintable(fromFile.err));
        QVERIFY2(fromFile.err.contains(complaint), qPrintable(fromFile.err));
        if (exitCode == 0)
            QCOMPARE(domain().value(LoginWindow::kMessageKey).toString(), QString::fromUtf8(bytes));
    }

    // A preference file that is there but cannot be read was shown as the
    // stock look with exit 0, and set went on to save beside it.
    void unreadablePreferencesAreAnError_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("logged");
        QTest::newRow("FIFO") << "fifo" << "it is not a regular file" << "not a regular file";
        QTest::newRow("device node") << "device" << "it is not a regular file" << "not a regular file";
        QTest::newRow("link loop") << "loop" << "it is a link loop" << "a link loop";
        QTest::newRow("link off the volume") << "off" << "it is a link off the volume" << "a link off the volume";
        QTest::newRow("1 GiB, sparse") << "large" << "it is too large" << "too large";
        QTest::newRow("nested too deeply") << "deep" << "it is nested too deeply" << "nested too deeply";
        QTest::newRow("not a property list") << "text" << "it is not a property list" << "not a property list";
        QTest::newRow("an array, not a dictionary") << "array" << "it is not a property list" << "not a property list";
    }
    void unreadablePreferencesAreAnError()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QFETCH(QString, logged);
        const QString domainFile = m_volume->domainFile();
        const QByteArray name = QFile::encodeName(domainFile);
        QVERIFY(QFile::remove(domainFile));
        const auto write = [&domainFile](const QByteArray &bytes) {
            QFile file(domainFile);
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        if (kind == QLatin1String("fifo")) {
            QVERIFY(::mkfifo(name.constData(), 0644) == 0);
        } else if (kind == QLatin1String("device")) {
            if (::geteuid() != 0)
                QSKIP("making a device node needs root");
            QVERIFY(::mknod(name.constData(), S_IFCHR | 0644, makedev(1, 3)) == 0);
        } else if (kind == QLatin1String("loop")) {
            QVERIFY(QFile::link(QFileInfo(domainFile).fileName(), domainFile));
        } else if (kind == QLatin1String("off")) {
            const QString outside = m_volume->scratch() + QStringLiteral("/outside.plist");
            QFile file(outside);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(PropertyList::serialize(QVariantMap{{LoginWindow::kMessageKey, QStringLiteral("off")}},
                                                       PropertyList::Format::Xml))
                    > 0);
            QVERIFY(QFile::link(outside, domainFile));
        } else if (kind == QLatin1String("large")) {
            QFile file(domainFile);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(1) << 30));
        } else if (kind == QLatin1String("deep")) {
            QVERIFY(write("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key>" + QByteArray("<array>").repeated(100)
                          + QByteArray("</array>").repeated(100) + "</dict></plist>"));
        } else if (kind == QLatin1String("text")) {
            QVERIFY(write("LoginwindowText = hello\n"));
        } else {
            QVERIFY(write(PropertyList::serialize(QVariantList{QStringLiteral("a")}, PropertyList::Format::Xml)));
        }
        const auto before = entries(m_volume->root());

        for (const QStringList &arguments : {QStringList{"show"}, QStringList{"show", "--json"}}) {
            const Run shown = run(arguments);
            QCOMPARE(shown.exitCode, 1);
            QVERIFY2(shown.err.contains(QStringLiteral("cannot be read: ") + reason), qPrintable(shown.err));
            QVERIFY2(shown.err.contains(QStringLiteral("Unable to obtain loginwindow defaults: ") + logged),
                     qPrintable(shown.err));
            QCOMPARE(shown.out, QString());
        }
        const QStringList writes[] = {{"set", "--logo", m_logoFile, "--power-buttons", "hide"},
                                      {"set", "--check", "--message", "x"},
                                      {"restore"}};
        for (const QStringList &arguments : writes) {
            const Run refused = run(arguments);
            QCOMPARE(refused.exitCode, 1);
            QVERIFY2(refused.err.contains(reason), qPrintable(refused.err));
            QCOMPARE(refused.out, QString());
        }
        QCOMPARE(entries(m_volume->root()), before);
    }

    void emptyMessageRemovesIt()
    {
        const Run result = run({QStringLiteral("set"), QStringLiteral("--message"), QString()});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QVERIFY(!domain().contains(LoginWindow::kMessageKey));
        QVERIFY(show().value("message").isNull());
    }

    void restorePutsTheStockLookBack()
    {
        const QString logoPath = m_volume->hostPath(LoginWindow::kLogoFirstPlace);
        QFile original(logoPath);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray stockLogoBytes = original.readAll();
        original.close();

        Run result = run({"set", "--logo", m_logoFile, "--title", m_titleFile, "--background", m_backgroundFile,
                          "--message", "custom", "--host-info", "Time"});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));

        result = run({QStringLiteral("restore")});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        for (const char *setting : {"logo", "title", "background", "message", "host information"})
            QVERIFY(result.out.contains(QLatin1String(setting) + QStringLiteral(": saved\n")));

        const QString resources = m_volume->resources();
        QCOMPARE(decoded(logoPath), decoded(resources + QStringLiteral("/AppleLogo.tif")));
        QCOMPARE(decoded(m_volume->hostPath(LoginWindow::kTitleFirstPlace)),
                 decoded(resources + QStringLiteral("/AppleTitle.tif")));
        const QVariantMap after = domain();
        QVERIFY(!after.contains(LoginWindow::kDesktopPictureKey));
        QVERIFY(!after.contains(LoginWindow::kMessageKey));
        QCOMPARE(after.value(LoginWindow::kHostInfoKey).toString(), QStringLiteral("HostName"));
        // On 10.4 the default picture itself is rewritten from the stock one.
        QCOMPARE(decoded(m_volume->hostPath(LoginWindow::kTigerDefaultBackground)).size(),
                 QImage(resources + QStringLiteral("/AppleBackground.jpg")).size());
        // The one-time backup still holds the volume's own first logo.
        QFile backup(LumoraLogin::backupPathForPath(logoPath));
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QCOMPARE(backup.readAll(), stockLogoBytes);

        const QJsonObject json = show();
        QCOMPARE(json.value("background").toObject().value("path").toString(), LoginWindow::kTigerDefaultBackground);
        QVERIFY(json.value("message").isNull());
    }

    // Links on the volume that lead off it, as in a volume from anywhere:
    // the companion run as root changes nothing outside the volume, shows
    // nothing from outside it, and says which setting it could not save.
    void hostileVolumeLeavesTheHostAlone_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("aim");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("complaint");
        for (const auto aim : {HostileVolume::Aim::Absolute, HostileVolume::Aim::Climbing}) {
            const char *how = aim == HostileVolume::Aim::Absolute ? "absolute" : "climbing";
            QTest::addRow("restore, picture link, %s", how)
                << "picture link" << int(aim) << QStringList{"restore"} << 1 << "background: not saved";
            QTest::addRow("set background, support folder link, %s", how)
                << "support folder link" << int(aim) << QStringList{"set", "--background", "<picture>"} << 1
                << "background: not saved";
            QTest::addRow("show, resources folder link, %s", how)
                << "resources folder link" << int(aim) << QStringList{"show", "--json"} << 0 << QString();
            // Refused before anything is written, with the reason.
            QTest::addRow("set message, domain link, %s", how)
                << "domain link" << int(aim) << QStringList{"set", "--message", "hello"} << 1
                << "cannot be read: it is a link off the volume";
        }
        QTest::addRow("restore, link loops") << "link loop" << 0 << QStringList{"restore"} << 1
                                             << "background: not saved";
    }

    void hostileVolumeLeavesTheHostAlone()
    {
        QFETCH(QString, layout);
        QFETCH(int, aim);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, complaint);
        HostileVolume::Decoy decoy;
        QVERIFY(decoy.isValid());
        QVERIFY(HostileVolume::plant(layout, m_volume->root(), decoy, HostileVolume::Aim(aim)));
        arguments.replaceInStrings(QStringLiteral("<picture>"), m_backgroundFile);
        const auto before = decoy.checksums();

        const Run result = run(arguments);
        QVERIFY2(result.exitCode == exitCode, qPrintable(result.err));
        if (!complaint.isEmpty())
            QVERIFY2(result.err.contains(complaint), qPrintable(result.err));
        QVERIFY2(!result.out.contains(decoy.path()), qPrintable(result.out));
        QCOMPARE(decoy.checksums(), before);
        QCOMPARE(QDir(decoy.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 4);
    }

    void badInputChangesNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("complaint");
        // Each row also asks for a valid message, so a half-applied run shows.
        QTest::newRow("missing logo") << QStringList{"set", "--message", "x", "--logo", "@/nothing.png"}
                                      << "does not exist";
        QTest::newRow("title that is not an image")
            << QStringList{"set", "--message", "x", "--title", "@/notes.txt"} << "cannot be read as an image";
        QTest::newRow("folder as background")
            << QStringList{"set", "--message", "x", "--background", "@"} << "is not a file";
        QTest::newRow("background that is not an image")
            << QStringList{"set", "--message", "x", "--background", "@/notes.txt"} << "cannot be read as an image";
        QTest::newRow("background cut short")
            << QStringList{"set", "--message", "x", "--background", "@/cut.jpg"} << "cannot be read as an image";
        QTest::newRow("missing message file") << QStringList{"set", "--message-file", "@/nothing.txt", "--logo",
                                                             "@/logo.png"}
                                              << "cannot be read";
        QTest::newRow("message file that is not UTF-8")
            << QStringList{"set", "--message-file", "@/latin1.txt"} << "is not UTF-8";
        QTest::newRow("message file with a NUL")
            << QStringList{"set", "--message-file", "@/nul.txt"} << "NUL";
        QTest::newRow("host-info out of range") << QStringList{"set", "--message", "x", "--host-info", "7"}
                                                << "neither a name nor a tag";
        QTest::newRow("both message options")
            << QStringList{"set", "--message", "x", "--message-file", "@/notes.txt"} << "exclude each other";
        QTest::newRow("option given twice")
            << QStringList{"set", "--logo", "@/logo.png", "--logo", "@/title.png"} << "given twice";
        QTest::newRow("unknown option") << QStringList{"set", "--message", "x", "--colour", "red"}
                                        << "unknown argument";
        QTest::newRow("nothing to set") << QStringList{"set"} << "nothing to set";
        QTest::newRow("no command") << QStringList{} << "no command";
        QTest::newRow("unknown command") << QStringList{"paint"} << "unknown command";
        QTest::newRow("partition without an image") << QStringList{"show", "--partition", "2"} << "with --image";
        QTest::newRow("missing disk image") << QStringList{"set", "--message", "x", "--image", "@/nothing.img"}
                                            << "no disk image";
    }
    void badInputChangesNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, complaint);
        const QString inputs = m_volume->scratch();
        for (QString &argument : arguments)
            argument.replace(QLatin1Char('@'), inputs);
        auto write = [&inputs](const char *name, const QByteArray &bytes) {
            QFile file(inputs + QLatin1Char('/') + QLatin1String(name));
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        QVERIFY(write("notes.txt", "not a picture\n"));
        QVERIFY(write("latin1.txt", "Gr\xfc\xdf" "e\n"));
        QVERIFY(write("nul.txt", QByteArray("before\0after", 12)));
        // Cut within its data: Qt's reader would make up the lower half.
        QImage picture(400, 300, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "JPEG", 90));
        QVERIFY(write("cut.jpg", jpeg.left(jpeg.size() / 2)));
        const auto before = snapshot(m_volume->root());

        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 2);
        QVERIFY2(result.err.contains(complaint), qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
        QCOMPARE(changedPaths(before, snapshot(m_volume->root())), QStringList());
        // Not even the staging folder was made.
        QVERIFY(!QFileInfo::exists(stagingFolder()));
    }

    void failedStepIsNamedAndTheRestSaved()
    {
        // A folder where the logo's staging file goes: writing it fails for
        // any user, root included.
        QVERIFY(QDir().mkpath(stagingFolder() + QStringLiteral("/logo.tif")));
        const auto before = snapshot(m_volume->root());

        const Run result = run({"set", "--logo", m_logoFile, "--message", "still saved"});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(QStringLiteral("logo: not saved")), qPrintable(result.err));
        QVERIFY2(result.err.contains(QStringLiteral("Failed to save logo to temp file")), qPrintable(result.err));
        QVERIFY(result.out.contains(QStringLiteral("message: saved\n")));
        QVERIFY(!result.err.contains(QStringLiteral("message:")));
        QCOMPARE(snapshot(m_volume->root()).value(LoginWindow::kLogoFirstPlace),
                 before.value(LoginWindow::kLogoFirstPlace));
        QCOMPARE(domain().value(LoginWindow::kMessageKey).toString(), QStringLiteral("still saved"));
    }

    void checkUpdatesTellsTheOutcome_data()
    {
        QTest::addColumn<QString>("latest");
        QTest::addColumn<QString>("expected");
        QTest::newRow("up to date") << "1.0.0"
                                    << "Lumora Login is up to date\nYou have the most recent version of Lumora Login.\n";
        QTest::newRow("newer release")
            << "2.0"
            << "A new version is available\nLumora Login version 2.0 is available.  You have version 1.0.0 "
               "installed.  Here are some of the features of version 2.0:\n\nFaster saving\n100% more %@\n"
               "Would you like to download the new version now?\nDownload: http://example.org/get/2.0\n";
    }
    void checkUpdatesTellsTheOutcome()
    {
        QFETCH(QString, latest);
        QFETCH(QString, expected);
        QCOMPARE(m_volume->bundle().version(), QStringLiteral("1.0.0"));
        const QByteArray list = QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>%1</key><dict><key>osVersion=10.4</key><dict>"
            "<key>latestVersion</key><string>%2</string>"
            "<key>newFeatures</key><string>Faster saving\n100% more %@</string>"
            "<key>downloadURL</key><string>http://example.org/get/2.0</string>"
            "</dict></dict></dict></plist>\n").arg(m_volume->bundle().bundleIdentifier(), latest).toUtf8();
        OneBodyServer server(list);
        QVERIFY(server.port() != 0);
        QVERIFY(pointUpdatesAt(QStringLiteral("http://127.0.0.1:%1/versions.txt").arg(server.port())));

        const Run result = run({QStringLiteral("check-updates")});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out, expected);
    }

    void checkUpdatesPrintsThePanel()
    {
        // Both addresses on a loopback port that nothing listens on.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QString address = QStringLiteral("http://127.0.0.1:%1/versions.txt").arg(server.serverPort());
        server.close();
        QVERIFY(pointUpdatesAt(address));

        const Run result = run({QStringLiteral("check-updates")});
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.out, QStringLiteral("Unable to check for updates\n"
                                            "Lumora Login was unable to check for updates.  Please make sure "
                                            "you are connected to the internet and try again.\n"));
        QVERIFY(!result.out.contains(QStringLiteral("Download:")));
    }

    void sudoWithoutTerminalFailsCleanly()
    {
        // The sudo back end as an ordinary user in a session without a
        // terminal, as under cron or Ansible: the password cannot be asked
        // for, so the save must fail at once, say so and change nothing.
        if (::geteuid() != 0)
            QSKIP("needs root to run the companion as another user");
        if (!QFileInfo(QStringLiteral("/usr/bin/sudo")).isExecutable())
            QSKIP("sudo is not installed");
        auto asNobody = [] {
            // A new session has no controlling terminal.
            if (::setsid() < 0 || ::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        };
        QProcess probe;
        probe.setChildProcessModifier(asNobody);
        probe.start(QStringLiteral("/usr/bin/test"), {QStringLiteral("-x"), m_tool});
        if (!probe.waitForFinished() || probe.exitCode() != 0)
            QSKIP("the build folder is out of reach of an unprivileged user");
        const QString top = QFileInfo(m_volume->root()).path();
        QVERIFY(QProcess::execute(QStringLiteral("/bin/chown"), {"-R", "65534:65534", top}) == 0);
        const auto before = snapshot(m_volume->root());

        // A prompt waiting for an answer would run into run()'s limit and fail here.
        const Run result = run({"set", "--message", "not without a password", "--host-info", "Time"},
                               QStringLiteral("sudo"), asNobody);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(QStringLiteral("message: not saved")), qPrintable(result.err));
        QVERIFY(result.err.contains(QStringLiteral("host information: not saved")));
        // No terminal to ask on counts as no answer: one request, then none.
        QCOMPARE(result.err.count(QStringLiteral("no administrator password was given; nothing more was written")), 1);
        QVERIFY(!result.out.contains(QStringLiteral("saved")));
        QCOMPARE(changedPaths(before, snapshot(m_volume->root())), QStringList());
    }

    // Refused before the save begins: no staging folder, no lock, no
    // password, nothing written; reading and comparing still work.
    void readOnlyMountIsRefusedBeforeAnything()
    {
        ReadOnlyMount mount(m_volume->root());
        if (!mount.isMounted())
            QSKIP(qPrintable(mount.why()));
        const auto before = snapshot(m_volume->root());
        const QString reason = QStringLiteral("%1 is mounted read-only").arg(mount.path());
        for (const QStringList &arguments : {QStringList{"set", "--message", "never"}, QStringList{"restore"}}) {
            const Run result = run(QStringList{"--root", mount.path()} + arguments, QStringLiteral("sudo"));
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.err.contains(reason), qPrintable(result.err));
            QVERIFY2(!result.err.contains(QStringLiteral("not saved")), qPrintable(result.err));
            QVERIFY(result.out.isEmpty());
        }
        QCOMPARE(changedPaths(before, snapshot(m_volume->root())), QStringList());
        QVERIFY(!QFileInfo::exists(stagingFolder()));
        QCOMPARE(run({"--root", mount.path(), "show"}).exitCode, 0);
        QCOMPARE(run({"--root", mount.path(), "set", "--message", "never", "--check"}).exitCode, 0);
    }

    void helpOnlyWhereAnOptionStands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        // The saved message; null: the usage is shown, empty: refused; neither writes.
        QTest::addColumn<QString>("message");
        QTest::newRow("-h as the message") << QStringList{"set", "--message", "-h"} << 0 << "-h";
        QTest::newRow("--help as the message, then an option")
            << QStringList{"set", "--message", "--help", "--host-info", "Time"} << 0 << "--help";
        QTest::newRow("-h as a file") << QStringList{"set", "--message", "x", "--logo", "-h"} << 2 << "";
        QTest::newRow("-h after a value") << QStringList{"set", "--message", "x", "-h"} << 0 << QString();
        QTest::newRow("set -h") << QStringList{"set", "-h"} << 0 << QString();
        QTest::newRow("restore -h") << QStringList{"restore", "-h"} << 0 << QString();
        QTest::newRow("show --help") << QStringList{"show", "--help"} << 0 << QString();
    }
    void helpOnlyWhereAnOptionStands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const auto before = snapshot(m_volume->root());
        const Run result = run(arguments);
        QVERIFY2(result.exitCode == exitCode, qPrintable(result.err));
        const bool usage = result.out.startsWith(QStringLiteral("Usage: lumora-loginctl"));
        if (message.isNull()) {
            QVERIFY(usage);
            QCOMPARE(changedPaths(before, snapshot(m_volume->root())), QStringList());
        } else if (exitCode == 0) {
            QVERIFY(!usage);
            QCOMPARE(domain().value(LoginWindow::kMessageKey).toString(), message);
        } else {
            QVERIFY2(result.err.contains(QStringLiteral("-h does not exist")), qPrintable(result.err));
            QCOMPARE(changedPaths(before, snapshot(m_volume->root())), QStringList());
        }
    }

    void helpAndVersion()
    {
        Run result = run({QStringLiteral("--help")});
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.contains(QStringLiteral("lumora-loginctl COMMAND")));
        result = run({QStringLiteral("--version")});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QStringLiteral("lumora-loginctl %1\n").arg(m_volume->bundle().version()));
    }
};

QTEST_GUILESS_MAIN(TestLoginCtl)
#include "tst_loginctl.moc"
