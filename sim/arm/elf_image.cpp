#include "arm/elf_image.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <fstream>
#include <iterator>

namespace sim::arm {

namespace {

// ELF32 little-endian fields, read from the file's bytes.
struct Reader {
    const std::vector<uint8_t>& b;
    bool ok = true;
    uint32_t u32(size_t off)
    {
        if (off + 4 > b.size()) {
            ok = false;
            return 0;
        }
        return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
    }
    uint16_t u16(size_t off)
    {
        if (off + 2 > b.size()) {
            ok = false;
            return 0;
        }
        return static_cast<uint16_t>(b[off] | b[off + 1] << 8);
    }
    std::string str(size_t off)
    {
        std::string s;
        while (off < b.size() && b[off])
            s.push_back(static_cast<char>(b[off++]));
        return s;
    }
};

constexpr uint32_t PT_LOAD = 1;
constexpr uint32_t SHT_SYMTAB = 2;
constexpr uint16_t EM_ARM = 40;
constexpr uint8_t STT_FUNC = 2;
// The section the arm tree puts the build's name in (outside the image).
const char kBuildSection[] = ".velm5plus.build";

}  // namespace

bool ElfImage::load(const std::string& path, std::string* error)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        *error = "cannot read the board image " + path;
        return false;
    }
    const std::vector<uint8_t> b{std::istreambuf_iterator<char>(f), {}};
    Reader r{b};
    if (b.size() < 52 || std::memcmp(b.data(), "\x7f" "ELF", 4) != 0 || b[4] != 1 || b[5] != 1 ||
        r.u16(18) != EM_ARM) {
        *error = path + " is not a 32-bit little-endian ARM ELF file (a board image of the arm tree)";
        return false;
    }
    const uint32_t phoff = r.u32(28), shoff = r.u32(32);
    const uint16_t phentsize = r.u16(42), phnum = r.u16(44), shentsize = r.u16(46), shnum = r.u16(48),
                   shstrndx = r.u16(50);
    for (uint16_t i = 0; i < phnum; ++i) {
        const size_t ph = phoff + static_cast<size_t>(i) * phentsize;
        if (r.u32(ph) != PT_LOAD)
            continue;
        const uint32_t offset = r.u32(ph + 4), paddr = r.u32(ph + 12), filesz = r.u32(ph + 16);
        if (filesz == 0)
            continue;  // zero-filled at run time, nothing to program
        if (static_cast<uint64_t>(offset) + filesz > b.size()) {
            *error = path + ": a segment lies beyond the end of the file";
            return false;
        }
        segments_.push_back({paddr, std::vector<uint8_t>(b.begin() + offset, b.begin() + offset + filesz)});
    }
    // Sections: the build's name and the symbol table.
    const size_t names = shoff + static_cast<size_t>(shstrndx) * shentsize;
    const uint32_t names_off = r.u32(names + 16);
    for (uint16_t i = 0; i < shnum; ++i) {
        const size_t sh = shoff + static_cast<size_t>(i) * shentsize;
        const std::string name = r.str(names_off + r.u32(sh));
        const uint32_t type = r.u32(sh + 4), offset = r.u32(sh + 16), size = r.u32(sh + 20);
        if (name == kBuildSection) {
            build_ = r.str(offset);
            if (build_.size() >= size)
                build_.clear();
        } else if (type == SHT_SYMTAB) {
            const uint32_t link = r.u32(sh + 24), entsize = r.u32(sh + 36);
            const uint32_t strings = r.u32(shoff + static_cast<size_t>(link) * shentsize + 16);
            for (uint32_t s = 0; entsize && s + entsize <= size; s += entsize) {
                const size_t e = offset + s;
                const std::string sym = r.str(strings + r.u32(e));
                const uint32_t value = r.u32(e + 4), sym_size = r.u32(e + 8);
                if (sym.empty() || sym[0] == '$' || e + 12 >= b.size())
                    continue;
                symbols_[sym] = value;
                if ((b[e + 12] & 0xF) == STT_FUNC)
                    functions_[value] = {sym_size, sym};
            }
        }
    }
    if (!r.ok || segments_.empty()) {
        *error = path + ": no program to put into the flash";
        return false;
    }
    return true;
}

std::string ElfImage::where(uint32_t address) const
{
    auto it = functions_.upper_bound(address);
    if (it == functions_.begin())
        return "";
    --it;
    if (address - it->first >= std::max<uint32_t>(it->second.size, 1))
        return "";
    char off[16];
    std::snprintf(off, sizeof off, "+0x%x", address - it->first);
    // The firmware's own functions by their C++ names.
    int status = -1;
    char* plain = abi::__cxa_demangle(it->second.name.c_str(), nullptr, nullptr, &status);
    const std::string name = status == 0 && plain ? plain : it->second.name;
    std::free(plain);
    return name + off;
}

uint32_t ElfImage::symbol(const std::string& name) const
{
    auto it = symbols_.find(name);
    return it == symbols_.end() ? 0 : it->second;
}

}  // namespace sim::arm
