#pragma once

#include <QImage>
#include <QSize>

// The dark picture behind the note table chart: a case of synthesizer modules with
// knobs, jacks and patch cables, drawn at the given size and dimmed so that the
// chart stays readable over it. The same size always gives the same picture.
QImage ChartBackdrop(const QSize& size);
