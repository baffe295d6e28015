#pragma once

#include "sim/MemoryImage.h"

#include <QList>

// The logbook that the simulated instrument holds out of the box: a pilot's
// seasons of paragliding with a few long cross-country flights in a glider.
// sim/logbook/sample.mem is this table written out by `tolmera-sim
// --write-sample sim/logbook/sample.mem`; regenerate it after editing the table.
namespace SampleLogbook {

QList<RawFlight> flights();

} // namespace SampleLogbook
