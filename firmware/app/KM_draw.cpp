#include "app/KM_draw.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/KM_agif.h"
#include "app/KM_animation.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/Main.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "board/hw.h"
#include "board/lcd_driver.h"
#include "config/build_config.h"
#include "graphics/GUI.h"
#include "graphics/LCDLin32.h"

static const char kSyntax[] = ":err - syntax\r";

// The host gets a text only where the command has one; the checks that keep
// the controller from wrapping coordinates or running past a buffer answer
// "!" alone.
static int refuse(const char* message)
{
    txString(message);
    return CMD_FAIL;
}

// ---------------------------------------------------------------- coordinates

// The host's room for coordinates (command.h).
static int inRange(long long v)
{
    return coordInRange(v);
}

static int place(int* xy, int pairs)
{
    return placeAtOrigin(xy, pairs);
}

static int radiusOK(int r)
{
    return r >= 0 && r <= COORD_LIMIT;
}

// The frame buffer written or read directly, past clipping and draw mode:
// the display driver hands out the address (and marks the buffer changed
// when it is for writing).
static uint16_t* framePixel(int x, int y)
{
    return LCD_L0_PixelAddress(x, y);
}

static const uint16_t* framePixelToRead(int x, int y)
{
    return LCD_L0_ConstPixelAddress(x, y);
}

// ---------------------------------------------------------------- pixels and pen

// "pr"/"pw" alone or followed directly by "x", then the arguments.
static int pixelKeyword(const char* cmd)
{
    const char* p = cmd + 2;
    if (*p == 'x')
        ++p;
    return *p == 0 || isspace((unsigned char)*p);
}

static int screenPixel(int* xy)
{
    return place(xy, 1) && areaIsOnScreen(xy[0], xy[1], xy[0], xy[1]);
}

int cmdPixelRead(const char* cmd)
{
    int xy[2];
    if (!pixelKeyword(cmd) || KM_sscanf(cmd, "%*s %d %d", &xy[0], &xy[1]) != 2)
        return refuse(kSyntax);
    if (!screenPixel(xy))
        return CMD_FAIL;
    const unsigned p = *framePixelToRead(xy[0], xy[1]);
    if (cmd[2] == 'x')
        pout("%04X\r", p);
    else
        pout("%02X%02X%02X\r", p >> 8 & 0xF8, p >> 3 & 0xFC, p << 3 & 0xF8);
    return CMD_OK;
}

static uint16_t rgbTo565(unsigned c)
{
    return (uint16_t)((c >> 8 & 0xF800) | (c >> 5 & 0x7E0) | (c & 0xFF) >> 3);
}

int cmdPixelWrite(const char* cmd)
{
    int xy[2];
    unsigned c;
    const int fields = pixelKeyword(cmd) ? KM_sscanf(cmd, "%*s %d %d %x", &xy[0], &xy[1], &c) : 0;
    if (fields < 2)
        return refuse(kSyntax);
    if (fields == 2) {
        if (!place(xy, 1))
            return CMD_FAIL;
        GUI_DrawPixel(xy[0], xy[1]);
        return CMD_OK;
    }
    // A value goes straight into the frame buffer, past clipping and draw
    // mode: the position must be on the panel.
    const int rgb = cmd[2] == 'x';
    if (!screenPixel(xy))
        return CMD_FAIL;
    *framePixel(xy[0], xy[1]) = rgb ? rgbTo565(c) : (uint16_t)c;
    return CMD_OK;
}

int cmdPenSize(unsigned size)
{
    // The library keeps the pen in a byte: a larger size would wrap round.
    if (size > 255)
        return CMD_FAIL;
    GUI_SetPenSize((uint8_t)size);
    return CMD_OK;
}

int cmdPenQuery(void)
{
    snprintf(out_buffer, sizeof out_buffer, "%d\r", GUI_GetPenSize());
    txNotify(out_buffer);
    return CMD_OK;
}

// ---------------------------------------------------------------- shapes

int cmdPoint(int x, int y)
{
    int xy[2] = {x, y};
    if (!place(xy, 1))
        return CMD_FAIL;
    GUI_DrawPoint(xy[0], xy[1]);
    return CMD_OK;
}

int cmdLine(int x0, int y0, int x1, int y1)
{
    int xy[4] = {x0, y0, x1, y1};
    if (!place(xy, 2))
        return CMD_FAIL;
    GUI_DrawLine(xy[0], xy[1], xy[2], xy[3]);
    return CMD_OK;
}

