#pragma once

#include <QString>

namespace rekkon::ui {

// The product title: the main window's title and every message box's caption.
inline const QString kProductTitle = QStringLiteral("Vantrel Rekkon Personal 1.4");

}  // namespace rekkon::ui
