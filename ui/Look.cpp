#include "ui/Look.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

namespace Look {

void apply(QApplication &app)
{
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QFont font;
    // Liberation Sans has the metrics the window was laid out for; the others
    // stand in where it is not installed.
    font.setFamilies({ QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
        QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif") });
    font.setPointSizeF(8.0);
    QApplication::setFont(font);
    // Frames keep their caption inside the top edge, as a classic frame does.
    app.setStyleSheet(
        QStringLiteral("QGroupBox { font-weight: bold; border: 1px solid palette(mid);"
                       " border-radius: 2px; margin-top: 6px; }"
                       "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
}

} // namespace Look
