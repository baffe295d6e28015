#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// What a serial device is like right now. Widget-free: the ports window turns
// it into words beside each port, the serial link into its one-line reason on
// standard error.
enum class PortState {
    Ready, // a terminal device nobody holds
    Missing, // no such device (adapter unplugged, dangling link, no chip behind a built-in port)
    NoPermission, // the user may not open it (not in the dialout group)
    BusyElsewhere, // another program holds it (a live lock file, or open in another process)
    BusyHere, // it is the port this program has open
    NotSerial, // no terminal device (a file, /dev/null, a folder, a pipe)
    NotResponding, // looking at it did not end within the time limit (a stuck mount)
};

// Finding out what a device is like without opening it: opening a serial
// device raises DTR and RTS and the last close drops them, which resets many
// boards, and the open of a stuck device can block for good.
namespace PortProbe {

// How long the window waits for a device to be looked at, or opened.
inline constexpr int kTimeLimitMs = 1500;

// Where lock files of serial devices are looked for: /run/lock, /var/lock and
// the folder QSerialPort itself uses.
QStringList defaultLockFolders();

// Looks at the device: missing or dangling, not a terminal device, no
// permission, a lock file of a live process in one of lockFolders (in the
// ASCII or the binary pid form), or held open by a process of this user. A
// lock is only read, never removed or rewritten. openHere is the device this
// program holds open (empty when none); a device that resolves to the same
// file is BusyHere. May block on a stuck file system: see within().
PortState probe(const QString &device, const QString &openHere = QString(),
    const QStringList &lockFolders = defaultLockFolders());

// The plain words for a state, as shown to the user; NoPermission includes the
// fix.
QString stateText(PortState state);

// The lock file QSerialPort takes for a device (UUCP style, "LCK..ttyUSB0" in
// the first usable lock folder).
QString serialLockFilePath(const QString &device);

// Removes the lock file at lockPath when it names, in the binary pid form, a
// process that has ended, so that QSerialPort can take the port: it takes
// over a stale lock in the ASCII form by itself, but refuses a binary one
// the probe has already judged free. Any other lock stays as it is. True
// when a lock was removed.
bool removeStaleBinaryLock(const QString &lockPath);

// Runs work on a thread of its own and waits at most limitMs for it; nothing
// when it has not finished by then. The thread is then left to finish on its
// own: a call stuck in the kernel cannot be taken back.
template <typename T> std::optional<T> within(std::function<T()> work, int limitMs = kTimeLimitMs)
{
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<T> answer;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)] {
        T answer = work();
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->answer = std::move(answer);
        shared->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->done.wait_for(
        lock, std::chrono::milliseconds(limitMs), [&shared] { return shared->answer.has_value(); });
    return shared->answer;
}

// Runs probes off the window thread and hands each answer back on the thread
// that owns this object, as answered(). An answer that comes after this
// object is gone is dropped.
class Runner : public QObject
{
    Q_OBJECT
public:
    explicit Runner(QObject *parent = nullptr);
    ~Runner() override;

    void start(int key, std::function<PortState()> work);

signals:
    void answered(int key, PortState state);

private:
    struct Mailbox
    {
        std::mutex mutex;
        Runner *receiver = nullptr;
    };
    std::shared_ptr<Mailbox> m_mailbox;
};

} // namespace PortProbe
