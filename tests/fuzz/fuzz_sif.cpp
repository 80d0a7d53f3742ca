// fuzz_sif: an input is the SIF data of a font record in the memory image.
// For each of the five kinds of SIF font the data is checked as the font
// table checks stored fonts; data that passes becomes the current font, is
// asked about its glyphs and drawn, in every text mode, as the text
// commands draw.
#include "fuzz_board.h"
#include "graphics/GUI.h"
#include "graphics/GUI_SIF.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::boot_once();
    return 0;
}

static const GUI_FontAPIList* const kKinds[] = {&GUI_SIF_APIList_Prop, &GUI_SIF_APIList_Prop_Ext,
                                                 &GUI_SIF_APIList_Prop_AA2, &GUI_SIF_APIList_Prop_AA4,
                                                 &GUI_SIF_APIList_Prop_Frm};

static void use_font(const GUI_FontRecord* font)
{
    const GUI_FontRecord* old = GUI_SetFont(font);
    GUI_FontInfo info{};
    GUI_GetFontInfo(font, &info);
    GUI_GetFontDistY();
    for (unsigned c = 0; c < 0x120; ++c) {
        GUI_IsInFont(font, static_cast<uint16_t>(c));
        GUI_GetCharDistX(static_cast<uint16_t>(c));
    }
    GUI_IsInFont(font, 0xFFFF);
    GUI_GetCharDistX(0xFFFF);
    static const char text[] = " !09AZaz~\x7f\xa0\xc4\xe9\xff";
    GUI_GetStringDistX(text);
    for (int16_t mode : {GUI_DRAWMODE_NORMAL, GUI_DRAWMODE_TRANS, GUI_DRAWMODE_XOR, GUI_DRAWMODE_REV}) {
        GUI_SetTextMode(mode);
        GUI_DispStringAt(text, 10, 10);
        GUI_DispStringAt(text, -3, 475);
    }
    GUI_Area box{700, 400, 820, 500};
    GUI_DispStringInRect("Wrapped text\nin a box", &box, GUI_TA_HCENTER | GUI_TA_VCENTER);
    GUI_SetTextMode(GUI_DRAWMODE_NORMAL);
    GUI_SetFont(old);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::on_firmware("a SIF font", [&] {
        for (const GUI_FontAPIList* kind : kKinds) {
            if (!GUI_SIF_CheckFont(data, static_cast<uint32_t>(size), kind))
                continue;
            GUI_FontRecord font{};
            GUI_SIF_CreateFont(data, &font, kind);
            use_font(&font);
            GUI_SIF_DeleteFont(&font);
        }
    });
    return 0;
}
