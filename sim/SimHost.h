#pragma once

#include "sim/SimModel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// Serves a SimModel on a pseudo-terminal, so that a program can open the slave
// side like a serial device. The host keeps a slave descriptor of its own open:
// the reader closes and reopens its port many times, and without one the master
// would report a hang-up every time nobody has the slave open.
class SimHost : public QObject
{
    Q_OBJECT

public:
    explicit SimHost(SimModel &model, QObject *parent = nullptr);
    ~SimHost() override;

    bool open(QString *error);
    QString slavePath() const { return m_slavePath; }

    // A symbolic link to the slave, replacing an older link of that name; it is
    // removed again when the simulator quits (not when it hangs up, like a
    // device map entry whose adapter was pulled).
    bool setLink(const QString &path, QString *error);
    bool setTranscript(const QString &path, QString *error);

    // Control lines, one per line, each acknowledged on stdout with "ok" or
    // "error: ...". End of input only stops the listening.
    void listenForControl(int fd);
    QByteArray control(const QByteArray &line);

    void sendUnasked(const QByteArray &bytes);
    // Sends without pause, as fast as the other end reads, for the given time:
    // an instrument gone wild, or a line that never goes quiet.
    void flood(int seconds);
    void hangUp();
    void quit();

signals:
    void finished(int exitCode);

private:
    struct Pending
    {
        QByteArray bytes;
        bool hangUp = false;
        qint64 dueUs = 0;
    };

    void readTerminal();
    void readControl();
    void schedule(const QList<Reply> &replies);
    void sendDue();
    void writeTerminal(const QByteArray &bytes);
    void log(bool received, const QByteArray &bytes);
    void note(const QByteArray &text);
    void finishHangUp();
    void closeTerminal();
    void say(const QByteArray &line);
    void floodMore();

    SimModel &m_model;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
    QSocketNotifier *m_terminalNotifier = nullptr;
    QSocketNotifier *m_controlNotifier = nullptr;
    QSocketNotifier *m_floodNotifier = nullptr;
    qint64 m_floodUntilMs = 0;
    int m_controlFd = -1;
    QByteArray m_controlBuffer;
    QFile m_transcript;
    QElapsedTimer m_clock;
    QElapsedTimer m_drainClock;
    QList<Pending> m_queue;
    qint64 m_lastDueUs = 0;
    QTimer m_sendTimer;
    bool m_finishing = false;
};
