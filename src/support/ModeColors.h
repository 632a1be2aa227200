#pragma once

// The accent of each timer mode, one set for every program that draws the timer: the island in
// the application and the desktop widget, which is a program of its own.

#include <QColor>

namespace tw::modecolors {

inline QColor focus() {
    return QColor::fromRgbF(0.95f, 0.55f, 0.47f, 1.0f);
}

inline QColor rest() {
    return QColor::fromRgbF(0.52f, 0.80f, 0.64f, 1.0f);
}

}  // namespace tw::modecolors