int cmdRect(int fields, int x0, int y0, int x1, int y1, int style, const char* color)
{
    int xy[4] = {x0, y0, x1, y1};
    if (fields < 5)
        style = 0;
    if (style < 0 || style > 3)
        return CMD_FAIL;
    if (!place(xy, 2))
        return CMD_FAIL;
    // Style 3 of the host is a fill (the thin outline is a style of the
    // screen objects only).  A colour word counts for the fills alone, and
    // style 3 takes it only when it has the length of a colour (whatever
    // its characters are).
    const int drawStyle = style == 3 ? 1 : style;
    if (style == 3 && fields >= 6 && strlen(color) != 3 && strlen(color) != 6)
        fields = 5;
    if (fields < 6 || drawStyle != 1)
        return GUIDEMO_DrawRect(drawStyle, xy[0], xy[1], xy[2], xy[3]);
    const GUI_ColorValue old = GUI_GetColor();
    GUI_SetColor(atoBGR(color));
    GUIDEMO_DrawRect(1, xy[0], xy[1], xy[2], xy[3]);
    GUI_SetColor(old);
    return CMD_OK;
}

int cmdTriangle(int fields, const int* corners, const char* color)
{
    int xy[6];
    memcpy(xy, corners, sizeof xy);
    if (!place(xy, 3))
        return CMD_FAIL;
    const GUI_Point p[3] = {{(int16_t)xy[0], (int16_t)xy[1]}, {(int16_t)xy[2], (int16_t)xy[3]}, {(int16_t)xy[4], (int16_t)xy[5]}};
    if (fields < 7) {
        GUI_DrawPolygon(p, 3, 0, 0);
        return CMD_OK;
    }
    const GUI_ColorValue old = GUI_GetColor();
    GUI_SetColor(atoBGR(color));
    GUI_FillPolygon(p, 3, 0, 0);
    GUI_SetColor(old);
    return CMD_OK;
}

int cmdArc(int x, int y, int r, int a0, int a1)
{
    int xy[2] = {x, y};
    if (!radiusOK(r))
        return CMD_FAIL;
    if (!place(xy, 1))
        return CMD_FAIL;
    GL_DrawArc(xy[0], xy[1], r, r, a0, a1);
    return CMD_OK;
}

int cmdEllipse(int x, int y, int rx, int ry, int filled)
{
    int xy[2] = {x, y};
    if (rx > 180 || ry > 180)
        return refuse(filled ? "Radius values over 180\r" : ":Radius values over 180\r");
    if (rx < 0 || ry < 0)
        return CMD_FAIL;
    if (!place(xy, 1))
        return CMD_FAIL;
    if (filled)
        GUI_FillEllipse(xy[0], xy[1], rx, ry);
    else
        GUI_DrawEllipse(xy[0], xy[1], rx, ry);
    return CMD_OK;
}

int cmdCircle(int fields, int x, int y, int r)
{
    int xy[2] = {x, y};
    if (!radiusOK(r))
        return CMD_FAIL;
    if (!place(xy, 1))
        return CMD_FAIL;
    if (fields >= 4)
        GUI_FillCircle(xy[0], xy[1], r);
    else
        GUI_DrawCircle(xy[0], xy[1], r);
    return CMD_OK;
}

// ---------------------------------------------------------------- polygons

#define POLY_POINTS 11  // the position and ten vertices

// Point 0 is the position, 1..polyCount the vertices relative to it; kept
// unrotated for "ppgr".
static GUI_Point v[POLY_POINTS];
static int polyCount;
static int polyRedrawFilled;

static void drawPolygon(const GUI_Point* points, int count, int x, int y, int kind)
{
    if (kind == POLY_FILLED)
        GUI_FillPolygon(points, count, x, y);
    else if (kind == POLY_LINE)
        GUI_DrawPolyLine(points, count, x, y);
    else
        GUI_DrawPolygon(points, count, x, y);
}

// The vertices turned by degrees about the position, drawn at the position
// plus the origin.  The angle is wide: 360 - a of any angle the host sends
// must not wrap round.
static int drawTurned(int64_t degrees, int kind)
{
    int xy[2] = {v[0].x, v[0].y};
    if (!place(xy, 1))
        return CMD_FAIL;
    GUI_Point turned[POLY_POINTS - 1];
    GUI_RotatePolygon(turned, v + 1, polyCount, (float)((double)degrees * 3.1415 / 180.0));
    drawPolygon(turned, polyCount, xy[0], xy[1], kind);
    return CMD_OK;
}

