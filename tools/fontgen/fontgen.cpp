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

// The options of both commands; --font and --aa2 belong to sif alone.
struct Options {
    std::string table, out, font;
    bool aa2 = false;
    std::map<std::string, std::string> faces;  // KEY -> TTF
};

bool read_options(int argc, char** argv, bool sifCommand, Options& o)
{
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (sifCommand && a == "--aa2") {
            o.aa2 = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const std::string v = argv[++i];
        if (a == "--table")
            o.table = v;
        else if (sifCommand && a == "--font")
            o.font = v;
        else if (a == "--out")
            o.out = v;
        else if (a == "--face" && v.find('=') != std::string::npos)
            o.faces[v.substr(0, v.find('='))] = v.substr(v.find('=') + 1);
        else
            return false;
    }
    return !o.table.empty() && !o.out.empty() && (!sifCommand || !o.font.empty());
}

// Reads the options and the font table: 0 when the command can go on, else
// the status it ends with.
int prepare(int argc, char** argv, bool sifCommand, Options& o, std::vector<FontEntry>& entries)
{
    if (!read_options(argc, argv, sifCommand, o))
        return usage();
    std::string error;
    if (read_font_table(o.table, entries, error))
        return 0;
    std::fprintf(stderr, "fontgen: %s\n", error.c_str());
    return 1;
}

// Renders the font of entry from the face the options give for it.
bool render(const FontEntry& entry, const Options& o, RasterFont& font)
{
    const auto face = o.faces.find(entry.face);
    if (face == o.faces.end()) {
        std::fprintf(stderr, "fontgen: %s: no --face %s=FILE given\n", entry.name.c_str(), entry.face.c_str());
        return false;
    }
    std::string error;
    if (render_font(entry, face->second, font, error))
        return true;
    std::fprintf(stderr, "fontgen: %s\n", error.c_str());
    return false;
}

int compiled(int argc, char** argv)
{
    Options o;
    std::vector<FontEntry> entries;
    if (const int status = prepare(argc, argv, false, o, entries))
        return status;
    std::string broken;
    for (const FontEntry& entry : entries) {
        RasterFont font;
        if (!render(entry, o, font))
            return 1;
        broken += check_font(font);
        const std::string path = o.out + "/" + entry.name + ".cpp";
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
    Options o;
    std::vector<FontEntry> entries;
    if (const int status = prepare(argc, argv, true, o, entries))
        return status;
    for (const FontEntry& entry : entries) {
        if (entry.name != o.font)
            continue;
        RasterFont font;
        if (!render(entry, o, font))
            return 1;
        const std::vector<uint8_t> data = sif_file(font, o.aa2);
        std::ofstream out(o.out, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        if (!out) {
            std::fprintf(stderr, "fontgen: cannot write %s\n", o.out.c_str());
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "fontgen: %s: no such font in %s\n", o.font.c_str(), o.table.c_str());
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
