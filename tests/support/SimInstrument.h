#pragma once

#include "sim/MemoryImage.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>

// Processes events until cond() holds or timeoutMs have passed; true when it held.
bool waitFor(const std::function<bool()> &cond, int timeoutMs);

// A tolmera-sim process for one test, with a device map of its own: after
// start(), XDG_CONFIG_HOME points at a temporary folder whose
// tolmera-reader/dosdevices/com1 leads to the simulator's terminal and whose c:
// leads to an empty temporary folder. Everything goes away with the object.
class SimInstrument
{
public:
    struct Options
    {
        MemoryImage memory = MemoryImage::sample();
        QString info; // answer to "V"; empty: the simulator's default
        QStringList faults; // "KIND[:ARG] TARGET [N]" each
        bool silent = false;
    };

    struct Chunk
    {
        double seconds = 0;
        bool received = false; // true: the instrument received it
        QByteArray bytes;
    };

    SimInstrument();
    explicit SimInstrument(const Options &options);
    ~SimInstrument();
    SimInstrument(const SimInstrument &) = delete;
    SimInstrument &operator=(const SimInstrument &) = delete;

    bool start();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 processId() const { return m_process.processId(); }

    QString ptyPath() const { return m_ptyPath; }
    QString configHome() const { return m_dir.filePath(QStringLiteral("config")); }
    QString deviceMapDir() const { return configHome() + QStringLiteral("/tolmera-reader/dosdevices"); }
    QString driveC() const { return m_dir.filePath(QStringLiteral("drive_c")); }

    // Each returns once the simulator has acknowledged the line, so it is in
    // force for the next command; false when it refused the line or no answer came.
    bool control(const QString &line);
    bool setFault(const QString &faultText) { return control(QStringLiteral("fault ") + faultText); }
    bool clearFaults() { return control(QStringLiteral("clear-faults")); }
    bool sendUnasked(const QByteArray &bytes);
    // The simulator closes its terminal and exits; returns once it has.
    bool hangUp();

    QList<Chunk> transcript() const;
    QByteArray receivedBytes() const { return bytes(true); }
    QByteArray sentBytes() const { return bytes(false); }
    QStringList receivedCommands() const;
    void clearTranscript();

    // The instrument's memory as it is now; nullopt when the simulator could not
    // hand it over.
    std::optional<MemoryImage> memoryNow();

private:
    std::optional<QByteArray> readLine(int timeoutMs);
    QString transcriptPath() const { return m_dir.filePath(QStringLiteral("transcript.txt")); }
    QByteArray bytes(bool received) const;
    void stop();

    Options m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_ptyPath;
    QByteArray m_output;
    qint64 m_transcriptOffset = 0;
    bool m_envSet = false;
    bool m_hadConfigHome = false;
    QByteArray m_oldConfigHome;
};
