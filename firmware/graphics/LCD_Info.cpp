#include "graphics/GUI.h"

// Device information of the one display (layer 0); other layers have none.

static int32_t prop(int layer, int index)
{
    if (layer != 0)
        return 0;
    return LCD_aAPI[0]->pfGetDevProp(index);
}

static int at_least_0(int32_t v)
{
    return v < 0 ? 0 : (int)v;
}

int LCD_GetXSizeEx(int layer) { return prop(layer, LCD_DEVCAP_XSIZE); }
int LCD_GetYSizeEx(int layer) { return prop(layer, LCD_DEVCAP_YSIZE); }
int LCD_GetVXSizeEx(int layer) { return prop(layer, LCD_DEVCAP_VXSIZE); }
int LCD_GetVYSizeEx(int layer) { return prop(layer, LCD_DEVCAP_VYSIZE); }
int LCD_GetBitsPerPixelEx(int layer) { return prop(layer, LCD_DEVCAP_BITSPERPIXEL); }
uint32_t LCD_GetNumColorsEx(int layer) { return (uint32_t)prop(layer, LCD_DEVCAP_NUMCOLORS); }
int LCD_GetXMagEx(int layer) { return prop(layer, LCD_DEVCAP_XMAG); }
int LCD_GetYMagEx(int layer) { return prop(layer, LCD_DEVCAP_YMAG); }
int LCD_GetFixedPaletteEx(int layer) { return prop(layer, LCD_DEVCAP_FIXEDPALETTE); }
int LCD_GetMirrorXEx(int layer) { return prop(layer, LCD_DEVCAP_MIRROR_X); }
int LCD_GetMirrorYEx(int layer) { return prop(layer, LCD_DEVCAP_MIRROR_Y); }
int LCD_GetSwapXYEx(int layer) { return prop(layer, LCD_DEVCAP_SWAP_XY); }
int LCD_GetSwapRBEx(int layer) { return prop(layer, LCD_DEVCAP_SWAP_RB); }
int LCD_GetReversLUTEx(int layer) { return prop(layer, LCD_DEVCAP_REVERSLUT); }
int LCD_GetPhysColorsInRAMEx(int layer) { return prop(layer, LCD_DEVCAP_PHYSCOLORSINRAM); }
int LCD_GetBitsPerPixel_L0Ex(int layer) { return prop(layer, LCD_DEVCAP_BITSPERPIXEL); }

int LCD_GetXSize(void) { return LCD_GetXSizeEx(GUI_Context.SelLayer); }
int LCD_GetYSize(void) { return LCD_GetYSizeEx(GUI_Context.SelLayer); }
int LCD_GetVXSize(void) { return LCD_GetVXSizeEx(GUI_Context.SelLayer); }
int LCD_GetVYSize(void) { return LCD_GetVYSizeEx(GUI_Context.SelLayer); }
int LCD_GetBitsPerPixel(void) { return LCD_GetBitsPerPixelEx(GUI_Context.SelLayer); }
uint32_t LCD_GetNumColors(void) { return LCD_GetNumColorsEx(GUI_Context.SelLayer); }
int LCD_GetXMag(void) { return LCD_GetXMagEx(GUI_Context.SelLayer); }
int LCD_GetYMag(void) { return LCD_GetYMagEx(GUI_Context.SelLayer); }
int LCD_GetFixedPalette(void) { return LCD_GetFixedPaletteEx(GUI_Context.SelLayer); }

int LCD_GetXSizeMax(void) { return at_least_0(prop(0, LCD_DEVCAP_XSIZE)); }
int LCD_GetYSizeMax(void) { return at_least_0(prop(0, LCD_DEVCAP_YSIZE)); }
int LCD_GetVXSizeMax(void) { return at_least_0(prop(0, LCD_DEVCAP_VXSIZE)); }
int LCD_GetVYSizeMax(void) { return at_least_0(prop(0, LCD_DEVCAP_VYSIZE)); }
int LCD_GetBitsPerPixelMax(void) { return at_least_0(prop(0, LCD_DEVCAP_BITSPERPIXEL)); }

int LCD_GetNumLayers(void) { return 1; }
int LCD_GetDeltaModeEx(int) { return 0; }
