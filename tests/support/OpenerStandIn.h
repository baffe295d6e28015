#pragma once

// A stand-in for xdg-open, first on PATH for as long as the object lives, so
// that an exported workbook never reaches the desktop: it notes each file it
// is asked to open and exits with the code it was given.

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

class OpenerStandIn
{
public:
    explicit OpenerStandIn(int exitCode = 0)
        : m_savedPath(qgetenv("PATH"))
    {
        QFile script(m_dir.filePath(QStringLiteral("xdg-open")));
        m_ready = m_dir.isValid() && script.open(QIODevice::WriteOnly)
            && script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + QFile::encodeName(openedLog())
                   + "'\nexit " + QByteArray::number(exitCode) + "\n")
                > 0;
        script.close();
        m_ready = m_ready && script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_savedPath);
    }
    ~OpenerStandIn() { qputenv("PATH", m_savedPath); }
    OpenerStandIn(const OpenerStandIn &) = delete;
    OpenerStandIn &operator=(const OpenerStandIn &) = delete;

    bool isReady() const { return m_ready; }
    // The files it was asked to open, in order.
    QStringList opened() const
    {
        QFile log(openedLog());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QString openedLog() const { return m_dir.filePath(QStringLiteral("opened.txt")); }

    QTemporaryDir m_dir;
    QByteArray m_savedPath;
    bool m_ready = false;
};
