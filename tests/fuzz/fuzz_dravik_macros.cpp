// fuzz_dravik_macros: an input is a macro file.  Dravik compiles it as "Add
// Macro File" does and builds a memory image from it (which also writes
// the header file of macro numbers beside it).
#include "core/memory_image_builder.h"
#include "dravik_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::write_input("macros.mac", data, size);
    fuzz::QuietUser user;
    CMacroCompiler compiler;
    if (!compiler.Compile(path, user))
        return 0;
    for (const CMacroCompiler::Macro& m : compiler.Bodies())
        for (const CMacroCompiler::BodyLine& line : m.lines) {
            std::string stored;
            compiler.MacroLineForImage(line.text, stored);
        }
    CMemoryImageBuilder builder(user);
    builder.SetClock([] { return std::time_t(0); });
    BuildInputs inputs;
    inputs.macroFile = path;
    builder.BuildMemoryImage(inputs);
    return 0;
}
