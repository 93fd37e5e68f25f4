#pragma once

#include <QSize>

namespace lumavera {

// How many columns the operator view lays `count` tiles out in, to fill
// `area` (tiles `spacing` apart) with the largest verdicts: fewer for a tall
// screen or few ports, more for a wide one or many. 0 when even the best
// leaves tiles too small to read, and the tiles are to scroll instead.
int TileColumns(int count, QSize area, int spacing);

// The least a tile of the operator view is made, where the screen is too
// small for all of them.
QSize SmallestTile();

} // namespace lumavera