int cmdPolygon(const char* cmd, int kind, int rotated)
{
    // The keyword, then up to one angle and 22 numbers; one more is read to
    // see that there are not too many.
    int32_t n[1 + 2 * POLY_POINTS + 1];
    const char* p = cmd + (rotated ? 3 : 2);
    if (*p && !isspace((unsigned char)*p))
        return CMD_FAIL;
    int count = 0;
    while (count < (int)(sizeof n / sizeof n[0])) {
        char* end;
        const int32_t value = KM_strtol(p, &end, 10);
        if (end == p)
            break;
        n[count++] = value;
        p = end;
    }
    const int32_t* xy = n + (rotated ? 1 : 0);
    const int numbers = count - (rotated ? 1 : 0);
    if (numbers < 6 || numbers > 2 * POLY_POINTS || numbers % 2)
        return CMD_FAIL;
    for (int i = 0; i < numbers; ++i)
        if (!inRange(xy[i]))
            return CMD_FAIL;
    for (int i = 0; i < numbers / 2; ++i) {
        v[i].x = (int16_t)xy[2 * i];
        v[i].y = (int16_t)xy[2 * i + 1];
    }
    polyCount = numbers / 2 - 1;
    // "pl" keeps the redraw mode; "plr" counts as filled.
    if (kind != POLY_LINE || rotated)
        polyRedrawFilled = kind != POLY_OUTLINE;
    if (!rotated) {
        int at[2] = {v[0].x, v[0].y};
        if (!place(at, 1))
            return CMD_FAIL;
        drawPolygon(v + 1, polyCount, at[0], at[1], kind);
        return CMD_OK;
    }
    const int32_t a = n[0];
    return drawTurned(kind == POLY_OUTLINE || !angleSense ? a : 360 - (int64_t)a, kind);
}

int cmdPolygonRedraw(int angle)
{
    if (polyCount == 0)
        return CMD_OK;  // no polygon stored yet: nothing to draw
    return drawTurned(angleSense ? 360 - (int64_t)angle : angle, polyRedrawFilled ? POLY_FILLED : POLY_OUTLINE);
}

// ---------------------------------------------------------------- colours and modes

// A number outside the map is told (the text has no CR) and takes entry 0.
static uint32_t mapColor(int n, const char* complaint)
{
    if (n >= 0 && n < COLOR_MAP_SIZE)
        return color_map[n];
    txString(complaint);
    return color_map[0];
}

int cmdColors(int fg, int bg)
{
    GUI_SetColor(mapColor(fg, "Invalid Foreground Color"));
    GUI_SetBkColor(mapColor(bg, "Invalid Background Color"));
    return CMD_OK;
}

int cmdColorQuery(void)
{
    snprintf(out_buffer, sizeof out_buffer, "%06X (%04X) %06X (%04X)\r", (unsigned)GUI_GetColor(),
             (unsigned)GUI_GetColorIndex(), (unsigned)GUI_GetBkColor(), (unsigned)GUI_GetBkColorIndex());
    txNotify(out_buffer);
    return CMD_OK;
}

static void setColors(uint32_t fg, uint32_t bg)
{
    GUI_SetColor(fg);
    GUI_SetBkColor(bg);
}

// RRGGBB from the host, 0x00BBGGRR in the library; digits above the six
// are dropped.
static uint32_t toBGR(unsigned rgb)
{
    return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
}

int cmdColorsRGB(unsigned fg, unsigned bg)
{
    setColors(toBGR(fg), toBGR(bg));
    return CMD_OK;
}

int cmdColorWords(const char* fg, const char* bg)
{
    setColors(atoBGR(fg), atoBGR(bg));
    return CMD_OK;
}

int cmdDrawMode(const char* mode)
{
    if (!strcmp(mode, "n"))
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    else if (!strcmp(mode, "x"))
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    else
        return CMD_FAIL;
    return CMD_OK;
}

// ---------------------------------------------------------------- cursor, origin, clearing

int cmdCursor(const char* cmd)
{
    int xy[2];
    if (KM_sscanf(cmd, "sc %d %d", &xy[0], &xy[1]) != 2)
        return refuse(kSyntax);
    int at[2] = {xy[0], xy[1]};
    if (!place(at, 1))
        return CMD_FAIL;
    setCursor(xy[0], xy[1]);
    return CMD_OK;
}

