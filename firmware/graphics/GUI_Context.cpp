#include <string.h>

#include "graphics/GUI.h"
#include "graphics/LCDLin32.h"

// The single drawing context and the settings kept in it.  Zero until
// GUI_Init: normal draw mode, no font.

GUI_ContextRecord GUI_Context;
uint8_t GUI_DecChar;
int16_t GUI_OrgX, GUI_OrgY;
const GUI_RotationAPIList* GUI_pLCD_APIList;

static void (*setOrgHook)(int x, int y);

int GUI_Init(void)
{
    GUI_DecChar = '.';
    GUI_X_Init();
    GUI_Context.pDeviceAPI = LCD_aAPI[0];
    GUI_Context.pClipRect = &GUI_Context.ClipRect;
    LCD_SetClipRectMax();
    GUI_Context.pHLine = &LCD_HLineAPI;
    GUI_Context.BkColor = GUI_COLOR_NONE;
    GUI_Context.Color = GUI_COLOR_NONE;
    GUI_Context.pFont = &GUI_FontArial10;
    GUI_Context.PenSize = 1;
    GUI_Context.DispPosX = 0;
    GUI_Context.DispPosY = 0;
    LCD_SetBkColor(0x000000);
    LCD_SetColor(0xFFFFFF);
    GUI_Context.pUC = &GUI_UC_None;
    const int result = LCD_Init();
    GUI_SetOrg(0, 0);
    return result;
}

void GUI_SaveContext_M(GUI_ContextRecord* pDest)
{
    memcpy(pDest, &GUI_Context, sizeof GUI_Context);
}

void GUI_RestoreContext(const GUI_ContextRecord* pSrc)
{
    memcpy(&GUI_Context, pSrc, sizeof GUI_Context);
}

// ---------------------------------------------------------------- settings

// Stores value in a setting of the context and returns what it held, as
// every setter here does.
template <typename T>
static T exchange(T& setting, T value)
{
    const T old = setting;
    setting = value;
    return old;
}

int GUI_SetDrawMode(int mode)
{
    return LCD_SetDrawMode(mode);
}

int GUI_GetDrawMode(void)
{
    return GUI_Context.DrawMode;
}

uint8_t GUI_SetPenSize(uint8_t size)
{
    return exchange(GUI_Context.PenSize, size);
}

uint8_t GUI_GetPenSize(void)
{
    return GUI_Context.PenSize;
}

uint8_t GUI_SetPenShape(uint8_t shape)
{
    return exchange(GUI_Context.PenShape, shape);
}

uint8_t GUI_GetPenShape(void)
{
    return GUI_Context.PenShape;
}

uint8_t GUI_SetLineStyle(uint8_t style)
{
    return exchange(GUI_Context.LineStyle, style);
}

uint8_t GUI_GetLineStyle(void)
{
    return GUI_Context.LineStyle;
}

int16_t GUI_SetLBorder(int16_t x)
{
    return exchange(GUI_Context.LBorder, x);
}

int16_t GUI_SetTextAlign(int16_t align)
{
    return exchange(GUI_Context.TextAlign, align);
}

int16_t GUI_GetTextAlign(void)
{
    return GUI_Context.TextAlign;
}

int16_t GUI_SetTextMode(int16_t mode)
{
    return exchange(GUI_Context.TextMode, mode);
}

int16_t GUI_GetTextMode(void)
{
    return GUI_Context.TextMode;
}

const GUI_FontRecord* GUI_SetFont(const GUI_FontRecord* pFont)
{
    const GUI_FontRecord* old = GUI_Context.pFont;
    if (pFont)
        GUI_Context.pFont = pFont;
    return old;
}

int GUI_GotoX(int x)
{
    GUI_Context.DispPosX = (int16_t)x;
    return 0;
}

int GUI_GotoY(int y)
{
    GUI_Context.DispPosY = (int16_t)y;
    return 0;
}

int GUI_GotoXY(int x, int y)
{
    GUI_GotoX(x);
    GUI_GotoY(y);
    return 0;
}

int GUI_GetDispPosX(void)
{
    return GUI_Context.DispPosX;
}

int GUI_GetDispPosY(void)
{
    return GUI_Context.DispPosY;
}

void GUI__SetOrgHook(void (*pfHook)(int x, int y))
{
    setOrgHook = pfHook;
}

// The origin is only stored: this display has no hardware panning.
void GUI_SetOrg(int x, int y)
{
    if (setOrgHook)
        setOrgHook(x, y);
    GUI_OrgX = (int16_t)x;
    GUI_OrgY = (int16_t)y;
    LCD_L0_SetOrg(x, y);
}
