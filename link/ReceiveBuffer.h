#pragma once

#include <QObject>
#include <QString>

// Everything the instrument sent since the buffer was last emptied, in
// arrival order. Answers have no end marker, so operations judge them by
// the buffer's length after a fixed wait. changed() is emitted only when the
// text really changes: emptying an empty buffer is not a change.
class ReceiveBuffer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    const QString &text() const { return m_text; }
    qsizetype size() const { return m_text.size(); }
    bool isEmpty() const { return m_text.isEmpty(); }

    void append(const QString &arrived) { setText(m_text + arrived); }
    void clear() { setText(QString()); }
    void setText(const QString &text)
    {
        if (text == m_text)
            return;
        m_text = text;
        emit changed();
    }

signals:
    void changed();

private:
    QString m_text;
};
