// The graphics library's interface: the drawing context and its settings,
// colours, clipping, start-up, and the shapes (the GUI_ calls the firmware
// uses, and the GL_ shape code behind them).
#pragma once

#include "graphics/GUI_Font.h"
#include "graphics/GUI_Type.h"
#include "graphics/LCD.h"

// ---- the drawing context
extern GUI_ContextRecord GUI_Context;
extern uint8_t GUI_DecChar;
extern int16_t GUI_OrgX, GUI_OrgY;
// Set while turned text is drawn, else NULL.
extern const GUI_RotationAPIList* GUI_pLCD_APIList;

// One byte is one character.
extern const GUI_EncodingAPIList GUI_UC_None;

int GUI_Init(void);
// Board hook called by GUI_Init (the firmware's start-up module has it).
void GUI_X_Init(void);
// Diagnostic hooks of the library (the board sends them to the host).
void GUI_X_Warn(const char* s);
void GUI_X_ErrorOut(const char* s);
void GUI_X_Log(const char* s);
void GUI_SaveContext_M(GUI_ContextRecord* pDest);
void GUI_RestoreContext(const GUI_ContextRecord* pSrc);

// ---- whole screen
void GUI_Clear(void);
void GUI_ClearRect(int x0, int y0, int x1, int y1);
// (0, 0, VXSize, VYSize): sizes, not last pixels.
void GUI_GetClientRect(GUI_Area* pRect);

// ---- colours
void GUI_SetColor(GUI_ColorValue color);
void GUI_SetBkColor(GUI_ColorValue color);
void GUI_SetColorIndex(LCD_PixelIndex index);
void GUI_SetBkColorIndex(LCD_PixelIndex index);
GUI_ColorValue GUI_GetColor(void);
GUI_ColorValue GUI_GetBkColor(void);
LCD_PixelIndex GUI_GetColorIndex(void);
LCD_PixelIndex GUI_GetBkColorIndex(void);
GUI_ColorValue GUI_Index2Color(LCD_PixelIndex index);
LCD_Color2IndexFunc* GUI_GetpfColor2IndexEx(int layer);
LCD_Index2ColorFunc* GUI_GetpfIndex2ColorEx(int layer);
void GUI_SetLUTColorEx(uint8_t pos, GUI_ColorValue color, int layer);

// ---- settings; each setter returns the previous value
int GUI_SetDrawMode(int mode);
int GUI_GetDrawMode(void);
uint8_t GUI_SetPenSize(uint8_t size);
uint8_t GUI_GetPenSize(void);
uint8_t GUI_SetPenShape(uint8_t shape);
uint8_t GUI_GetPenShape(void);
uint8_t GUI_SetLineStyle(uint8_t style);
uint8_t GUI_GetLineStyle(void);
int16_t GUI_SetLBorder(int16_t x);
int16_t GUI_SetTextAlign(int16_t align);
int16_t GUI_GetTextAlign(void);
int16_t GUI_SetTextMode(int16_t mode);
int16_t GUI_GetTextMode(void);
// A NULL font is ignored.
const GUI_FontRecord* GUI_SetFont(const GUI_FontRecord* pFont);
int GUI_GotoX(int x);
int GUI_GotoY(int y);
int GUI_GotoXY(int x, int y);
int GUI_GetDispPosX(void);
int GUI_GetDispPosY(void);
void GUI_SetOrg(int x, int y);
void GUI__SetOrgHook(void (*pfHook)(int x, int y));

// ---- clipping and rectangles
// NULL means the whole device; the clip is always kept inside the device.
int GUI_SetClipRect(const GUI_Area* pRect);
int GUI__IntersectRects(GUI_Area* pDest, const GUI_Area* pA, const GUI_Area* pB);
int GUI_RectsIntersect(const GUI_Area* pA, const GUI_Area* pB);
void GUI__memset(void* p, uint8_t fill, int numBytes);
// numItems 16-bit values from p (2-byte aligned) on, whole words wherever it
// can.
void GUI__memset16(void* p, uint16_t fill, int numItems);

// ---- layers (one display, layer 0)
int GUI_SelectLayer(int layer);
void GUI_SelectLCD(void);
int GUI_SetLayerAlphaEx(int layer, int alpha);
int GUI_SetLayerSizeEx(int layer, int xSize, int ySize);
int GUI_SetLayerPosEx(int layer, int xPos, int yPos);
void GUI_GetLayerPosEx(int layer, int* pxPos, int* pyPos);
void GUI_AssignCursorLayer(int layer);
int GUI_GetCursorLayer(void);

