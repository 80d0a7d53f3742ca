// Builds a memory image with Dravik's own builder and writes it as a .BIN
// file: a seed of fuzz_image and fuzz_dravik_bin.
//   fuzz_seed_bin OUT MODEL(plus|velm5) [--macros FILE] [--fonts FILE] PICTURE...
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

#include "core/memory_image_builder.h"
#include "dravik_fuzz.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT plus|velm5 [--macros FILE] [--fonts FILE] PICTURE...\n", argv[0]);
        return 2;
    }
    BuildInputs inputs;
    inputs.model = QString(argv[2]) == "velm5" ? ControllerModel::Velm5 : ControllerModel::Velm5Plus;
    for (int i = 3; i < argc; ++i) {
        const QString a = argv[i];
        if (a == "--macros" && i + 1 < argc)
            inputs.macroFile = argv[++i];
        else if (a == "--fonts" && i + 1 < argc)
            inputs.fontList = argv[++i];
        else
            inputs.images << a;
    }
    // A build that fails says why.
    struct : fuzz::QuietUser {
        Answer messageBox(const QString& text, const QString& title, Icon, Buttons) override
        {
            std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
            return Answer::Ok;
        }
    } user;
    CMemoryImageBuilder builder(user);
    const auto image = builder.BuildMemoryImage(inputs);
    QFile out(argv[1]);
    if (!image || !out.open(QIODevice::WriteOnly) ||
        out.write(reinterpret_cast<const char*>(image->data()), qint64(image->size())) != qint64(image->size())) {
        std::fprintf(stderr, "%s: no image built\n", argv[0]);
        return 1;
    }
    return 0;
}
