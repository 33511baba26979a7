// The common painting of the row strips.
#pragma once

class QPainter;
class QWidget;

namespace kestrane {

// The style sheet's background, then the axis before the project's start
// and after its length shaded.
void paintStrip(QWidget* strip, QPainter& painter, int margin);

// Paints the widget's style-sheet background (so its rules apply to a
// plain QWidget subclass).
void paintStyleSheet(QWidget* widget);

}  // namespace kestrane
