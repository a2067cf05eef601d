#pragma once

// Where the windows of a run of several boxes go: side by side, row by row,
// from the top-left corner of the screen's work area, so that none hides
// another. When the area is full the next round starts again at the corner,
// moved down and right by kNextRoundStep, so that each title stays readable.

constexpr int kNextRoundStep = 24;

struct TileArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct TileOrigin {
    int x = 0;
    int y = 0;
};

// The top-left corner of the window of box `number` (1 for the first), each
// window `width` x `height`.
TileOrigin BoxTileOrigin(const TileArea& area, int width, int height, int number);
