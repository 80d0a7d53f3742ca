#include "graphics/LCD.h"

#include "graphics/GUI.h"
#include "graphics/LCDLin32.h"

// The one place that clips: every primitive is tested once against the
// context's clip rectangle here, so the driver never tests coordinates.

LCD_PixelIndex* LCD_pColorIndex = &GUI_Context.ColorIndex;
LCD_PixelIndex* LCD_pBkColorIndex = &GUI_Context.BkColorIndex;
LCD_PixelIndex* LCD_pAColorIndex = GUI_Context.aColorIndex;

const LCD_DeviceAPIList* const LCD_aAPI[1] = {&LCD_L0_APIList};
const GUI_HLineAPIList LCD_HLineAPI = {LCD_DrawHLine, LCD_DrawPixel};

static const LCD_PrimitiveAPIList* overrideAPI;

static const LCD_DeviceAPIList* api(void)
{
    return GUI_Context.pDeviceAPI;
}

// The override list takes the primitives only while the driver accepts
// passed bitmaps (device function 6).
static const LCD_PrimitiveAPIList* override_list(void)
{
    if (overrideAPI && api()->pfGetDevFunc(LCD_DEVFUNC_PASSING_BITMAPS))
        return overrideAPI;
    return nullptr;
}

void LCD_SetAPIList(const LCD_PrimitiveAPIList* pAPI)
{
    overrideAPI = pAPI;
}

// ---------------------------------------------------------------- colours

static bool reversed(void)
{
    return (GUI_Context.DrawMode & GUI_DRAWMODE_REV) != 0;
}

void LCD_SetColorIndex(LCD_PixelIndex index)
{
    GUI_Context.aColorIndex[reversed() ? 0 : 1] = index;
}

void LCD_SetBkColorIndex(LCD_PixelIndex index)
{
    GUI_Context.aColorIndex[reversed() ? 1 : 0] = index;
}

LCD_PixelIndex LCD_GetColorIndex(void)
{
    return *LCD_pColorIndex;
}

LCD_PixelIndex LCD_GetBkColorIndex(void)
{
    return *LCD_pBkColorIndex;
}

// Most commands set the same colours again and again: the conversion runs
// only when the value changes.
void LCD_SetColor(GUI_ColorValue color)
{
    if (color == GUI_Context.Color)
        return;
    GUI_Context.Color = color;
    LCD_SetColorIndex(LCD_Color2Index(color));
}

void LCD_SetBkColor(GUI_ColorValue color)
{
    if (color == GUI_Context.BkColor)
        return;
    GUI_Context.BkColor = color;
    LCD_SetBkColorIndex(LCD_Color2Index(color));
}

// A slot set by index has no cached value; its index is kept as it is.
void LCD_UpdateColorIndices(void)
{
    if (GUI_Context.Color != GUI_COLOR_NONE)
        LCD_SetColorIndex(LCD_Color2Index(GUI_Context.Color));
    if (GUI_Context.BkColor != GUI_COLOR_NONE)
        LCD_SetBkColorIndex(LCD_Color2Index(GUI_Context.BkColor));
}

LCD_PixelIndex LCD_Color2Index(GUI_ColorValue color)
{
    return api()->pfColor2Index(color);
}

GUI_ColorValue LCD_Index2Color(LCD_PixelIndex index)
{
    return api()->pfIndex2Color(index);
}

// The driver's own conversions (the panel's RGB565), so that callers can
// tell the format by the function.
LCD_Color2IndexFunc* LCD_GetpfColor2IndexEx(int layer)
{
    return layer == 0 ? LCD_L0_GetpfColor2Index() : nullptr;
}

LCD_Index2ColorFunc* LCD_GetpfIndex2ColorEx(int layer)
{
    return layer == 0 ? LCD_L0_GetpfIndex2Color() : nullptr;
}

int LCD_SetDrawMode(int mode)
{
    const int old = GUI_Context.DrawMode;
    if ((old ^ mode) & GUI_DRAWMODE_REV) {
        LCD_PixelIndex t = GUI_Context.aColorIndex[0];
        GUI_Context.aColorIndex[0] = GUI_Context.aColorIndex[1];
        GUI_Context.aColorIndex[1] = t;
    }
    GUI_Context.DrawMode = (uint8_t)mode;
    return old;
}

// ---------------------------------------------------------------- clipping

void LCD_SetClipRectEx(const GUI_Area* pRect)
{
    GUI_Area device;
    api()->pfGetRect(&device);
    GUI__IntersectRects(&GUI_Context.ClipRect, pRect, &device);
}

