#pragma once

#include <QPoint>
#include <QString>
#include <optional>

namespace tw::widget_position {

// The widget's own small settings file: where its window was last put. Kept apart from the
// application's suites, which the widget only reads.
QString defaultFile();  // $XDG_CONFIG_HOME/tarnwhistle/tarnwhistle-widget.json

// The stored top-left corner; none when the file is missing or not {"x": int, "y": int}.
std::optional<QPoint> load(const QString& file);
// Replaces the file in one step; false when it could not be written.
bool save(const QString& file, QPoint position);

}  // namespace tw::widget_position
