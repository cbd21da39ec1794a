#pragma once

#include <QIcon>

namespace kartivo::qt {

// Kartivo's own icon, drawn from the SVG the installation puts into the icon theme.
QIcon KartivoIcon();

}  // namespace kartivo::qt
