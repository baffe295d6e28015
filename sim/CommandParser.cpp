#include "sim/CommandParser.h"

QList<QByteArray> CommandParser::feed(const QByteArray &input)
{
    QList<QByteArray> commands;
    for (char c : input) {
        if (!m_pending.isEmpty()) {
            if (c >= '0' && c <= '9') {
                m_pending += c;
                const int complete = m_pending.startsWith('R') ? readLength : writeLength;
                if (m_pending.size() == complete) {
                    commands.append(m_pending);
                    m_pending.clear();
                }
                continue;
            }
            m_pending.clear();
        }
        if (c == 'T' || c == 'V')
            commands.append(QByteArray(1, c));
        else if (c == 'R' || c == 'W')
            m_pending = QByteArray(1, c);
    }
    return commands;
}
