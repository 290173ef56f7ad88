// lumora-loginctl on folders that are not system volumes (refused, nothing
// written), and `volumes`, the list of the volumes found.

#include "cli/VolumesCommand.h"
#include "platform/LoginWindow.h"
#include "platform/PreferenceDomain.h"
#include "platform/PropertyList.h"
#include "tests/fakes/CompanionRun.h"
#include "tests/fakes/FileBytes.h"
#include "tests/fakes/TestVolume.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

using Run = CompanionRun;

// Every entry below `root`: its kind, mode and the digest of its bytes.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray entry = QByteArray::number(int(info.permissions())) + ':';
        if (info.isSymLink())
            entry += "link:" + info.symLinkTarget().toUtf8();
        else if (info.isDir())
            entry += "dir";
        else
            entry += QCryptographicHash::hash(readBytes(path), QCryptographicHash::Sha256).toHex();
        entries.insert(path.mid(root.size()), entry);
    }
    return entries;
}

QString readAll(std::FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, qsizetype(n));
    return QString::fromUtf8(bytes);
}

} // namespace

class TestVolumesCommand : public QObject {
    Q_OBJECT

private:
    QString m_tool;
    QTemporaryDir m_dir;

    QString home() const { return m_dir.path() + QStringLiteral("/home"); }

