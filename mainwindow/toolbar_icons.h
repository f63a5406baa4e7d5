#pragma once

#include <QPainter>
#include <QRectF>

// The toolbar's pictures, drawn by code in a square: 0 add file, 1 remove, 2 options, 3 help,
// 4 exit, 6 add folder. Lit icons are drawn in brighter colours.
void PaintToolbarIcon(QPainter& painter, const QRectF& square, int toolbarIndex, bool lit);