int cmdOrigin(int x, int y)
{
    // The text position is kept in 16 bits.
    if (!inRange(x) || !inRange(y))
        return CMD_FAIL;
    setOrigin(x, y);
    return CMD_OK;
}

int cmdOriginQuery(void)
{
    snprintf(out_buffer, sizeof out_buffer, "%d %d\r", (int)Origin_X, (int)Origin_Y);
    txString(out_buffer);
    return CMD_OK;
}

int cmdClearWith(const char* cmd)
{
    int n;
    if (KM_sscanf(cmd, "zs %d", &n) != 1)
        return refuse(kSyntax);
    // 0 keeps the picture; another number draws that bitmap of the image.
    GUIDEMO_Clear(n == 0 ? -1 : n);
    return CMD_OK;
}

int cmdClear(void)
{
    init_animation();
    init_agif();
    GUIDEMO_Clear(0);
    return CMD_OK;
}

int cmdFrameBufferPixel(int n)
{
    if (n < 0 || n >= LCD_WIDTH * LCD_HEIGHT)
        return CMD_FAIL;
    pout("%04X\r", (unsigned)*framePixelToRead(n % LCD_WIDTH, n / LCD_WIDTH));
    return CMD_OK;
}

// ---------------------------------------------------------------- save slots

uint16_t ssa_width[SAVE_SLOTS];
uint16_t ssa_height[SAVE_SLOTS];

// Pixels a slot takes; they run on over the slots after it.
static const uint32_t slotLimit[SAVE_SLOTS] = {0x80000, 0x20000, 0x40000, 0x20000};

// The slots are the RAM download slots' memory.
static uint32_t slotAddress(int slot)
{
    return RAM_SLOT_BASE + (uint32_t)slot * RAM_SLOT_SIZE;
}

static uint16_t* slotPixels(int slot)
{
    return (uint16_t*)hw_ptr(slotAddress(slot));
}

static uint32_t slotBytes(int slot)
{
    return (uint32_t)ssa_width[slot] * ssa_height[slot] * 2;
}

static int slotOK(int slot)
{
    return slot >= 0 && slot < SAVE_SLOTS;
}

static int overlaps(uint32_t a, uint32_t aBytes, uint32_t b, uint32_t bBytes)
{
    return a < b + bBytes && b < a + aBytes;
}

// Records width by height pixels for slot, emptying every other slot whose
// pixels they overwrite.
static void recordSlot(int slot, int width, int height)
{
    const uint32_t bytes = (uint32_t)width * height * 2;
    for (int s = 0; s < SAVE_SLOTS; ++s) {
        if (s != slot && overlaps(slotAddress(slot), bytes, slotAddress(s), slotBytes(s)))
            ssa_width[s] = ssa_height[s] = 0;
    }
    ssa_width[slot] = (uint16_t)width;
    ssa_height[slot] = (uint16_t)height;
}

int saveScreenArea(int x0, int y0, int x1, int y1, int slot)
{
    if (!slotOK(slot) || !areaIsOnScreen(x0, y0, x1, y1))
        return CMD_FAIL;
    const int width = x1 - x0 + 1, height = y1 - y0 + 1;
    if ((uint32_t)width * height > slotLimit[slot])
        return CMD_FAIL;
    recordSlot(slot, width, height);
    uint16_t* to = slotPixels(slot);
    for (int y = y0; y <= y1; ++y, to += width)
        memcpy(to, framePixelToRead(x0, y), (size_t)width * 2);
    return CMD_OK;
}

int restoreScreenArea(int x, int y, int slot)
{
    int at[2] = {x, y};
    if (!slotOK(slot))
        return CMD_FAIL;
    const int width = ssa_width[slot], height = ssa_height[slot];
    if (!place(at, 1))
        return CMD_FAIL;
    // Only the part that falls on the screen is drawn.
    const int cx0 = at[0] < 0 ? 0 : at[0], cy0 = at[1] < 0 ? 0 : at[1];
    const int cx1 = at[0] + width - 1 < LCD_WIDTH ? at[0] + width - 1 : LCD_WIDTH - 1;
    const int cy1 = at[1] + height - 1 < LCD_HEIGHT ? at[1] + height - 1 : LCD_HEIGHT - 1;
    const uint16_t* from = slotPixels(slot);
    for (int row = cy0; cx0 <= cx1 && row <= cy1; ++row)
        memcpy(framePixel(cx0, row), from + (row - at[1]) * width + (cx0 - at[0]), (size_t)(cx1 - cx0 + 1) * 2);
    return CMD_OK;
}

