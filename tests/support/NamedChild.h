#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

// The window's control of that type and object name; warns when there is
// none, so a renamed control shows up as a named miss, not a bare crash.
template <typename T> T *namedChild(const QObject *parent, const QString &name)
{
    T *found = parent->findChild<T *>(name);
    if (!found)
        qWarning("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}
