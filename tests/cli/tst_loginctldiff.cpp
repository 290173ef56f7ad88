// Black-box tests of what lumora-loginctl knows before it writes: a setting
// the volume already holds is left alone, --check writes nothing, and
// --json reports both. The built program runs on throwaway volumes with the
// direct back end; the volume is compared file by file, bytes and times.

#include "platform/LoginWindow.h"
#include "platform/PreferenceDomain.h"
#include "tests/fakes/CompanionRun.h"
#include "tests/fakes/TestVolume.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>

namespace {

using Run = CompanionRun;

QString sha256Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
}

// Every entry under `root`: its kind, mode, modification time to the
// nanosecond and, for a file, the digest of its bytes. A missing root is
// an empty map.
QMap<QString, QString> snapshot(const QString &root)
{
    QMap<QString, QString> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            continue;
        entries.insert(path.mid(root.size()), QStringLiteral("%1 %2.%3 %4")
                                                  .arg(info.st_mode, 0, 8)
                                                  .arg(info.st_mtim.tv_sec)
                                                  .arg(info.st_mtim.tv_nsec)
                                                  .arg(S_ISREG(info.st_mode) ? sha256Of(path) : QString()));
    }
    return entries;
}

QStringList differences(const QMap<QString, QString> &before, const QMap<QString, QString> &after)
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

QImage solid(const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

const QStringList kAllSettings{"logo",           "title",         "background", "message", "host information",
                               "name and password", "power buttons", "input menu", "password hints"};

QString lines(const QStringList &settings, const QString &outcome)
{
    QString text;
    for (const QString &setting : settings)
        text += setting + QStringLiteral(": ") + outcome + QLatin1Char('\n');
    return text;
}

} // namespace

class TestLoginCtlDiff : public QObject {
    Q_OBJECT

private:
    QString m_tool;
    std::unique_ptr<TestVolume> m_volume;
    QString m_logo, m_title, m_background;

    QString home() const { return m_volume->scratch() + QStringLiteral("/home"); }

    CompanionSetup setup() const { return {m_tool, home(), m_volume->resources(), m_volume->root()}; }

    Run run(const QStringList &arguments)
    {
        return runCompanion(setup(), arguments);
    }

    QJsonObject runJson(const QStringList &arguments, int exitCode = 0)
    {
        const Run result = run(arguments);
        if (result.exitCode != exitCode) {
            qWarning() << "exit" << result.exitCode << result.err;
            return {};
        }
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(result.out.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError)
            qWarning() << "not JSON:" << result.out;
        return document.object();
    }

    QStringList lookArguments() const
    {
        return {"set", "--logo", m_logo, "--title", m_title, "--background", m_background,
                "--message", "Authorised use only.\nSecond line", "--name-and-password", "yes", "--power-buttons",
                "hide", "--input-menu", "show", "--password-hints", "3", "--host-info", "serialnumber"};
    }

    QString storedHostInfo() const
    {
        return persistentDomainForName(m_volume->volume(), LoginWindow::kDomain)
            .value_or(QVariantMap())
            .value(LoginWindow::kHostInfoKey)
            .toString();
    }

    // The input pictures, in the volume's scratch folder.
    void makeInputs()
    {
        const QString inputs = m_volume->scratch();
        m_logo = inputs + QStringLiteral("/logo.png");
        m_title = inputs + QStringLiteral("/title.png");
        m_background = inputs + QStringLiteral("/picture.jpg");
        // The logo is half transparent, the title a palette image: both go
        // through the TIFF encoder's conversions.
        QImage logo = solid({64, 40}, QColor(255, 0, 0, 128));
        logo.setPixelColor(3, 3, QColor(0, 0, 0, 0));
        QVERIFY(logo.save(m_logo));
        QVERIFY(solid({90, 30}, Qt::green).convertToFormat(QImage::Format_Indexed8).save(m_title));
        QVERIFY(solid({160, 100}, Qt::blue).save(m_background, "JPEG", 90));
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_tool = QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-loginctl");
        QVERIFY2(QFileInfo(m_tool).isExecutable(), qPrintable(m_tool));
    }

