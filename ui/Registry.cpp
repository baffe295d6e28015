#include "ui/Registry.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

QByteArray cutRegistryText(const QByteArray &buffer, qint64 size)
{
    if (size < 1)
        return {};
    const qsizetype kept = static_cast<qsizetype>(qMin<qint64>(size, buffer.size()));
    if (kept < 1)
        return {};
    if (buffer.at(kept - 1) == '\0')
        return buffer.left(kept - 1);
    return buffer.left(kept);
}

#ifdef Q_OS_WIN

bool GetKeyValue(RegistryRoot keyRoot, const QString &keyName, const QString &subKeyRef, QString &keyVal)
{
    // The predefined root handles are sign-extended 32-bit values.
    const HKEY root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(keyRoot)));
    HKEY key = nullptr;
    // Read access is all a look-up needs; asking for more is refused for
    // HKEY_LOCAL_MACHINE to anyone but an administrator.
    if (RegOpenKeyExA(root, keyName.toLocal8Bit().constData(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        keyVal.clear();
        return false;
    }

    QByteArray buffer(1024, '\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD type = 0;
    const LONG status = RegQueryValueExA(key, subKeyRef.toLocal8Bit().constData(), nullptr, &type,
        reinterpret_cast<BYTE *>(buffer.data()), &size);
    bool found = false;
    if (status != ERROR_SUCCESS) {
        keyVal.clear();
    } else {
        const QByteArray value = cutRegistryText(buffer, size);
        if (type == REG_SZ) {
            keyVal = QString::fromLocal8Bit(value);
        } else if (type == REG_DWORD && size >= 4) {
            DWORD number = 0;
            memcpy(&number, buffer.constData(), sizeof number);
            keyVal = QString::number(number);
        }
        found = true;
    }
    RegCloseKey(key);
    return found;
}

#else

bool GetKeyValue(RegistryRoot keyRoot, const QString &keyName, const QString &subKeyRef, QString &keyVal)
{
    // No registry here: every key is missing.
    Q_UNUSED(keyRoot);
    Q_UNUSED(keyName);
    Q_UNUSED(subKeyRef);
    keyVal.clear();
    return false;
}

#endif
