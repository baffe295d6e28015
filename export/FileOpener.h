#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class OperationEnvironment;
class QProcess;

// Opens a written file in the user's own application for its type by
// running "xdg-open FILE" (found on PATH) without blocking the window.
//
// Some openers stay running until the application they started closes, so
// the caller decides how long to wait for an answer; a FileOpener destroyed
// meanwhile leaves its opener running.
class FileOpener : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle, // nothing started yet
        Running, // the opener runs and has not answered yet
        Succeeded, // the opener ended with status 0
        Failed, // no opener on PATH, it could not start, crashed or ended with another status
    };
    Q_ENUM(State)

    explicit FileOpener(QObject *parent = nullptr);
    ~FileOpener() override;

    // Starts the opener for path. Without an opener on PATH the state turns
    // Failed and finished(false) is emitted before start() returns. A second
    // start() leaves an earlier opener running and follows the new one.
    void start(const QString &path);
    State state() const { return m_state; }

    // Starts the opener for path and waits in env until it has answered or
    // the grace period is over; an opener still running then counts as
    // having handed the file over. Opened, Failed, or Cancelled when a wait
    // was cut short.
    enum class Outcome { Opened, Failed, Cancelled };
    Outcome open(OperationEnvironment &env, const QString &path);

    // The program that start() runs, looked up on PATH; empty if none.
    static QString openerProgram();

signals:
    void finished(bool ok);

private:
    void settle(bool ok);
    void release();

    State m_state = State::Idle;
    QPointer<QProcess> m_process;
};
