#include "graphics/GUI.h"

// Lines: thin ones walked along their major axis with dash styles, thick
// ones as a filled quadrilateral with optional round ends.

static int mod(int n, int m)
{
    const int r = n % m;
    return r < 0 ? r + m : r;
}

// Whether the pixel at pattern position n is drawn in a dash style.
static bool dash_drawn(int style, int n)
{
    switch (style) {
    case 1: return mod(n + 6, 16) >= 12;
    case 2: return mod(n, 4) >= 2;
    case 3: {
        const int m = mod(n, 20);
        return (m >= 12 && m <= 15) || m >= 18;
    }
    case 4: {
        const int m = mod(n, 24);
        return (m >= 12 && m <= 15) || m == 18 || m == 19 || m >= 22;
    }
    default: return true;  // solid, and every style above 4
    }
}

// Minor offset of step i: (i * dMinor + h) / len, truncated; lines longer
// than 46340 pixels (far-off ends) take 64 bits for the product.
static int minor_step(int i, int dMinor, int h, int len)
{
    if (len <= 46340)
        return (i * dMinor + h) / len;
    return (int)(((int64_t)i * dMinor + h) / len);
}

static void span(bool xMajor, int major0, int major1, int minor)
{
    if (xMajor)
        LCD_DrawHLine(major0, minor, major1);
    else
        LCD_DrawVLine(minor, major0, major1);
}

void GL_DrawLine1Ex(int x0, int y0, int x1, int y1, int* pPixelCnt)
{
    if (x0 == x1 && y0 == y1) {
        GL_DrawPoint(x0, y0);
        return;
    }
    const int style = GUI_Context.LineStyle;
    const int dx = x1 - x0, dy = y1 - y0;
    const int adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const bool xMajor = adx >= ady;
    // Walked from the end with the smaller major coordinate.
    const bool forward = xMajor ? dx > 0 : dy > 0;
    const int len = xMajor ? adx : ady;
    const int major0 = xMajor ? (forward ? x0 : x1) : (forward ? y0 : y1);
    const int minor0 = xMajor ? (forward ? y0 : y1) : (forward ? x0 : x1);
    const int dMinor = (xMajor ? dy : dx) * (forward ? 1 : -1);
    const int count = pPixelCnt ? *pPixelCnt : 0;
    // Halves round away from the start: h carries the sign of dMinor and
    // the division truncates toward zero.
    const int h = dMinor < 0 ? -(len / 2) : len / 2;
    if (style == 0) {
        // Solid: each run of equal minor coordinate is one line primitive.
        int runStart = 0, runMinor = minor0 + h / len;
        for (int i = 1; i <= len; ++i) {
            const int m = minor0 + minor_step(i, dMinor, h, len);
            if (m != runMinor) {
                span(xMajor, major0 + runStart, major0 + i - 1, runMinor);
                runStart = i;
                runMinor = m;
            }
        }
        span(xMajor, major0 + runStart, major0 + len, runMinor);
    } else {
        for (int i = 0; i <= len; ++i) {
            // The pattern position moves with the line's own direction, so
            // the pattern runs on across joined segments.
            const int n = forward ? count + 1 + i : count + len - 1 - i;
            if (!dash_drawn(style, n))
                continue;
            const int m = minor0 + minor_step(i, dMinor, h, len);
            if (xMajor)
                LCD_DrawPixel(major0 + i, m);
            else
                LCD_DrawPixel(m, major0 + i);
        }
    }
    if (pPixelCnt)
        *pPixelCnt = count + len;
}

void GL_DrawLine1(int x0, int y0, int x1, int y1)
{
    int count = 0;
    GL_DrawLine1Ex(x0, y0, x1, y1, &count);
}

// Integer offset / 1024, halves rounded away from zero.
static int div1024(int v)
{
    return v < 0 ? -((-v + 512) >> 10) : (v + 512) >> 10;
}

void GL_DrawLineEx(int x0, int y0, int x1, int y1, int* pPixelCnt)
{
    const int pen = GUI_Context.PenSize;
    if (pen <= 1) {
        GL_DrawLine1Ex(x0, y0, x1, y1, pPixelCnt);
        return;
    }
    if (x0 == x1 && y0 == y1)
        return;
    // The pen's width runs across the line: split into a lower and an upper
    // half, the upper taking the odd pixel.
    const int across = GUI__atan2(x1 - x0, y1 - y0) + 1024;
    const int ox = div1024((pen - 1) * GUI_cos(across)), oy = div1024((pen - 1) * GUI_sin(across));
    const int lox = ox / 2, loy = oy / 2, hix = ox - lox, hiy = oy - loy;
    const GUI_Point corners[4] = {
        {(int16_t)(x0 - lox), (int16_t)(y0 - loy)},
        {(int16_t)(x0 + hix), (int16_t)(y0 + hiy)},
        {(int16_t)(x1 + hix), (int16_t)(y1 + hiy)},
        {(int16_t)(x1 - lox), (int16_t)(y1 - loy)},
    };
    GL_FillPolygon(corners, 4, 0, 0);
    if (GUI_Context.PenShape == 0) {
        GL_DrawPoint(x0, y0);
        GL_DrawPoint(x1, y1);
    }
    if (pPixelCnt) {
        const int adx = x1 > x0 ? x1 - x0 : x0 - x1, ady = y1 > y0 ? y1 - y0 : y0 - y1;
        *pPixelCnt += adx > ady ? adx : ady;
    }
}

void GL_DrawLine(int x0, int y0, int x1, int y1)
{
    int count = 0;
    GL_DrawLineEx(x0, y0, x1, y1, &count);
}

void GL_MoveTo(int x, int y)
{
    GUI_Context.DrawPosX = (int16_t)x;
    GUI_Context.DrawPosY = (int16_t)y;
}

void GL_DrawLineToEx(int x, int y, int* pPixelCnt)
{
    GL_DrawLineEx(GUI_Context.DrawPosX, GUI_Context.DrawPosY, x, y, pPixelCnt);
    GL_MoveTo(x, y);
}

void GL_DrawLineTo(int x, int y)
{
    int count = 0;
    GL_DrawLineToEx(x, y, &count);
}

void GUI_DrawLine(int x0, int y0, int x1, int y1)
{
    GL_DrawLine(x0, y0, x1, y1);
}

void GUI_DrawLineTo(int x, int y)
{
    GL_DrawLineTo(x, y);
}

void GUI_MoveTo(int x, int y)
{
    GL_MoveTo(x, y);
}

void GUI_MoveRel(int dx, int dy)
{
    GL_MoveTo(GUI_Context.DrawPosX + dx, GUI_Context.DrawPosY + dy);
}

void GUI_DrawLineRel(int dx, int dy)
{
    const int x = GUI_Context.DrawPosX, y = GUI_Context.DrawPosY;
    GL_DrawLine(x, y, x + dx, y + dy);
    GUI_MoveRel(dx, dy);
}
