#pragma once

#include "sim/CommandParser.h"
#include "sim/MemoryImage.h"
#include "sim/SimFault.h"

#include <QByteArray>
#include <QList>

// What the instrument sends back for one command, and when.
struct Reply
{
    QByteArray bytes;
    int delayMs = 0; // after the command's last character arrived
    bool hangUp = false; // instead of answering, the instrument goes away

    friend bool operator==(const Reply &, const Reply &) = default;
};

// The simulated instrument without any input or output: bytes in, replies out.
// Answers:
//   "T"                    "!"
//   "V"                    the information text
//   "R" + 6 digits         the 7 command characters + the byte as 3 digits
//   "W" + 6 + 3 digits     the 10 command characters; the byte is stored unless
//                          the value exceeds 255 or the address lies outside memory
class SimModel
{
public:
    static constexpr const char *defaultInfo = "TOLMERA ORVIN V2.10 04711";

    explicit SimModel(const MemoryImage &memory = MemoryImage::sample());

    QList<Reply> receive(const QByteArray &input);

    const MemoryImage &memory() const { return m_memory; }
    MemoryImage &memory() { return m_memory; }

    QByteArray info() const { return m_info; }
    void setInfo(const QByteArray &info) { m_info = info; }
    void setAnswerDelay(int ms) { m_answerDelayMs = ms; }
    void setSilent(bool silent) { m_silent = silent; }

    void addFault(const SimFault &fault) { m_faults.append(fault); }
    void clearFaults() { m_faults.clear(); }
    QList<SimFault> faults() const { return m_faults; }

    // Once a hang-up fault has struck, the instrument is gone and hears nothing.
    bool hasHungUp() const { return m_hungUp; }

private:
    QByteArray execute(const QByteArray &command);

    MemoryImage m_memory;
    QByteArray m_info = defaultInfo;
    int m_answerDelayMs = 0;
    bool m_silent = false;
    bool m_hungUp = false;
    QList<SimFault> m_faults;
    CommandParser m_parser;
};
