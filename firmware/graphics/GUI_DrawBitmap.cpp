#include "graphics/GUI_Bitmap.h"

#include "graphics/GUI.h"
#include "graphics/LCD.h"

void GL_DrawBitmap(const GUI_BitmapRecord* pBM, int x, int y)
{
    if (!pBM)
        return;
    const GUI_PaletteRecord* pPal = pBM->pPal;
    int mode = GUI_Context.DrawMode;
    if (pPal && pPal->HasTrans)
        LCD_SetDrawMode(mode | GUI_DRAWMODE_TRANS);
    else
        LCD_SetDrawMode(mode & ~GUI_DRAWMODE_TRANS);
    if (pBM->pMethods) {
        pBM->pMethods->pfDraw(x, y, pBM->XSize, pBM->YSize, pBM->pData, pPal, 1, 1);
    } else {
        const LCD_PixelIndex* pTrans;
        if (!pPal && pBM->BitsPerPixel == 1)
            pTrans = LCD_pAColorIndex;  // background, foreground
        else
            pTrans = LCD_GetpPalConvTable(pPal);
        LCD_DrawBitmap(x, y, pBM->XSize, pBM->YSize, 1, 1, pBM->BitsPerPixel, pBM->BytesPerLine, pBM->pData, pTrans);
    }
    LCD_SetDrawMode(mode);
}

void GUI_DrawBitmap(const GUI_BitmapRecord* pBM, int x, int y)
{
    GL_DrawBitmap(pBM, x, y);
}