    // `viaOption`: the folder as --root; otherwise as LUMORA_SYSTEM_ROOT.
    Run run(QStringList arguments, const QString &root, bool viaOption, const QString &resources)
    {
        if (viaOption)
            arguments << QStringLiteral("--root") << root;
        return runCompanion({m_tool, home(), resources, viaOption ? QString() : root}, arguments);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_tool = QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-loginctl");
        QVERIFY2(QFileInfo(m_tool).isExecutable(), qPrintable(m_tool));
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(home()));
    }

    void notAVolumeIsNeitherShownNorEdited_data()
    {
        QTest::addColumn<QString>("folder"); // "volume" for the control case
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("viaOption");

        const QStringList commands[] = {
            {QStringLiteral("set"), QStringLiteral("--message"), QStringLiteral("Authorised use only")},
            {QStringLiteral("set"), QStringLiteral("--logo"), QStringLiteral("LOGO")},
            {QStringLiteral("restore")},
            {QStringLiteral("show")},
            {QStringLiteral("show"), QStringLiteral("--json")},
        };
        for (const char *folder : {"empty", "linux-like", "no-release"}) {
            for (const QStringList &command : commands) {
                for (bool viaOption : {true, false}) {
                    QTest::addRow("%s, %s, %s", folder, qPrintable(command.join(QLatin1Char(' '))),
                                  viaOption ? "--root" : "variable")
                        << QString::fromLatin1(folder) << command << viaOption;
                }
            }
        }
        // The same commands on a real volume go through, so the refusals
        // above are the folder's doing.
        QTest::newRow("volume, set --message") << "volume" << commands[0] << true;
        QTest::newRow("volume, show") << "volume" << commands[3] << false;
    }

    void notAVolumeIsNeitherShownNorEdited()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, arguments);
        QFETCH(bool, viaOption);

        TestVolume volume; // also the resources (stock artwork) and a scratch folder
        QVERIFY(volume.isValid());
        const QString logo = volume.scratch() + QStringLiteral("/logo.png");
        QImage image(64, 40, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(logo));
        arguments.replaceInStrings(QStringLiteral("LOGO"), logo);

        QString root = volume.scratch() + QLatin1Char('/') + folder;
        if (folder == QLatin1String("volume")) {
            root = volume.root();
        } else {
            QVERIFY(QDir().mkpath(root));
            if (folder == QLatin1String("linux-like")) {
                // What "/" looks like on Linux: folders the save would
                // create files in, but no system version file.
                QVERIFY(QDir().mkpath(root + QStringLiteral("/Library/Preferences")));
                QVERIFY(QDir().mkpath(root + QStringLiteral("/etc")));
                QVERIFY(writeBytes(root + QStringLiteral("/etc/hostname"), "host\n"));
            } else if (folder == QLatin1String("no-release")) {
                const QString file = root + LoginWindow::kVersionFile;
                QVERIFY(QDir().mkpath(QFileInfo(file).path()));
                QVERIFY(writeBytes(file, PropertyList::serialize(
                                             QVariant(QVariantMap{{QStringLiteral("ProductName"), QStringLiteral("Mac OS X")}}),
                                             PropertyList::Format::Xml)));
            }
        }
        const auto before = snapshot(root);
        const Run result = run(arguments, root, viaOption, volume.resources());

        if (folder == QLatin1String("volume")) {
            QVERIFY2(result.exitCode == 0, qPrintable(result.err));
            if (arguments.first() == QLatin1String("set"))
                QVERIFY(snapshot(root) != before);
            else
                QVERIFY(result.out.contains(QStringLiteral("release: 10.4.11")));
            return;
        }
        QVERIFY2(result.exitCode == 2, qPrintable(result.err));
        QCOMPARE(result.out, QString());
        QVERIFY2(result.err.contains(root), qPrintable(result.err));
        QVERIFY2(result.err.contains(QStringLiteral("is not a Mac OS X system volume")), qPrintable(result.err));
        QVERIFY2(result.err.contains(QStringLiteral("Nothing was read or written")), qPrintable(result.err));
        QCOMPARE(snapshot(root), before);
    }

    // --root wins over LUMORA_SYSTEM_ROOT, before or after the command, with
    // its value as the next word or after "=".
    void rootOptionWinsOverTheVariable_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("before the command") << QStringList{"--root", "@", "show", "--json"};
        QTest::newRow("after the command") << QStringList{"show", "--json", "--root", "@"};
        QTest::newRow("with =") << QStringList{"show", "--root=@", "--json"};
    }

    void rootOptionWinsOverTheVariable()
    {
        QFETCH(QStringList, arguments);
        TestVolume volume;
        QVERIFY(volume.isValid());
        const QString plain = m_dir.path() + QStringLiteral("/plain-for-root");
        QVERIFY(QDir().mkpath(plain));
        for (QString &argument : arguments)
            argument.replace(QLatin1Char('@'), volume.root());
        // The variable names a folder that would be refused.
        const Run result = runCompanion({m_tool, home(), volume.resources(), plain}, arguments);
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        const QJsonObject shown = QJsonDocument::fromJson(result.out.toUtf8()).object();
        QCOMPARE(shown.value(QStringLiteral("volume")).toString(), volume.root());
    }

    void volumesListsWhatItFinds()
    {
        // This machine's mounts: whatever is there, it is a JSON array of
        // volumes that pass the test.
        const Run json = run({QStringLiteral("volumes"), QStringLiteral("--json")}, QString(), false, QString());
        QVERIFY2(json.exitCode == 0, qPrintable(json.err));
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(json.out.toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(document.isArray());
        for (const QJsonValue &entry : document.array()) {
            const QString path = entry.toObject().value("path").toString();
            QVERIFY2(VolumeCheck::check(path).isVolume(), qPrintable(path));
        }
        QCOMPARE(run({QStringLiteral("volumes")}, QString(), false, QString()).exitCode, 0);
        const Run wrong = run({QStringLiteral("volumes"), QStringLiteral("--message"), QStringLiteral("x")},
                              QString(), false, QString());
        QCOMPARE(wrong.exitCode, 2);
        QVERIFY2(wrong.err.contains(QStringLiteral("volumes: unknown argument '--message'")), qPrintable(wrong.err));
    }

    void listingHasEveryField()
    {
        TestVolume tiger;
        SampleVolume::Options leopardOptions;
        leopardOptions.release = QStringLiteral("10.5.8");
        TestVolume leopard(leopardOptions);
        QVERIFY(tiger.isValid() && leopard.isValid());
        const QList<FoundVolume> found = VolumeFinder::find({{leopard.root()}, m_dir.path(), tiger.root()});
        QCOMPARE(found.size(), 2);

        std::FILE *out = std::tmpfile();
        QVERIFY(out);
        QCOMPARE(listVolumes(found, true, out), 0);
        const QJsonArray list = QJsonDocument::fromJson(readAll(out).toUtf8()).array();
        std::fclose(out);
        QCOMPARE(list.size(), 2);
        const QJsonObject first = list.at(0).toObject();
        QCOMPARE(first.value("name").toString(), QStringLiteral("volume"));
        QCOMPARE(first.value("release").toString(), QStringLiteral("10.5.8"));
        QCOMPARE(first.value("releaseText").toString(), QStringLiteral("Mac OS X 10.5.8"));
        QCOMPARE(first.value("path").toString(), QFileInfo(leopard.root()).canonicalFilePath());
        QCOMPARE(first.value("access").toString(), QStringLiteral("writable"));
        QCOMPARE(first.value("sample").toBool(), false);
        const QJsonObject sample = list.at(1).toObject();
        QCOMPARE(sample.value("name").toString(), QStringLiteral("Sample volume"));
        QCOMPARE(sample.value("sample").toBool(), true);
        QCOMPARE(sample.value("release").toString(), QStringLiteral("10.4.11"));

        out = std::tmpfile();
        QVERIFY(out);
        QCOMPARE(listVolumes(found, false, out), 0);
        const QString plain = readAll(out);
        std::fclose(out);
        QVERIFY2(plain.startsWith(QStringLiteral("volume\n  release: Mac OS X 10.5.8\n  path: ")), qPrintable(plain));
        QVERIFY2(plain.contains(QStringLiteral("Sample volume\n  release: Mac OS X 10.4.11\n")), qPrintable(plain));
        QVERIFY2(plain.contains(QStringLiteral("  access: you can write it\n")), qPrintable(plain));

        out = std::tmpfile();
        QVERIFY(out);
        QCOMPARE(listVolumes({}, true, out), 0);
        QCOMPARE(readAll(out).trimmed(), QStringLiteral("[\n]"));
        std::fclose(out);
    }
};

QTEST_GUILESS_MAIN(TestVolumesCommand)
#include "tst_volumescommand.moc"