    void init()
    {
        m_volume = std::make_unique<TestVolume>();
        QVERIFY(m_volume->isValid());
        makeInputs();
    }

    void cleanup() { m_volume.reset(); }

    void setTwiceLeavesEverythingAloneTheSecondTime_data()
    {
        QTest::addColumn<QString>("hostInfo");
        QTest::newRow("the same word") << "serialnumber";
        QTest::newRow("canonical name") << "SerialNumber";
        QTest::newRow("tag") << "4";
    }
    void setTwiceLeavesEverythingAloneTheSecondTime()
    {
        QFETCH(QString, hostInfo);
        Run result = run(lookArguments());
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out, lines(kAllSettings, QStringLiteral("saved")));
        QCOMPARE(storedHostInfo(), QStringLiteral("SerialNumber"));

        const auto volume = snapshot(m_volume->root());
        const auto ownFiles = snapshot(home());
        QStringList again = lookArguments();
        again.last() = hostInfo;
        result = run(again);
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out, lines(kAllSettings, QStringLiteral("unchanged")));
        QCOMPARE(differences(volume, snapshot(m_volume->root())), QStringList());
        // Nothing to save: not even the save lock or a staging file.
        QCOMPARE(differences(ownFiles, snapshot(home())), QStringList());
    }

    void checkWritesNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("set, all differ")
            << QStringList{"set", "--logo", "@logo", "--message", "new", "--host-info", "time"}
            << "logo: would change\nmessage: would change\nhost information: would change\n";
        QTest::newRow("set, what the volume has")
            << QStringList{"set", "--message", "Welcome to the Lumora sample volume.", "--host-info", "1"}
            << "message: unchanged\nhost information: unchanged\n";
        // The sample volume shows its own stock look (its 10.4 picture named by
        // no key) but names a message.
        QTest::newRow("restore") << QStringList{"restore"}
                                 << "logo: unchanged\ntitle: unchanged\nbackground: unchanged\n"
                                    "message: would change\nhost information: unchanged\n"
                                    "name and password: unchanged\npower buttons: unchanged\ninput menu: unchanged\n"
                                    "password hints: unchanged\n";
    }
    void checkWritesNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        arguments.replaceInStrings(QStringLiteral("@logo"), m_logo);
        const auto volume = snapshot(m_volume->root());
        for (const bool json : {false, true}) {
            QStringList checked = QStringList(arguments) << QStringLiteral("--check");
            if (json)
                checked << QStringLiteral("--json");
            const Run result = run(checked);
            QVERIFY2(result.exitCode == 0, qPrintable(result.err));
            if (!json)
                QCOMPARE(result.out, expected);
            else
                QCOMPARE(QJsonDocument::fromJson(result.out.toUtf8()).object().value("changed").toBool(),
                         expected.contains(QStringLiteral("would change")));
            QCOMPARE(differences(volume, snapshot(m_volume->root())), QStringList());
            // No staging file, no lock, no preference: the home stays empty.
            QVERIFY2(!QFileInfo::exists(home()), qPrintable(snapshot(home()).keys().join(' ')));
        }
    }

    void jsonTellsWhatChangesFromWhatToWhat()
    {
        const QString logoPath = m_volume->hostPath(LoginWindow::kLogoFirstPlace);
        const QString stockLogo = sha256Of(logoPath);
        const QString shownBackground = sha256Of(m_volume->hostPath(LoginWindow::kTigerDefaultBackground));
        const QStringList arguments{"set", "--logo", m_logo, "--background", m_background,
                                    "--message", "Hello", "--host-info", "TIME", "--json"};

        QJsonObject json = runJson(arguments);
        QCOMPARE(json.value("changed").toBool(), true);
        const QJsonObject settings = json.value("settings").toObject();
        QCOMPARE(settings.keys(), (QStringList{"background", "hostInfo", "logo", "message"}));
        for (const QString &key : settings.keys())
            QCOMPARE(settings.value(key).toString(), QStringLiteral("saved"));
        QJsonObject before = json.value("diff").toObject().value("before").toObject();
        QJsonObject after = json.value("diff").toObject().value("after").toObject();
        QCOMPARE(before.value("message").toString(), QStringLiteral("Welcome to the Lumora sample volume."));
        QCOMPARE(after.value("message").toString(), QStringLiteral("Hello"));
        QCOMPARE(before.value("hostInfo").toString(), QStringLiteral("HostName"));
        QCOMPARE(after.value("hostInfo").toString(), QStringLiteral("Time"));
        QCOMPARE(before.value("logo").toString(), stockLogo);
        QCOMPARE(after.value("logo").toString(), sha256Of(logoPath));
        QVERIFY(stockLogo != sha256Of(logoPath));
        QCOMPARE(before.value("background").toString(), shownBackground);
        QCOMPARE(after.value("background").toString(), sha256Of(m_volume->hostPath(LoginWindow::kInstalledBackground)));

        // The same request once more, as a check: everything holds.
        json = runJson(QStringList(arguments) << QStringLiteral("--check"));
        QCOMPARE(json.value("changed").toBool(), false);
        for (const QJsonValue &outcome : json.value("settings").toObject())
            QCOMPARE(outcome.toString(), QStringLiteral("unchanged"));
        before = json.value("diff").toObject().value("before").toObject();
        after = json.value("diff").toObject().value("after").toObject();
        QCOMPARE(before, after);

        // Removing the message: before it is the text, after it is null.
        json = runJson({"set", "--message", "", "--json", "--check"});
        QCOMPARE(json.value("settings").toObject().value("message").toString(), QStringLiteral("would change"));
        QCOMPARE(json.value("diff").toObject().value("before").toObject().value("message").toString(),
                 QStringLiteral("Hello"));
        QVERIFY(json.value("diff").toObject().value("after").toObject().value("message").isNull());
    }

    void failedSettingIsReportedInTheObject()
    {
        // A folder where the logo's staging file goes: that step fails.
        QVERIFY(QDir().mkpath(home() + QStringLiteral("/data/Lumora Login/logo.tif")));
        const QJsonObject json = runJson({"set", "--logo", m_logo, "--message", "still saved", "--json"}, 1);
        QCOMPARE(json.value("changed").toBool(), true);
        QCOMPARE(json.value("settings").toObject().value("logo").toString(), QStringLiteral("failed"));
        QCOMPARE(json.value("settings").toObject().value("message").toString(), QStringLiteral("saved"));
    }

    void restoreTwiceChangesNothingTheSecondTime_data()
    {
        QTest::addColumn<QString>("release");
        QTest::newRow("10.4") << "10.4.11";
        QTest::newRow("10.3") << "10.3.9";
    }
    void restoreTwiceChangesNothingTheSecondTime()
    {
        QFETCH(QString, release);
        SampleVolume::Options options;
        options.release = release;
        m_volume = std::make_unique<TestVolume>(options);
        QVERIFY(m_volume->isValid());
        makeInputs();
        Run result = run(lookArguments());
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));

        result = run({QStringLiteral("restore")});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out, lines(kAllSettings, QStringLiteral("saved")));

        const auto volume = snapshot(m_volume->root());
        result = run({QStringLiteral("restore")});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out, lines(kAllSettings, QStringLiteral("unchanged")));
        QCOMPARE(differences(volume, snapshot(m_volume->root())), QStringList());
        QCOMPARE(runJson({QStringLiteral("restore"), QStringLiteral("--json")}).value("changed").toBool(), false);
        QCOMPARE(differences(volume, snapshot(m_volume->root())), QStringList());
    }

    void logoHoldsByPixelsBackgroundOnlyByBytes()
    {
        // The logo's pixels in differently encoded TIFF files: the same
        // picture holds, one pixel off does not.
        const QString logoPath = m_volume->hostPath(LoginWindow::kLogoFirstPlace);
        const QImage pixels(m_logo);
        auto installLogo = [&](const QImage &image) {
            QImageWriter writer(logoPath, "tiff");
            writer.setCompression(1); // LZW: other bytes than the encoder Save uses
            return writer.write(image);
        };
        QVERIFY(installLogo(pixels));
        QCOMPARE(run({"set", "--logo", m_logo, "--check"}).out, QStringLiteral("logo: unchanged\n"));
        QImage changed = pixels.convertToFormat(QImage::Format_ARGB32);
        changed.setPixelColor(10, 10, QColor(255, 0, 0, 129));
        QVERIFY(installLogo(changed));
        QCOMPARE(run({"set", "--logo", m_logo, "--check"}).out, QStringLiteral("logo: would change\n"));

        // A background that looks the same but has other bytes is written.
        Run result = run({"set", "--background", m_background});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        const QString installed = m_volume->hostPath(LoginWindow::kInstalledBackground);
        const QStringList check{"set", "--background", m_background, "--check"};
        QVERIFY(QImage(installed).save(installed, "JPEG", 80));
        QCOMPARE(run(check).out, QStringLiteral("background: would change\n"));
        QVERIFY(run({"set", "--background", m_background}).exitCode == 0);
        QCOMPARE(run(check).out, QStringLiteral("background: unchanged\n"));
        // Once no longer named in the preference, the picture is gone and
        // a set has it to write again.
        result = run({"restore"});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QVERIFY(!QFileInfo::exists(installed));
        QCOMPARE(run(check).out, QStringLiteral("background: would change\n"));
    }

    void hostInfoIsStoredAndShownCanonically()
    {
        // A value written by hand in another case is not the canonical one:
        // set writes it again, and show names the canonical form.
        const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-defaults");
        QCOMPARE(QProcess::execute(tool, {"write", m_volume->hostPath(LoginWindow::kDomain),
                                          LoginWindow::kHostInfoKey, "serialnumber"}),
                 0);
        QCOMPARE(run({"set", "--host-info", "SerialNumber", "--check"}).out,
                 QStringLiteral("host information: would change\n"));
        QCOMPARE(run({"set", "--host-info", "sErIaLnUmBeR"}).out, QStringLiteral("host information: saved\n"));
        QCOMPARE(storedHostInfo(), QStringLiteral("SerialNumber"));
        const QJsonObject shown = runJson({"show", "--json"}).value("hostInfo").toObject();
        QCOMPARE(shown.value("name").toString(), QStringLiteral("SerialNumber"));
        QCOMPARE(shown.value("tag").toInt(), 4);
    }

    void checkAndJsonOnlyWhereTheyBelong()
    {
        for (const QStringList &arguments : {QStringList{"show", "--check"}, QStringList{"check-updates", "--json"}}) {
            const Run result = run(arguments);
            QCOMPARE(result.exitCode, 2);
            QVERIFY2(result.err.contains(QStringLiteral("unknown argument")), qPrintable(result.err));
        }
    }

    // A stock logo that does not decode is still the volume's own: set backs
    // it up and restore puts its bytes back. One larger than any image
    // (sparse, so it costs no disk) is refused by name and left as it is,
    // never read whole.
    void stockLogoThatDoesNotDecode_data()
    {
        QTest::addColumn<QString>("stock");
        QTest::addColumn<int>("setStatus");
        QTest::newRow("cut short") << "cut short" << 0;
        QTest::newRow("not a picture") << "not a picture" << 0;
        QTest::newRow("sparse, 100 GB") << "sparse" << 1;
    }

    void stockLogoThatDoesNotDecode()
    {
        QFETCH(QString, stock);
        QFETCH(int, setStatus);
        const QString logo = m_volume->hostPath(LoginWindow::kLogoFirstPlace);
        const QString backup = QString(logo).replace(QStringLiteral("applelogo.tif"), QStringLiteral("applelogo_Original.tif"));
        QFile file(logo);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (stock == QLatin1String("cut short"))
            QVERIFY(file.resize(300));
        else if (stock == QLatin1String("not a picture"))
            QVERIFY(file.resize(0) && file.write("Not a picture at all") > 0);
        else
            QVERIFY(file.resize(qint64(100) << 30));
        file.close();
        const QString original = stock == QLatin1String("sparse") ? QString() : sha256Of(logo);

        QElapsedTimer timer;
        timer.start();
        Run result = run({"set", "--logo", m_logo});
        QVERIFY2(result.exitCode == setStatus, qPrintable(result.err));
        if (setStatus != 0) {
            QVERIFY2(result.err.contains(LoginWindow::kLogoFirstPlace + QStringLiteral(" is too large to be an image")),
                     qPrintable(result.err));
            QCOMPARE(QFileInfo(logo).size(), qint64(100) << 30);
            QVERIFY(!QFileInfo::exists(backup));
        } else {
            QCOMPARE(sha256Of(backup), original);
        }

        result = run({"restore"});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QVERIFY2(result.out.startsWith(setStatus == 0 ? QStringLiteral("logo: saved\n") : QStringLiteral("logo: unchanged\n")),
                 qPrintable(result.out));
        if (setStatus == 0)
            QCOMPARE(sha256Of(logo), original);
        else
            QCOMPARE(QFileInfo(logo).size(), qint64(100) << 30);
        result = run({"restore"});
        QVERIFY2(result.exitCode == 0 && result.out.startsWith(QStringLiteral("logo: unchanged\n")), qPrintable(result.out));
        QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
    }

    // A backup larger than any image is refused by name, and the logo in
    // place stays.
    void oversizedBackupIsRefused()
    {
        QVERIFY(run({"set", "--logo", m_logo}).exitCode == 0);
        const QString logo = m_volume->hostPath(LoginWindow::kLogoFirstPlace);
        const QString backup = QString(logo).replace(QStringLiteral("applelogo.tif"), QStringLiteral("applelogo_Original.tif"));
        QVERIFY(QFile::resize(backup, qint64(4) << 30));
        const QString installed = sha256Of(logo);
        const Run result = run({"restore"});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(QStringLiteral("applelogo_Original.tif is too large to be an image")), qPrintable(result.err));
        QVERIFY2(result.err.contains(QStringLiteral("logo: not saved")), qPrintable(result.err));
        QCOMPARE(sha256Of(logo), installed);
    }

    // Text from the volume reaches the terminal with its control characters
    // escaped (line breaks and tabs aside); --json keeps it exact.
    void controlCharactersAreShownEscaped_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        auto text = [](std::initializer_list<QString> parts) {
            QString joined;
            for (const QString &part : parts)
                joined += part;
            return joined;
        };
        const QString esc(QChar(0x1b));
        QTest::newRow("window title") << text({"a", esc, "]0;owned", QString(QChar(0x07)), "b"})
                                      << QStringLiteral("a\\x1b]0;owned\\x07b");
        QTest::newRow("colour") << text({esc, "[31mred"}) << QStringLiteral("\\x1b[31mred");
        QTest::newRow("backspace") << text({"x", QString(QChar(0x08)), "y"}) << QStringLiteral("x\\x08y");
        QTest::newRow("C1 introducer and DEL") << text({"p", QString(QChar(0x9b)), "q", QString(QChar(0x7f))})
                                               << QStringLiteral("p\\u009bq\\u007f");
        QTest::newRow("accents kept") << text({"caf", QString(QChar(0xe9)), " ok"})
                                      << text({"caf", QString(QChar(0xe9)), " ok"});
    }

    void controlCharactersAreShownEscaped()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QVERIFY(run({"set", "--message", message}).exitCode == 0);
        const Run plain = run({"show"});
        QCOMPARE(plain.exitCode, 0);
        QVERIFY2(plain.out.contains(QStringLiteral("\nmessage: ") + shown + QLatin1Char('\n')), qPrintable(plain.out));
        for (const QChar c : plain.out)
            QVERIFY2(c == QLatin1Char('\n') || c == QLatin1Char('\t') || !(c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f)),
                     qPrintable(QString::number(c.unicode(), 16)));
        QCOMPARE(runJson({"show", "--json"}).value(QStringLiteral("message")).toString(), message);
    }

    // Two saves at once, asking for crossed settings: each decided what was
    // "unchanged" before the other wrote, and the volume ended with one's
    // background and the other's buttons. Each round must end in a state
    // one of them asked for, and the save that ran last (whose state it is)
    // must report both settings saved: the other's state was there first.
    void crossedSavesEndAsOneOfThem()
    {
        const QString red = m_volume->scratch() + QStringLiteral("/red.png");
        QVERIFY(solid({160, 100}, Qt::red).save(red));
        const Run first = run({"set", "--power-buttons", "show"});
        QVERIFY2(first.exitCode == 0, qPrintable(first.err));
        const QString domainFile = m_volume->domainFile();
        QFile domain(domainFile);
        QVERIFY(domain.open(QIODevice::ReadOnly));
        const QByteArray start = domain.readAll();
        domain.close();
        const QString installed = m_volume->hostPath(LoginWindow::kInstalledBackground);

        struct Request {
            QStringList arguments;
            QColor background;
            bool powerOffDisabled;
        };
        const Request requests[] = {{{"set", "--background", red, "--power-buttons", "show"}, Qt::red, false},
                                    {{"set", "--background", m_background, "--power-buttons", "hide"}, Qt::blue, true}};
        for (int round = 0; round < 6; ++round) {
            QFile reset(domainFile);
            QVERIFY(reset.open(QIODevice::WriteOnly | QIODevice::Truncate) && reset.write(start) == start.size());
            reset.close();
            QFile::remove(installed);

            QProcess processes[2];
            for (int i = 0; i < 2; ++i) {
                processes[i].setProcessEnvironment(companionEnvironment(setup()));
                processes[i].start(m_tool, requests[i].arguments);
            }
            QString outputs[2];
            for (int i = 0; i < 2; ++i) {
                QVERIFY(processes[i].waitForFinished(60000));
                outputs[i] = QString::fromUtf8(processes[i].readAllStandardOutput());
                QVERIFY2(processes[i].exitCode() == 0, processes[i].readAllStandardError().constData());
            }

            const QImage background = QImage(installed).convertToFormat(QImage::Format_RGB32);
            QVERIFY(!background.isNull());
            const QColor seen = background.pixelColor(80, 50);
            const bool disabled = persistentDomainForName(m_volume->volume(), LoginWindow::kDomain)
                                      .value_or(QVariantMap())
                                      .value(LoginWindow::kPowerOffDisabledKey)
                                      .toBool();
            int last = -1;
            for (int i = 0; i < 2; ++i) {
                const QColor asked = requests[i].background;
                if (qAbs(seen.red() - asked.red()) < 16 && qAbs(seen.blue() - asked.blue()) < 16
                    && disabled == requests[i].powerOffDisabled)
                    last = i;
            }
            QVERIFY2(last >= 0, qPrintable(QStringLiteral("round %1: background %2, power buttons %3; reports:\n%4\n%5")
                                               .arg(round)
                                               .arg(seen.name(), disabled ? "hidden" : "shown", outputs[0], outputs[1])));
            QCOMPARE(outputs[last], lines({"background", "power buttons"}, QStringLiteral("saved")));
        }
    }
};

QTEST_GUILESS_MAIN(TestLoginCtlDiff)
#include "tst_loginctldiff.moc"
