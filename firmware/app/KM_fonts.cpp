#include "app/KM_fonts.h"

// No fonts are offered yet.
const FontTableEntry* current_font;

const FontTableEntry* KM_FindFont(const char*)
{
    return 0;
}

int KM_SetFont(const FontTableEntry*, GUI_FontRecord*)
{
    return 0;
}

const char* KM_FontName(void)
{
    return 0;
}

const FontTableEntry* KM_GetFontPtr(void)
{
    return current_font;
}

const char* KM_GetCurrentFontName(void)
{
    return current_font ? current_font->name : 0;
}
