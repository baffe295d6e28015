#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Read-only access to the Windows registry, used to find the system
// information tool. Other systems have no registry: there every look-up fails.

// A root key handle in its 32-bit form, as the registry API defines them.
using RegistryRoot = quint32;
inline constexpr RegistryRoot registryLocalMachine = 0x80000002u; // HKEY_LOCAL_MACHINE

// Reads value subKeyRef of key keyName under keyRoot into keyVal.
// A text value becomes keyVal as it is; a 32-bit number becomes its decimal
// text; a value of any other type leaves keyVal unchanged. Returns false (and
// empties keyVal) when the key cannot be opened or the value cannot be read.
bool GetKeyValue(RegistryRoot keyRoot, const QString &keyName, const QString &subKeyRef, QString &keyVal);

// Cuts a value read into a fixed buffer down to the size the registry reported.
// Stored text sizes usually count the closing NUL: when the byte at position
// size (counted from 1) is NUL the text is size - 1 bytes long, otherwise size.
// Sizes below 1 give an empty text; sizes beyond the buffer are limited to it.
QByteArray cutRegistryText(const QByteArray &buffer, qint64 size);
