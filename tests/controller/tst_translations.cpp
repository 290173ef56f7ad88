// The catalogues as built, loaded for the language asked for: the quit
// question through the scripted panel, in German and in mended English.

#include "controller/LumoraLogin.h"
#include "platform/Translations.h"
#include "tests/fakes/FakeAlertPanel.h"
#include "tests/fakes/TestVolume.h"

#include <QTest>
#include <QTranslator>

class TestTranslations : public QObject {
    Q_OBJECT

    static QString catalogues() { return QCoreApplication::applicationDirPath() + QStringLiteral("/resources/translations"); }

private slots:
    void cleanup()
    {
        // A translator leaves the application when it is deleted.
        qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator *>());
        qunsetenv("LANGUAGE");
    }

    void languageListComesFirst()
    {
        qputenv("LANGUAGE", "de_DE.UTF-8@euro:C:fr-CA::de_DE");
        const QStringList wanted = Translations::wantedLanguages();
        QCOMPARE(wanted.mid(0, 2), (QStringList{QStringLiteral("de_DE"), QStringLiteral("fr_CA")}));
        QCOMPARE(wanted.count(QStringLiteral("de_DE")), 1);
        QVERIFY(!wanted.contains(QStringLiteral("C")));
    }

    void localeVariablesInTheirOrder()
    {
        const QByteArray all = qgetenv("LC_ALL");
        qunsetenv("LC_ALL");
        qputenv("LC_MESSAGES", "de_AT.UTF-8");
        qputenv("LANG", "fr_FR.UTF-8");
        const QStringList messages = Translations::wantedLanguages();
        qunsetenv("LC_MESSAGES");
        const QStringList lang = Translations::wantedLanguages();
        qputenv("LC_ALL", all);
        QCOMPARE(messages, QStringList{QStringLiteral("de_AT")});
        QCOMPARE(lang, QStringList{QStringLiteral("fr_FR")});
    }

    void quitQuestion_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QStringList>("panel"); // title, message, default, alternate
        const QStringList german{QStringLiteral("Es gibt ungesicherte Änderungen.  Möchten Sie wirklich beenden?"),
                                 QStringLiteral("Wenn Sie jetzt beenden, werden Ihre Änderungen nicht gesichert."),
                                 QStringLiteral("Beenden"), QStringLiteral("Abbrechen")};
        // The key keeps its doubled word; the English catalogue mends it.
        const QStringList english{QStringLiteral("You have unsaved changes.  Are you sure you want to quit?"),
                                  QStringLiteral("If you quit now, your changes will not be saved."),
                                  QStringLiteral("Quit"), QStringLiteral("Cancel")};
        QTest::newRow("de") << "de" << "de" << german;
        QTest::newRow("de_CH") << "de_CH" << "de_CH" << german;
        QTest::newRow("no catalogue, then de") << "pt_BR:de" << "de" << german;
        QTest::newRow("en_GB") << "en_GB" << "en_GB" << english;
        QTest::newRow("no catalogue at all") << "pt_BR" << "en" << english;
    }
    void quitQuestion()
    {
        QFETCH(QString, language);
        QFETCH(QString, installed);
        QFETCH(QStringList, panel);
        qputenv("LANGUAGE", language.toUtf8());
        QCOMPARE(Translations::install(*QCoreApplication::instance(), catalogues()), installed);

        TestVolume volume;
        QVERIFY(volume.isValid());
        FakeAlertPanel alerts;
        LumoraContext context{volume.volume(), volume.bundle()};
        context.alerts = &alerts;
        LumoraLogin controller(context);
        controller.setMessage(QStringLiteral("changed"));
        alerts.scriptAnswers({AlertPanel::AlternateReturn});
        QVERIFY(!controller.applicationShouldTerminate());

        QCOMPARE(alerts.shown().size(), 1);
        const FakeAlertPanel::Shown shown = alerts.shown().first();
        QCOMPARE((QStringList{shown.title, shown.message, shown.defaultButton, shown.alternateButton}), panel);
    }

    void noCatalogueFolderLeavesTheKeys()
    {
        qputenv("LANGUAGE", "de");
        QCOMPARE(Translations::install(*QCoreApplication::instance(), QStringLiteral("/nonexistent")), QString());
        QCOMPARE(QCoreApplication::translate("Lumora", "If you quit now, your changes changes will not be saved."),
                 QStringLiteral("If you quit now, your changes changes will not be saved."));
    }
};

// The cases ask through LANGUAGE alone, whatever locale runs the tests.
int main(int argc, char **argv)
{
    qunsetenv("LANGUAGE");
    qputenv("LC_ALL", "C");
    QCoreApplication app(argc, argv);
    TestTranslations test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_translations.moc"