void LCD_SetClipRectMax(void)
{
    api()->pfGetRect(&GUI_Context.ClipRect);
}

void LCD_SelectLCD(void)
{
    GUI_Context.pDeviceAPI = LCD_aAPI[0];
    GUI_Context.pClipRect = &GUI_Context.ClipRect;
    LCD_SetClipRectMax();
}

// ---------------------------------------------------------------- primitives

static bool inside_clip(int x, int y)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    return x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1;
}

void LCD_DrawPixel(int x, int y)
{
    if (!inside_clip(x, y))
        return;
    if (const LCD_PrimitiveAPIList* o = override_list())
        o->pfDrawPixel(x, y);
    else if (GUI_Context.DrawMode & GUI_DRAWMODE_XOR)
        api()->pfXorPixel(x, y);
    else
        api()->pfSetPixelIndex(x, y, *LCD_pColorIndex);
}

void LCD_SetPixelIndex(int x, int y, LCD_PixelIndex index)
{
    if (inside_clip(x, y))
        api()->pfSetPixelIndex(x, y, index);
}

void LCD_DrawHLine(int x0, int y, int x1)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    if (y < c.y0 || y > c.y1)
        return;
    if (x0 < c.x0)
        x0 = c.x0;
    if (x1 > c.x1)
        x1 = c.x1;
    if (x0 > x1)
        return;
    if (const LCD_PrimitiveAPIList* o = override_list())
        o->pfDrawHLine(x0, y, x1);
    else
        api()->pfDrawHLine(x0, y, x1);
}

void LCD_DrawVLine(int x, int y0, int y1)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    if (x < c.x0 || x > c.x1)
        return;
    if (y0 < c.y0)
        y0 = c.y0;
    if (y1 > c.y1)
        y1 = c.y1;
    if (y0 > y1)
        return;
    if (const LCD_PrimitiveAPIList* o = override_list())
        o->pfDrawVLine(x, y0, y1);
    else
        api()->pfDrawVLine(x, y0, y1);
}

void LCD_FillRect(int x0, int y0, int x1, int y1)
{
    const GUI_Area& c = GUI_Context.ClipRect;
    if (x0 < c.x0)
        x0 = c.x0;
    if (y0 < c.y0)
        y0 = c.y0;
    if (x1 > c.x1)
        x1 = c.x1;
    if (y1 > c.y1)
        y1 = c.y1;
    if (x0 > x1 || y0 > y1)
        return;
    if (const LCD_PrimitiveAPIList* o = override_list())
        o->pfFillRect(x0, y0, x1, y1);
    else
        api()->pfFillRect(x0, y0, x1, y1);
}

LCD_PixelIndex LCD_GetPixelIndex(int x, int y)
{
    GUI_Area device;
    api()->pfGetRect(&device);
    if (x < device.x0 || x > device.x1 || y < device.y0 || y > device.y1)
        return 0;
    return api()->pfGetPixelIndex(x, y);
}

GUI_ColorValue LCD_GetPixelColor(int x, int y)
{
    return LCD_Index2Color(LCD_GetPixelIndex(x, y));
}

LCD_DrawBitmapDriverFunc* LCD_GetpfDrawBitmap(void)
{
    if (const LCD_PrimitiveAPIList* o = override_list())
        return o->pfDrawBitmap;
    return api()->pfDrawBitmap;
}

int LCD_PassingBitmapsAllowed(void)
{
    return override_list() ? 0 : 1;
}

// ---------------------------------------------------------------- start-up

int LCD_Init(void)
{
    LCD_SetClipRectMax();
    const int result = LCD_L0_Init();
    LCD_InitLUT();
    // The whole screen takes the background colour: the fill paints the
    // foreground slot, which reverse mode has given the background index.
    LCD_SetDrawMode(GUI_DRAWMODE_REV);
    GUI_Area r = GUI_Context.ClipRect;
    if (r.x0 < 0)
        r.x0 = 0;
    if (r.y0 < 0)
        r.y0 = 0;
    if (r.x1 > 4095)
        r.x1 = 4095;
    if (r.y1 > 4095)
        r.y1 = 4095;
    if (r.x0 <= r.x1 && r.y0 <= r.y1)
        api()->pfFillRect(r.x0, r.y0, r.x1, r.y1);
    LCD_SetDrawMode(GUI_DRAWMODE_NORMAL);
    LCD_L0_On();
    return result;
}
