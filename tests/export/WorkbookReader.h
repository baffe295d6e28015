#pragma once

// Reads a written workbook back through an independent reader: the
// read_workbook.py script beside this file, run by a Python 3 that has
// openpyxl. The tests compare its JSON dump, never the zip bytes.

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTest>

namespace WorkbookReader {

// The first python3 on PATH that can import openpyxl; empty if none.
inline QString python()
{
    static const QString found = [] {
        const QStringList dirs
            = qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
        for (const QString &dir : dirs) {
            const QFileInfo candidate(QDir(dir).filePath(QStringLiteral("python3")));
            if (!candidate.isExecutable())
                continue;
            QProcess probe;
            probe.start(
                candidate.absoluteFilePath(), { QStringLiteral("-c"), QStringLiteral("import openpyxl") });
            if (probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit
                && probe.exitCode() == 0)
                return candidate.absoluteFilePath();
        }
        return QString();
    }();
    return found;
}

// The reader's dump of path, or an empty object with *error set.
inline QJsonObject read(const QString &script, const QString &path, QString *error)
{
    const QString py = python();
    if (py.isEmpty()) {
        *error = QStringLiteral("no python3 with openpyxl on PATH (Debian: python3-openpyxl)");
        return {};
    }
    QProcess proc;
    proc.start(py, { script, path });
    if (!proc.waitForFinished(60000) || proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0) {
        *error = QStringLiteral("reader failed: ") + QString::fromLocal8Bit(proc.readAllStandardError());
        return {};
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(proc.readAllStandardOutput(), &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("reader output is no JSON object: ") + parseError.errorString();
        return {};
    }
    return doc.object();
}

} // namespace WorkbookReader

// Reads path into the QJsonObject named var, failing the test when that is
// impossible: without the reader nothing about the workbook can be judged.
#define READ_WORKBOOK(var, path)                                                                             \
    QJsonObject var;                                                                                         \
    do {                                                                                                     \
        const QString script_ = QStringLiteral(TOLMERA_WORKBOOK_READER);                                     \
        QString error_;                                                                                      \
        var = WorkbookReader::read(script_, path, &error_);                                                  \
        QVERIFY2(error_.isEmpty(), qPrintable(error_));                                                      \
    } while (false)
