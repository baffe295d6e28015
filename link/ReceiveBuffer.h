#pragma once

#include <QObject>
#include <QString>

// Everything the instrument sent since the buffer was last emptied, in
// arrival order. Answers have no end marker, so operations judge them by
// the buffer's length after a fixed wait. changed() is emitted only when the
// content really changes: emptying an empty buffer is not a change.
//
// A line that never goes quiet (a stuck instrument, a USB adapter that
// ignores the baud rate) must not eat the memory: the buffer keeps the first
// kKeptCharacters characters and counts the rest. size() is always the true
// number received, so a judgement by length sees every surplus character;
// no answer of the instrument comes near the kept length.
class ReceiveBuffer : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype kKeptCharacters = 64 * 1024;

    using QObject::QObject;

    // The characters kept: all of them unless isTruncated().
    const QString &text() const { return m_text; }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    bool isTruncated() const { return m_size > m_text.size(); }

    // Adds to the end without copying what is already there.
    void append(const QString &arrived)
    {
        if (arrived.isEmpty())
            return;
        m_text.append(arrived.left(kKeptCharacters - m_text.size()));
        m_size += arrived.size();
        emit changed();
    }
    void clear()
    {
        if (m_size == 0)
            return;
        m_text = QString();
        m_size = 0;
        emit changed();
    }

signals:
    void changed();

private:
    QString m_text;
    qsizetype m_size = 0;
};
