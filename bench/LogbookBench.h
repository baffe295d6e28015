#pragma once

#include <QTemporaryDir>
#include <memory>

namespace LogbookBench {

// Points XDG_DATA_HOME at a new temporary folder for as long as the result
// lives, so that a benchmark's main window records into a logbook of its
// own and never into the user's.
std::unique_ptr<QTemporaryDir> scratchDataHome();

// --logbook N: the Logbook window over N flights (opening, sorting,
// filtering, the chart, its memory), recording and importing. Prints the
// figures; 0 when every target holds.
int run(int flights);

} // namespace LogbookBench
