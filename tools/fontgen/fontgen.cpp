// fontgen: turns TrueType faces into the fonts of the display firmware.
//
//   fontgen compiled --table FILE --out DIR --face KEY=TTF [--face KEY=TTF ...]
//
// renders every font of the table (tools/fontgen/compiled_fonts.txt) and
// writes DIR/<font name>.cpp for each, the compiled-in fonts of the
// graphics library.  A file whose text would not change is left alone, so
// a rebuild compiles only what changed.  The run fails when a generated
// font breaks a rule the firmware relies on (1-bpp XSize = XDist, one
// advance for every code of a monospaced font, capitals and lower case of
// the table's heights standing on its baseline).
//
//   fontgen sif --table FILE --font NAME --out FILE [--aa2] --face KEY=TTF [...]
//
// renders the one font NAME of the table and writes it as a SIF font file
// (the font data the memory image carries): a prop font as the proportional
// kind, an aa4 font as the 4-bpp anti-aliased kind (2 bpp with --aa2), an
// ext font as the extended kind.  Tests compare these fonts drawn from the
// image with the compiled-in fonts of the same face and size.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "c_source.h"
#include "font_table.h"
#include "raster.h"
#include "sif_file.h"

namespace {

using namespace fontgen;

int usage()
{
    std::fprintf(stderr,
                 "usage: fontgen compiled --table FILE --out DIR --face KEY=TTF [--face KEY=TTF ...]\n"
                 "       fontgen sif --table FILE --font NAME --out FILE [--aa2] --face KEY=TTF [...]\n");
    return 2;
}

bool write_if_changed(const std::string& path, const std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (in) {
        std::ostringstream old;
        old << in.rdbuf();
        if (old.str() == text)
            return true;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

int compiled(int argc, char** argv)
{
    std::string table, outDir;
    std::map<std::string, std::string> faces;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string v = argv[++i];
        if (a == "--table")
            table = v;
        else if (a == "--out")
            outDir = v;
        else if (a == "--face" && v.find('=') != std::string::npos)
            faces[v.substr(0, v.find('='))] = v.substr(v.find('=') + 1);
        else
            return usage();
    }
    if (table.empty() || outDir.empty())
        return usage();

    std::vector<FontEntry> entries;
    std::string error;
    if (!read_font_table(table, entries, error)) {
        std::fprintf(stderr, "fontgen: %s\n", error.c_str());
        return 1;
    }
    std::string broken;
    for (const FontEntry& entry : entries) {
        const auto face = faces.find(entry.face);
        if (face == faces.end()) {
            std::fprintf(stderr, "fontgen: %s: no --face %s=FILE given\n", entry.name.c_str(), entry.face.c_str());
            return 1;
        }
        RasterFont font;
        if (!render_font(entry, face->second, font, error)) {
            std::fprintf(stderr, "fontgen: %s\n", error.c_str());
            return 1;
        }
        broken += check_font(font);
        const std::string path = outDir + "/" + entry.name + ".cpp";
        if (!write_if_changed(path, c_source(font))) {
            std::fprintf(stderr, "fontgen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    if (!broken.empty()) {
        std::fprintf(stderr, "fontgen: the generated fonts break the firmware's rules:\n%s", broken.c_str());
        return 1;
    }
    return 0;
}

int sif(int argc, char** argv)
{
    std::string table, name, outPath;
    bool aa2 = false;
    std::map<std::string, std::string> faces;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--aa2") {
            aa2 = true;
            continue;
        }
        if (i + 1 >= argc)
            return usage();
        const std::string v = argv[++i];
        if (a == "--table")
            table = v;
        else if (a == "--font")
            name = v;
        else if (a == "--out")
            outPath = v;
        else if (a == "--face" && v.find('=') != std::string::npos)
            faces[v.substr(0, v.find('='))] = v.substr(v.find('=') + 1);
        else
            return usage();
    }
    if (table.empty() || name.empty() || outPath.empty())
        return usage();
    std::vector<FontEntry> entries;
    std::string error;
    if (!read_font_table(table, entries, error)) {
        std::fprintf(stderr, "fontgen: %s\n", error.c_str());
        return 1;
    }
    for (const FontEntry& entry : entries) {
        if (entry.name != name)
            continue;
        const auto face = faces.find(entry.face);
        if (face == faces.end()) {
            std::fprintf(stderr, "fontgen: %s: no --face %s=FILE given\n", entry.name.c_str(), entry.face.c_str());
            return 1;
        }
        RasterFont font;
        if (!render_font(entry, face->second, font, error)) {
            std::fprintf(stderr, "fontgen: %s\n", error.c_str());
            return 1;
        }
        const std::vector<uint8_t> data = sif_file(font, aa2);
        std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        if (!out) {
            std::fprintf(stderr, "fontgen: cannot write %s\n", outPath.c_str());
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "fontgen: %s: no such font in %s\n", name.c_str(), table.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    if (std::strcmp(argv[1], "compiled") == 0)
        return compiled(argc - 2, argv + 2);
    if (std::strcmp(argv[1], "sif") == 0)
        return sif(argc - 2, argv + 2);
    return usage();
}
