#include "platform/Translations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace Translations {

QStringList wantedLanguages()
{
    QStringList wanted;
    auto add = [&wanted](QString name) {
        // "de_DE.UTF-8@euro" -> "de_DE"; Qt spells the region with '-'.
        name = name.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
        name.replace(QLatin1Char('-'), QLatin1Char('_'));
        if (name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX") || wanted.contains(name))
            return;
        wanted << name;
    };
    const QStringList listed = qEnvironmentVariable("LANGUAGE").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &name : listed)
        add(name);
    // The locale's own language, chosen as setlocale() chooses it.
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (!qEnvironmentVariableIsEmpty(variable)) {
            add(qEnvironmentVariable(variable));
            break;
        }
    }
    return wanted;
}

namespace {

// lumora_de_AT.qm, else lumora_de.qm.
QString catalogueFor(const QString &folder, const QString &prefix, const QString &language)
{
    for (const QString &name : {language, language.section(QLatin1Char('_'), 0, 0)}) {
        const QString path = folder + QLatin1Char('/') + prefix + name + QStringLiteral(".qm");
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

bool installFile(QCoreApplication &app, const QString &path)
{
    if (path.isEmpty())
        return false;
    auto *translator = new QTranslator(&app);
    if (translator->load(path) && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

} // namespace

QString install(QCoreApplication &app, const QString &folder)
{
    for (const QString &language : wantedLanguages()) {
        if (!installFile(app, catalogueFor(folder, QStringLiteral("lumora_"), language)))
            continue;
        installFile(app, catalogueFor(QLibraryInfo::path(QLibraryInfo::TranslationsPath), QStringLiteral("qtbase_"),
                                      language));
        return language;
    }
    // English is shown; its catalogue mends a few of the keys.
    return installFile(app, catalogueFor(folder, QStringLiteral("lumora_"), QStringLiteral("en")))
               ? QStringLiteral("en")
               : QString();
}

} // namespace Translations
