#pragma once

#include "sim/MemoryImage.h"

#include <QList>

// The flight memory that the simulated instrument holds out of the box: a pilot's
// seasons of paragliding with a few long cross-country flights in a glider.
// sim/memory/sample.mem is this table written out by `tolmera-sim
// --write-sample sim/memory/sample.mem`; regenerate it after editing the table.
namespace SampleMemory {

QList<RawFlight> flights();

} // namespace SampleMemory