// ---- lines and points
void GUI_DrawLine(int x0, int y0, int x1, int y1);
void GUI_DrawLineTo(int x, int y);
void GUI_DrawLineRel(int dx, int dy);
void GUI_MoveTo(int x, int y);
void GUI_MoveRel(int dx, int dy);
void GUI_DrawPixel(int x, int y);
void GUI_DrawPoint(int x, int y);
void GL_DrawLine(int x0, int y0, int x1, int y1);
// pPixelCnt carries the dash-pattern position from one segment to the next.
void GL_DrawLineEx(int x0, int y0, int x1, int y1, int* pPixelCnt);
void GL_DrawLine1Ex(int x0, int y0, int x1, int y1, int* pPixelCnt);
void GL_DrawLine1(int x0, int y0, int x1, int y1);
void GL_DrawLineTo(int x, int y);
void GL_DrawLineToEx(int x, int y, int* pPixelCnt);
void GL_MoveTo(int x, int y);
void GL_DrawPoint(int x, int y);

// ---- rectangles, circles, ellipses, arcs
void GUI_DrawRect(int x0, int y0, int x1, int y1);
void GUI_FillRect(int x0, int y0, int x1, int y1);
void GUI_DrawCircle(int x0, int y0, int r);
void GUI_FillCircle(int x0, int y0, int r);
void GL_DrawCircle(int x0, int y0, int r);
void GL_FillCircle(int x0, int y0, int r);
void GUI_DrawEllipse(int x0, int y0, int rx, int ry);
void GUI_FillEllipse(int x0, int y0, int rx, int ry);
void GL_DrawEllipse(int x0, int y0, int rx, int ry);
void GL_FillEllipse(int x0, int y0, int rx, int ry);
// From a0 to a1 degrees, counter-clockwise (0 = right, 90 = up).
void GUI_DrawArc(int x0, int y0, int rx, int ry, int a0, int a1);
void GL_DrawArc(int x0, int y0, int rx, int ry, int a0, int a1);

// ---- polygons (points offset by x, y)
void GUI_DrawPolyLine(const GUI_Point* pPoints, int numPoints, int x, int y);
void GUI_DrawPolygon(const GUI_Point* pPoints, int numPoints, int x, int y);
void GUI_FillPolygon(const GUI_Point* pPoints, int numPoints, int x, int y);
void GL_DrawPolygon(const GUI_Point* pPoints, int numPoints, int x, int y);
void GL_FillPolygon(const GUI_Point* pPoints, int numPoints, int x, int y);
// Rotates about (0, 0) by angle radians; pDest may be pSrc.
void GUI_RotatePolygon(GUI_Point* pDest, const GUI_Point* pSrc, int numPoints, float angle);

// ---- integer trigonometry: 4096 steps per turn, results scaled by 1024
int GUI_sin(int angle);
int GUI_cos(int angle);
// Direction of (dx, dy) in the same unit (0 = +x, 1024 = +y).
int GUI__atan2(int dx, int dy);

// ---- character encodings of text strings
// UTF-8 for codes up to 16 bits; a byte that starts no complete character
// is one character of code 1.
extern const GUI_EncodingAPIList GUI_UC_UTF8;
void GUI_UC_SetEncodeNone(void);
void GUI_UC_SetEncodeUTF8(void);
uint16_t GUI_UC_GetCharCode(const char* s);
int GUI_UC_GetCharSize(const char* s);
int GUI_UC_Encode(char* s, uint16_t code);
int GUI_UC__CalcSizeOfChar(uint16_t code);
uint16_t GUI_UC__GetCharCodeInc(const char** ps);
int GUI_UC__NumChars2NumBytes(const char* s, int numChars);
int GUI_UC__NumBytes2NumChars(const char* s, int numBytes);

// ---- text alignment (TextAlign of the context)
enum {
    GUI_TA_LEFT = 0,
    GUI_TA_RIGHT = 1,
    GUI_TA_HCENTER = 2,
    GUI_TA_HORIZONTAL = 3,
    GUI_TA_TOP = 0,
    GUI_TA_BOTTOM = 4,
    GUI_TA_BASELINE = 8,
    GUI_TA_VCENTER = 12,
    GUI_TA_VERTICAL = 12,
};

// Line breaking of GUI_DispStringInRectWrap.
enum {
    GUI_WRAPMODE_NONE = 0,
    GUI_WRAPMODE_WORD = 1,  // after the last blank that fits
    GUI_WRAPMODE_CHAR = 2,  // after the last character that fits
};

