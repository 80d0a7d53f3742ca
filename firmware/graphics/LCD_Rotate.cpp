#include "graphics/GUI.h"

// Turned text.  Lines are laid out in an unturned text rectangle that
// shares its top-left corner with the screen rectangle GUI_RectDispString
// (width and height exchanged for quarter turns); every glyph bitmap then
// reaches the screen through one of these drawers, which moves each pixel
// to its turned place in the screen rectangle and clips it there.

GUI_Area GUI_RectDispString;

typedef void TurnFunc(int x, int y, int* pX, int* pY);

// Text-layout pixel (x, y) to the screen.
static void turn_180(int x, int y, int* pX, int* pY)
{
    const GUI_Area& r = GUI_RectDispString;
    *pX = r.x1 - (x - r.x0);
    *pY = r.y1 - (y - r.y0);
}

// A quarter turn counter-clockwise: the text reads upwards, its top
// towards the left edge of the screen rectangle.
static void turn_ccw(int x, int y, int* pX, int* pY)
{
    const GUI_Area& r = GUI_RectDispString;
    *pX = r.x0 + (y - r.y0);
    *pY = r.y1 - (x - r.x0);
}

// A quarter turn clockwise: the text reads downwards, its top towards the
// right edge.
static void turn_cw(int x, int y, int* pX, int* pY)
{
    const GUI_Area& r = GUI_RectDispString;
    *pX = r.x1 - (y - r.y0);
    *pY = r.y0 + (x - r.x0);
}

static bool inside_clip(int x, int y)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    return x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1;
}

// One bitmap pixel at its turned place.  1- and 8-bpp values are indices
// through pTrans with the draw mode's meaning (TRANS and XOR leave index 0
// alone, XOR inverts under the others); 2- and 4-bpp values of turned text
// are anti-aliasing intensities.
static void plot(int x, int y, unsigned v, int bpp, const LCD_PixelIndex* pTrans, LCD_SetPixelAAFunc* aa)
{
    if (bpp == 2 || bpp == 4) {
        aa(x, y, (uint8_t)(bpp == 2 ? v * 5 : v));
        return;
    }
    if (!inside_clip(x, y))
        return;
    const int mode = GUI_Context.DrawMode;
    const LCD_DeviceAPIList* api = GUI_Context.pDeviceAPI;
    if (mode & GUI_DRAWMODE_XOR) {
        if (v)
            api->pfXorPixel(x, y);
    } else if (!(mode & GUI_DRAWMODE_TRANS) || v) {
        api->pfSetPixelIndex(x, y, pTrans && bpp <= 8 ? pTrans[v] : v);
    }
}

static unsigned value_at(const uint8_t* row, int bpp, int col)
{
    if (bpp >= 16)
        return (unsigned)(row[2 * col] | row[2 * col + 1] << 8);
    if (bpp == 8)
        return row[col];
    const int bit = col * bpp;
    return (row[bit >> 3] >> (8 - bpp - (bit & 7))) & ((1u << bpp) - 1);
}

static void draw_turned(TurnFunc* turn, int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp,
                        int bytesPerLine, const uint8_t* pData, const LCD_PixelIndex* pTrans)
{
    if (!pData || xmag < 1 || ymag < 1)
        return;
    LCD_SetPixelAAFunc* aa = LCD_GetpfSetPixelAA();
    for (int row = 0; row < ysize; ++row) {
        const uint8_t* p = pData + row * bytesPerLine;
        for (int col = 0; col < xsize; ++col) {
            const unsigned v = value_at(p, bpp, col);
            for (int j = 0; j < ymag; ++j)
                for (int i = 0; i < xmag; ++i) {
                    int x, y;
                    turn(x0 + col * xmag + i, y0 + row * ymag + j, &x, &y);
                    plot(x, y, v, bpp, pTrans, aa);
                }
        }
    }
}

static void _DrawBitmap180(int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp, int bytesPerLine,
                           const uint8_t* pData, const LCD_PixelIndex* pTrans)
{
    draw_turned(turn_180, x0, y0, xsize, ysize, xmag, ymag, bpp, bytesPerLine, pData, pTrans);
}

static void _DrawBitmapCCW(int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp, int bytesPerLine,
                           const uint8_t* pData, const LCD_PixelIndex* pTrans)
{
    draw_turned(turn_ccw, x0, y0, xsize, ysize, xmag, ymag, bpp, bytesPerLine, pData, pTrans);
}

static void _DrawBitmapCW(int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp, int bytesPerLine,
                          const uint8_t* pData, const LCD_PixelIndex* pTrans)
{
    draw_turned(turn_cw, x0, y0, xsize, ysize, xmag, ymag, bpp, bytesPerLine, pData, pTrans);
}

static void rect_unturned(GUI_Area*) {}

static void rect_quarter(GUI_Area* r)
{
    const int w = r->x1 - r->x0 + 1, h = r->y1 - r->y0 + 1;
    r->x1 = (int16_t)(r->x0 + h - 1);
    r->y1 = (int16_t)(r->y0 + w - 1);
}

const GUI_RotationAPIList LCD_APIList180 = {_DrawBitmap180, rect_unturned};
const GUI_RotationAPIList LCD_APIListCCW = {_DrawBitmapCCW, rect_quarter};
const GUI_RotationAPIList LCD_APIListCW = {_DrawBitmapCW, rect_quarter};

void GUI__TextRectToScreen(GUI_Area* pRect)
{
    const GUI_RotationAPIList* list = GUI_pLCD_APIList;
    TurnFunc* turn = list == &LCD_APIList180 ? turn_180
                     : list == &LCD_APIListCCW ? turn_ccw
                     : list == &LCD_APIListCW  ? turn_cw
                                               : nullptr;
    if (!turn)
        return;
    int ax, ay, bx, by;
    turn(pRect->x0, pRect->y0, &ax, &ay);
    turn(pRect->x1, pRect->y1, &bx, &by);
    pRect->x0 = (int16_t)(ax < bx ? ax : bx);
    pRect->x1 = (int16_t)(ax < bx ? bx : ax);
    pRect->y0 = (int16_t)(ay < by ? ay : by);
    pRect->y1 = (int16_t)(ay < by ? by : ay);
}

void GUI__ClearTextRect(int x0, int y0, int x1, int y1)
{
    GUI_Area r = {(int16_t)x0, (int16_t)y0, (int16_t)x1, (int16_t)y1};
    GUI__TextRectToScreen(&r);
    // Reverse mode flipped for the fill gives the foreground slot what the
    // background slot holds now: the cell colour of the text mode in use.
    const int old = GUI_Context.DrawMode;
    LCD_SetDrawMode((old & GUI_DRAWMODE_REV) ^ GUI_DRAWMODE_REV);
    LCD_FillRect(r.x0, r.y0, r.x1, r.y1);
    LCD_SetDrawMode(old);
}
