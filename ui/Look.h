#pragma once

class QApplication;

// The look every window of the program shares: a plain sans-serif at 8 pt
// (captions were laid out for it at 96 dpi) and bold frame captions.
namespace Look {
void apply(QApplication &app);
}