// ---- measuring text in the current font
int GUI_GetCharDistX(uint16_t c);
int GUI_GetFontDistY(void);
int GUI_GetFontSizeY(void);
int GUI_GetStringDistX(const char* s);
int GUI__GetNumChars(const char* s);
// Characters before the first LF or NUL, at most maxChars.
int GUI__GetLineNumChars(const char* s, int maxChars);
// Advances of numChars characters plus the overhang of the last one.
int GUI__GetLineDistX(const char* s, int numChars);
int GUI__GetOverlap(uint16_t c);
void GUI_GetFontInfo(const GUI_FontRecord* pFont, GUI_FontInfo* pInfo);
char GUI_IsInFont(const GUI_FontRecord* pFont, uint16_t c);

// ---- text output at the cursor, in the current font, encoding, text mode
// and alignment (which holds for one GUI_DispString).
extern void (*GUI_pfDispCharStyle)(uint16_t c);
void GUI_DispChar(uint16_t c);
void GUI_DispCharAt(uint16_t c, int x, int y);
void GL_DispChar(uint16_t c);
void GUI_DispString(const char* s);
void GUI_DispStringAt(const char* s, int x, int y);
void GUI_DispNextLine(void);
// Draws numChars characters of s; nothing when pRect misses the clip.
void GUI__DispLine(const char* s, int numChars, const GUI_Area* pRect);
// 1 at the end of the text; steps over an LF and returns 0 otherwise.
int GUI__HandleEOLine(const char** ps);

// ---- text in rectangles
// Narrows the clip to pRect (NULL: keeps it) and saves the old clip in
// *pOld, which the caller puts back; 0 when nothing of pRect is visible.
bool GUI__NarrowClip(const GUI_Area* pRect, GUI_Area* pOld);
// Placing lines in a rectangle by the alignment bits: the first row of a
// block of numLines lines, the column of a line lineWidth wide; and one
// line drawn so placed at row y (the cursor moves to its start first).
int GUI__RectLinesTop(const GUI_Area* pRect, int align, int numLines);
int GUI__RectLineLeft(const GUI_Area* pRect, int align, int lineWidth);
void GUI__DispRectLine(const char* s, int numChars, const GUI_Area* pRect, int align, int y);
void GUI_DispStringInRect(const char* s, const GUI_Area* pRect, int align);
void GUI_DispStringInRectMax(const char* s, const GUI_Area* pRect, int align, int maxChars);
// No clipping of its own; NULL rectangle: the client rectangle.
void GUI__DispStringInRect(const char* s, const GUI_Area* pRect, int align, int maxChars);
// Turned text: pList is LCD_APIList180, LCD_APIListCCW, LCD_APIListCW or
// NULL (not turned).
void GUI_DispStringInRectEx(const char* s, const GUI_Area* pRect, int align, int maxChars,
                            const GUI_RotationAPIList* pList);
void GUI_DispStringInRectWrap(const char* s, const GUI_Area* pRect, int align, int wrapMode);
int GUI__WrapGetNumCharsDisp(const char* s, int xSize, int wrapMode);
int GUI__WrapGetNumCharsToNextLine(const char* s, int xSize, int wrapMode);
int GUI__WrapGetNumBytesToNextLine(const char* s, int xSize, int wrapMode);

// ---- turned text: glyph bitmaps drawn about GUI_RectDispString
extern const GUI_RotationAPIList LCD_APIList180;
extern const GUI_RotationAPIList LCD_APIListCCW;
extern const GUI_RotationAPIList LCD_APIListCW;
extern GUI_Area GUI_RectDispString;
// A rectangle of the text's own layout turned onto the screen as the list
// in use turns glyphs (unchanged while no text is turned).
void GUI__TextRectToScreen(GUI_Area* pRect);
// Fills a rectangle of the text layout with the background colour, turned
// like the glyphs (the cells that text in normal mode paints).
void GUI__ClearTextRect(int x0, int y0, int x1, int y1);

// ---- anti-aliased glyphs
GUI_ColorValue LCD_AA_MixColors(GUI_ColorValue fg, GUI_ColorValue bg, uint8_t intensity);
void LCD_SetPixelAA_NoTrans(int x, int y, uint8_t intensity);
void LCD_SetPixelAA(int x, int y, uint8_t intensity);
void LCD_SetPixelAA_Xor(int x, int y, uint8_t intensity);
// The pixel writer of the current draw mode.
typedef void LCD_SetPixelAAFunc(int x, int y, uint8_t intensity);
LCD_SetPixelAAFunc* LCD_GetpfSetPixelAA(void);
void GUI_AA__DrawCharAA4(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData);
void GUI_AA__DrawCharAA2NoTrans(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData);
void GUI_AA__DrawCharAA2Trans(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData);
void GUI_AA__DrawCharAA2Xor(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData);
// The 2-bpp drawer of the current draw mode.
void GUI_AA__DrawCharAA2(int x0, int y0, int xsize, int ysize, int bytesPerLine, const uint8_t* pData);
