#include "app/box_tiles.h"

#include <algorithm>

TileOrigin BoxTileOrigin(const TileArea& area, int width, int height, int number) {
    // One a row and one a column at least, also on a screen smaller than a window.
    const int columns = std::max(1, area.width / std::max(1, width));
    const int rows = std::max(1, area.height / std::max(1, height));
    const int slot = std::max(0, number - 1);
    const int round = slot / (columns * rows);
    const int inRound = slot % (columns * rows);
    TileOrigin origin;
    origin.x = area.left + (inRound % columns) * width + round * kNextRoundStep;
    origin.y = area.top + (inRound / columns) * height + round * kNextRoundStep;
    return origin;
}
