#include "graphics/GUI.h"

// One display, one layer: selecting layer 0 re-reads the driver and its
// colour indices; the layer operations this driver lacks answer 1.

static struct {
    int layer;
    int x, y;
} cursorLayer;

void GUI_SelectLCD(void)
{
    LCD_SelectLCD();
    LCD_UpdateColorIndices();
}

int GUI_SelectLayer(int layer)
{
    const int old = GUI_Context.SelLayer;
    if (layer == 0) {
        GUI_Context.SelLayer = 0;
        GUI_SelectLCD();
    }
    return old;
}

static LCD_DevFunc layer_function(int layer, int index)
{
    if (layer != 0)
        return nullptr;
    return LCD_aAPI[0]->pfGetDevFunc(index);
}

int GUI_SetLayerAlphaEx(int layer, int alpha)
{
    LCD_DevFunc f = layer_function(layer, LCD_DEVFUNC_SETALPHA);
    if (!f)
        return 1;
    ((void (*)(int))f)(alpha);
    return 0;
}

int GUI_SetLayerSizeEx(int layer, int xSize, int ySize)
{
    LCD_DevFunc f = layer_function(layer, LCD_DEVFUNC_SETSIZE);
    if (!f)
        return 1;
    ((void (*)(int, int))f)(xSize, ySize);
    return 0;
}

int GUI_SetLayerPosEx(int layer, int xPos, int yPos)
{
    LCD_DevFunc f = layer_function(layer, LCD_DEVFUNC_SETPOS);
    if (!f)
        return 1;
    ((void (*)(int, int))f)(xPos, yPos);
    if (layer == cursorLayer.layer) {
        cursorLayer.x = xPos;
        cursorLayer.y = yPos;
    }
    return 0;
}

void GUI_GetLayerPosEx(int layer, int* pxPos, int* pyPos)
{
    const bool known = layer == cursorLayer.layer;
    if (pxPos)
        *pxPos = known ? cursorLayer.x : 0;
    if (pyPos)
        *pyPos = known ? cursorLayer.y : 0;
}

void GUI_AssignCursorLayer(int layer)
{
    cursorLayer.layer = layer;
}

int GUI_GetCursorLayer(void)
{
    return cursorLayer.layer;
}
