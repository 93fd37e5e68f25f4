#include "panel/tilegrid.h"

#include "panel/stationtile.h"

namespace lumavera {

QSize SmallestTile()
{
    return {96, 72};
}

int TileColumns(int count, QSize area, int spacing)
{
    if (count <= 0)
        return 1;
    int best = 0;
    int bestVerdict = -1;
    int bestArea = 0;
    for (int columns = 1; columns <= count; ++columns) {
        const int rows = (count + columns - 1) / columns;
        const QSize tile((area.width() - (columns - 1) * spacing) / columns,
                         (area.height() - (rows - 1) * spacing) / rows);
        if (tile.width() < SmallestTile().width() || tile.height() < SmallestTile().height())
            continue;
        // Of two that show the verdict as large, the one with the larger
        // tiles: more room for the reasons.
        const int verdict = StationTile::verdictPixels(tile);
        const int area = tile.width() * tile.height();
        if (verdict > bestVerdict || (verdict == bestVerdict && area > bestArea)) {
            best = columns;
            bestVerdict = verdict;
            bestArea = area;
        }
    }
    return best;
}

} // namespace lumavera
