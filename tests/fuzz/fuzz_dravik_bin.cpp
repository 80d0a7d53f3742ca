// fuzz_dravik_bin: an input is a .BIN file that Dravik loads to store it
// into a controller, for each of the two controller models.
#include "core/bin_file.h"
#include "dravik_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::write_input("image.BIN", data, size);
    fuzz::QuietUser user;
    for (ControllerModel model : {ControllerModel::Velm5Plus, ControllerModel::Velm5}) {
        CBinImage bin(user);
        if (bin.LoadFromBinFile(path, model)) {
            volatile size_t n = bin.Image().size();
            (void)n;
            (void)bin.CrcText().size();
        }
    }
    return 0;
}