int cmdCopySlotArea(const char* cmd)
{
    int src, x0, y0, x1, y1;
    int dst;
    if (KM_sscanf(cmd, "wrr %d%d%d%d%d%d", &src, &x0, &y0, &x1, &y1, &dst) != 6)
        return refuse(":incorrect number of parameters\r");
    // Only pixels the source slot holds are read, and no more than the
    // target slot takes are written.
    if (!slotOK(src) || dst < 0 || dst >= SAVE_SLOTS)
        return CMD_FAIL;
    const int from = src, to = (int)dst;
    if (x0 < 0 || y0 < 0 || x0 > x1 || y0 > y1 || x1 >= ssa_width[from] || y1 >= ssa_height[from])
        return CMD_FAIL;
    const int width = x1 - x0 + 1, height = y1 - y0 + 1;
    if ((uint32_t)width * height > slotLimit[to])
        return CMD_FAIL;
    // The copy must not write over the pixels it still has to read.
    if (overlaps(slotAddress(from), slotBytes(from), slotAddress(to), (uint32_t)width * height * 2))
        return refuse(":cannot restore window from itself\r");
    const uint16_t* in = slotPixels(from) + y0 * ssa_width[from] + x0;
    uint16_t* out = slotPixels(to);
    for (int row = 0; row < height; ++row)
        memcpy(out + row * width, in + row * ssa_width[from], (size_t)width * 2);
    recordSlot(to, width, height);
    return CMD_OK;
}

// ---------------------------------------------------------------- scrolling

static uint16_t rowBuf[PANEL_WIDTH];

static void fillPixels(uint16_t* p, int count, uint16_t value)
{
    for (int i = 0; i < count; ++i)
        p[i] = value;
}

int scroll(int x0, int y0, int x1, int y1, int n, const char* dir)
{
    int xy[4] = {x0, y0, x1, y1};
    if (n < 0 || strlen(dir) != 1 || !strchr("LRlrud", dir[0]))
        return CMD_FAIL;
    if (!place(xy, 2) || !areaIsOnScreen(xy[0], xy[1], xy[2], xy[3]))
        return CMD_FAIL;
    x0 = xy[0];
    y0 = xy[1];
    x1 = xy[2];
    y1 = xy[3];
    const int width = x1 - x0 + 1, height = y1 - y0 + 1;
    const uint16_t bk = (uint16_t)GUI_GetBkColorIndex();
    const size_t rowBytes = (size_t)width * 2;
    switch (dir[0]) {
    case 'L':
    case 'R': {
        // Turning a row by k to the left is turning it by width - k to the
        // right.
        const int k = dir[0] == 'L' ? n % width : (width - n % width) % width;
        for (int y = y0; k && y <= y1; ++y) {
            uint16_t* row = framePixel(x0, y);
            memcpy(rowBuf, row, rowBytes);
            memcpy(row, rowBuf + k, (size_t)(width - k) * 2);
            memcpy(row + width - k, rowBuf, (size_t)k * 2);
        }
        break;
    }
    case 'l':
    case 'r': {
        const int k = n < width ? n : width;
        for (int y = y0; y <= y1; ++y) {
            uint16_t* row = framePixel(x0, y);
            if (dir[0] == 'l') {
                memmove(row, row + k, (size_t)(width - k) * 2);
                fillPixels(row + width - k, k, bk);
            } else {
                memmove(row + k, row, (size_t)(width - k) * 2);
                fillPixels(row, k, bk);
            }
        }
        break;
    }
    case 'u': {
        const int k = n < height ? n : height;
        for (int y = y0; y <= y1 - k; ++y)
            memcpy(framePixel(x0, y), framePixelToRead(x0, y + k), rowBytes);
        for (int y = y1 - k + 1; y <= y1; ++y)
            fillPixels(framePixel(x0, y), width, bk);
        break;
    }
    default: {  // 'd'
        const int k = n < height ? n : height;
        for (int y = y1; y >= y0 + k; --y)
            memcpy(framePixel(x0, y), framePixelToRead(x0, y - k), rowBytes);
        for (int y = y0; y < y0 + k; ++y)
            fillPixels(framePixel(x0, y), width, bk);
        break;
    }
    }
    return CMD_OK;
}
