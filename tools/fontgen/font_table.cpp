#include "font_table.h"

#include <fstream>
#include <sstream>

namespace fontgen {

static bool parse_kind(const std::string& s, Kind& k)
{
    if (s == "prop")
        k = Kind::Prop;
    else if (s == "aa4")
        k = Kind::AA4;
    else if (s == "ext")
        k = Kind::Ext;
    else
        return false;
    return true;
}

static bool parse_ranges(const std::string& s, std::vector<CodeRange>& out)
{
    std::istringstream in(s);
    std::string item;
    while (std::getline(in, item, ',')) {
        const size_t dash = item.find('-');
        if (dash == std::string::npos)
            return false;
        CodeRange r;
        try {
            r.first = std::stoul(item.substr(0, dash), nullptr, 16);
            r.last = std::stoul(item.substr(dash + 1), nullptr, 16);
        } catch (...) {
            return false;
        }
        if (r.first > r.last || r.last > 0xFFFF)
            return false;
        out.push_back(r);
    }
    return !out.empty();
}

bool read_font_table(const std::string& path, std::vector<FontEntry>& fonts, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        FontEntry f;
        std::string kind, ranges;
        if (!(words >> f.name))
            continue;
        if (!(words >> kind >> f.face >> f.ySize >> f.baseline >> f.lHeight >> f.cHeight >> ranges) ||
            !parse_kind(kind, f.kind) || !parse_ranges(ranges, f.ranges) || f.ySize <= 0 || f.ySize > 255 ||
            f.baseline <= 0 || f.baseline > f.ySize || f.cHeight <= 0 || f.lHeight <= 0) {
            error = path + ":" + std::to_string(lineNo) + ": not a font line";
            return false;
        }
        fonts.push_back(f);
    }
    return true;
}

unsigned unicode_of(unsigned code)
{
    // Windows-1252 in 0x80-0x9F; its five holes have no character.
    static const unsigned cp1252[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
    };
    if (code < 0x20 || code == 0x7F)
        return 0;
    if (code >= 0x80 && code < 0xA0)
        return cp1252[code - 0x80];
    return code;
}

}  // namespace fontgen
