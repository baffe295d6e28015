#pragma once

#include "tests/support/NamedChild.h"

#include <QPlainTextEdit>
#include <QWidget>

// The status log as the user sees it: the text of the main window's status
// box, " * " + message + a line break for every line.
inline QString statusLogText(const QWidget &window)
{
    const auto *log = namedChild<QPlainTextEdit>(&window, QStringLiteral("txtErrorWindow"));
    return log ? log->toPlainText() : QString();
}
