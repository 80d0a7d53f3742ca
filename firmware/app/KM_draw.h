// The drawing commands: pixels and the pen, lines and shapes, polygons with
// rotation and redraw, colours, draw mode, cursor and origin, screen
// clearing, the four screen save slots and area scrolling.  Coordinates
// from the host are relative to the drawing origin unless said otherwise.
#pragma once

#include <stdint.h>

// "pr", "prx", "pw", "pwx": the whole line (their arguments are scanned
// here).
int cmdPixelRead(const char* cmd);
int cmdPixelWrite(const char* cmd);
// "p n" and "p".
int cmdPenSize(unsigned size);
int cmdPenQuery(void);
// "dp", "l".
int cmdPoint(int x, int y);
int cmdLine(int x0, int y0, int x1, int y1);
// "r" with fields fields of x0 y0 x1 y1 [style [colour]].
int cmdRect(int fields, int x0, int y0, int x1, int y1, int style, const char* color);
// "tr" with 6 corners, or 7 fields with a colour: filled.
int cmdTriangle(int fields, const int* corners, const char* color);
// "a", "e"/"ef", "c" (fields 4: filled).
int cmdArc(int x, int y, int r, int a0, int a1);
int cmdEllipse(int x, int y, int rx, int ry, int filled);
int cmdCircle(int fields, int x, int y, int r);

// Polygons: the whole line; the numbers follow the keyword (and the angle
// of the rotating forms).
enum { POLY_OUTLINE, POLY_FILLED, POLY_LINE };
int cmdPolygon(const char* cmd, int kind, int rotated);
// "ppgr a": the stored polygon again, turned by a.
int cmdPolygonRedraw(int angle);

// "s fg bg" (colour map numbers), "S" (query), "S" with RRGGBB numbers,
// "S" with colour words.
int cmdColors(int fg, int bg);
int cmdColorQuery(void);
int cmdColorsRGB(unsigned fg, unsigned bg);
int cmdColorWords(const char* fg, const char* bg);
// "d n" / "d x".
int cmdDrawMode(const char* mode);
// "sc" (the whole line).
int cmdCursor(const char* cmd);
// "o x y"; any other line beginning with "o": "o" alone answers the
// origin, arguments that are not two numbers are refused.
int cmdOrigin(int x, int y);
int cmdOriginQuery(void);
// "zs" (the whole line) and the "z" catch-all.
int cmdClearWith(const char* cmd);
int cmdClear(void);
// "*FB n": the raw value of frame-buffer pixel n.
int cmdFrameBufferPixel(int n);

// Save slots: four areas of the screen kept in SDRAM below the frame
// buffer; slot 0 is large enough to overlap slots 1 to 3, slot 2 to
// overlap slot 3.  A slot whose pixels another save overwrote is emptied.
#define SAVE_SLOTS 4
extern uint16_t ssa_width[SAVE_SLOTS];
extern uint16_t ssa_height[SAVE_SLOTS];
// "ws x0 y0 x1 y1 slot": screen coordinates, the origin is not added.
int saveScreenArea(int x0, int y0, int x1, int y1, int slot);
// "wr x y slot": the slot's top-left corner at (x, y) plus the origin,
// clipped to the screen.
int restoreScreenArea(int x, int y, int slot);
// "wrr src x0 y0 x1 y1 dst" (the whole line): copies the part x0..x1,
// y0..y1 of the area saved in slot src (its own coordinates, 0, 0 at its
// top-left pixel) into slot dst, which "wr" then draws.
int cmdCopySlotArea(const char* cmd);

// "k x0 y0 x1 y1 n dir": "l", "r", "u", "d" shift the area's content n
// pixels and fill the uncovered strip with the background colour; "L" and
// "R" turn every row n pixels round.
int scroll(int x0, int y0, int x1, int y1, int n, const char* dir);
