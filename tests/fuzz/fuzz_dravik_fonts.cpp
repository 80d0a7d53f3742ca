// fuzz_dravik_fonts: an input is a font list (.kfl).  Its folder holds SIF
// font files written by fontgen, of the proportional and the anti-aliased
// kinds; Dravik reads the list as "Add Font List" does and builds a memory
// image with the fonts it names.
#include <QFile>

#include <cstdlib>

#include "core/memory_image_builder.h"
#include "dravik_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The fonts the lists may name, as fontgen writes them for the tests.
    const QString dir = fuzz::folder();
    const char* fonts[][2] = {{"GUI_Font16_1", "font16.sif"}, {"GUI_FontArial10AA4", "arial_AA4.sif"}};
    for (const auto& f : fonts) {
        const QString cmd = QString("%1 sif --table %2 --font %3 --out %4/%5 %6")
                                .arg(VELM_FONTGEN, VELM_FONT_TABLE, f[0], dir, f[1], VELM_FONTGEN_FACE_ARGS);
        if (std::system(qPrintable(cmd)) != 0)
            std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::write_input("fonts.kfl", data, size);
    fuzz::QuietUser user;
    CFontList list;
    if (!list.LoadFontList(path, user))
        return 0;
    for (const CFontList::Entry& e : list.Entries())
        CFontList::FontKind(e.path);
    CMemoryImageBuilder builder(user);
    BuildInputs inputs;
    inputs.fontList = path;
    builder.BuildMemoryImage(inputs);
    return 0;
}
