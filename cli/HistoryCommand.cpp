// history and restore --look: the looks that saves replaced.

#include "cli/ConsolePanels.h"
#include "cli/LoginCtl.h"
#include "controller/SavedLooks.h"
#include "controller/SettingModel.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue jsonValue(const QVariantMap &values, const QString &key)
{
    if (!values.contains(key))
        return QJsonValue();
    const QVariant &value = values.value(key);
    return value.typeId() == QMetaType::QString ? QJsonValue(value.toString()) : QJsonValue(value.toInt());
}

} // namespace

int LoginCtl::history(bool json)
{
    QStringList refused;
    const QList<LookHistory::Look> looks = SavedLooks::list(m_controller, &refused);
    for (const QString &why : refused)
        complain(QCoreApplication::translate("LoginCtl", "warning: %1").arg(why));

    if (json) {
        QJsonArray list;
        for (const LookHistory::Look &look : looks) {
            QJsonObject entry{
                {QStringLiteral("id"), look.id},
                {QStringLiteral("saved"), look.saved.toUTC().toString(Qt::ISODate)},
            };
            QJsonObject pictures;
            QJsonObject loginOptions;
            for (const SettingModel *model : settingModels()) {
                const QString key = model->key();
                if (std::holds_alternative<Image>(model->initial()))
                    pictures.insert(key, look.digests.contains(key) ? QJsonValue(look.digests.value(key)) : QJsonValue());
                else if (model->loginOption())
                    loginOptions.insert(key, jsonValue(look.values, key));
                else
                    entry.insert(key, jsonValue(look.values, key));
            }
            entry.insert(QStringLiteral("pictures"), pictures);
            entry.insert(QStringLiteral("loginOptions"), loginOptions);
            list.append(entry);
        }
        writeText(m_out, QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("looks"), list}})
                                               .toJson(QJsonDocument::Indented)));
        return kSuccess;
    }
    if (looks.isEmpty())
        print(QCoreApplication::translate("LoginCtl", "no saved looks"));
    for (const LookHistory::Look &look : looks) {
        const QString message = look.values.contains(QStringLiteral("message"))
                                    ? QLatin1Char('"') + oneLine(look.values.value(QStringLiteral("message")).toString())
                                          + QLatin1Char('"')
                                    : QStringLiteral("-");
        print(QStringLiteral("%1  %2  %3  message: %4")
                  .arg(look.id, look.saved.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")),
                       QStringList(look.digests.keys()).join(QLatin1Char(',')), message));
    }
    return kSuccess;
}

int LoginCtl::restoreLook(const QString &id, ApplyOptions options)
{
    if (refuseUnreadable(m_controller.unreadableReason()))
        return kFailed;
    QString why;
    if (!SavedLooks::restore(m_controller, id, &why)) {
        complain(why);
        return kFailed;
    }
    Expected expected;
    for (const SettingModel *model : settingModels()) {
        if (m_controller.document().changed(model->setting()))
            expected.values[indexOf(model->setting())] = m_controller.document().value(model->setting());
    }
    expected.revertBackground = m_controller.shouldRevertBackground();
    return apply(expected, options);
}
