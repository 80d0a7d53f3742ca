#include "graphics/GUI.h"
#include "graphics/LCDLin32.h"

// Palettes of indexed bitmaps are converted into one shared table, one
// palette at a time; the panel itself has no colour look-up table.

LCD_PixelIndex LCD__aConvTable[256];

const LCD_PixelIndex* LCD_GetpPalConvTableUncached(const GUI_PaletteRecord* pPalette)
{
    if (!pPalette || !pPalette->pPalEntries || pPalette->NumEntries > 256)
        return nullptr;
    for (int i = 0; i < pPalette->NumEntries; ++i)
        LCD__aConvTable[i] = LCD_Color2Index(pPalette->pPalEntries[i]);
    return LCD__aConvTable;
}

const LCD_PixelIndex* LCD_GetpPalConvTable(const GUI_PaletteRecord* pPalette)
{
    return LCD_GetpPalConvTableUncached(pPalette);
}

void LCD__SetPhysColor(uint8_t, GUI_ColorValue) {}

void LCD_SetLUTEntryEx(uint8_t pos, GUI_ColorValue color, int layer)
{
    if (layer == 0)
        LCD_aAPI[0]->pfSetLUTEntry(pos, color);
}

void GUI_SetLUTColorEx(uint8_t pos, GUI_ColorValue color, int layer)
{
    if (layer != 0)
        return;
    LCD_aAPI[0]->pfSetLUTEntry(pos, color);
    if (pos < LCD_L0_LutInfo.NumEntries)
        LCD_L0_LutInfo.pEntries[pos] = color;
}

static GUI_ColorValue swap_rb(GUI_ColorValue c)
{
    return (c & 0x00FF00) | (c & 0xFF) << 16 | ((c >> 16) & 0xFF);
}

// At 16 bpp only the layer selection happens, which also recomputes both
// colour indices.
void LCD_InitLUT(void)
{
    const int previous = GUI_Context.SelLayer;
    for (int layer = 0; layer < LCD_GetNumLayers(); ++layer) {
        GUI_SelectLayer(layer);
        if (LCD_GetBitsPerPixelEx(layer) > 8)
            continue;
        const uint32_t n = LCD_GetNumColorsEx(layer);
        for (uint32_t i = 0; i < n && i < 256; ++i) {
            GUI_ColorValue c = LCD_Index2Color(i);
            if (LCD_GetReversLUTEx(layer))
                c ^= 0xFFFFFF;
            if (LCD_GetSwapRBEx(layer))
                c = swap_rb(c);
            LCD_SetLUTEntryEx((uint8_t)i, c, layer);
        }
    }
    GUI_SelectLayer(previous);
}
