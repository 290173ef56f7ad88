#pragma once

#include <QCoreApplication>
#include <QString>

// Texts shown to the user are looked up with their English text as the key;
// a missing translation gives the English text back.
inline QString localized(const char *english)
{
    return QCoreApplication::translate("Lumora", english);
}
