#include "support/image_builder.h"

#include <algorithm>
#include <stdexcept>

#include "core/image_writer.h"
#include "core/rle16_encoder.h"
#include "format/memimage.h"

namespace fwtest {

std::vector<uint16_t> test_pattern(int width, int height, uint32_t seed)
{
    std::vector<uint16_t> p(static_cast<size_t>(width) * height);
    uint32_t v = seed * 2654435761u + 1;
    for (auto& px : p) {
        v = v * 1103515245u + 12345u;
        px = static_cast<uint16_t>(v >> 16);
        if (px == 0)
            px = 1;  // black is the transparent index of RLE drawing
    }
    return p;
}

std::vector<uint16_t> screen_pattern(int width, int height)
{
    std::vector<uint16_t> p = test_pattern(width, height, 7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((x / 40 + y / 40) % 3)
                p[static_cast<size_t>(y) * width + x] = static_cast<uint16_t>(0x2000 + (x / 40) * 64 + y / 40);
    return p;
}

std::vector<uint8_t> build_image(const std::vector<TestBitmap>& bitmaps, uint32_t base)
{
    return build_image(bitmaps, std::vector<TestMacro>{}, base);
}

// The macro block: table, name block, texts.
static void write_macros(ImageWriter& w, const std::vector<TestMacro>& macros, uint32_t base)
{
    const uint32_t table = w.position();
    w.skip(static_cast<uint32_t>(macros.size() * sizeof(ExtMacroEntry)));
    int highest = 0;
    for (const TestMacro& m : macros)
        highest = std::max(highest, m.number);
    std::vector<std::string> names(static_cast<size_t>(highest) + 1);
    for (const TestMacro& m : macros)
        names[static_cast<size_t>(m.number)] = m.name;
    uint32_t length = 0;
    for (const std::string& n : names)
        length += static_cast<uint32_t>(n.size()) + 1;
    w.put16(EXTMACRO_NAMES_MAGIC);
    w.put16(EXTMACRO_NAMES_VERSION);
    w.put16(static_cast<uint16_t>(length));
    for (const std::string& n : names)
        w.putBytes(reinterpret_cast<const uint8_t*>(n.c_str()), n.size() + 1);
    for (size_t i = 0; i < macros.size(); ++i) {
        const uint32_t at = table + static_cast<uint32_t>(i * sizeof(ExtMacroEntry));
        w.putAt32(at, base + w.position());
        w.putAt8(at + 4, static_cast<uint8_t>(macros[i].lines.size()));
        w.putAt8(at + 5, static_cast<uint8_t>(macros[i].lines.size() >> 8));
        w.putAt8(at + 6, static_cast<uint8_t>(macros[i].number));
        for (const std::string& line : macros[i].lines)
            w.putBytes(reinterpret_cast<const uint8_t*>(line.c_str()), line.size() + 1);
    }
}

std::vector<uint8_t> build_image(const std::vector<TestBitmap>& bitmaps, const std::vector<TestMacro>& macros,
                                 uint32_t base)
{
    std::vector<uint8_t> buf(4 << 20, 0xFF);
    ImageWriter w(buf);
    const uint32_t count = static_cast<uint32_t>(bitmaps.size()) + 1;
    w.skip(ExtMemDirEntryOffset(count));
    w.align();
    std::vector<ExtMemDirEntry> dir(count);
    dir[0] = {EXTMEM_MACROS, {0, 0, 0}, base + w.position(), static_cast<uint32_t>(macros.size())};
    if (!macros.empty())
        write_macros(w, macros, base);
    for (size_t i = 0; i < bitmaps.size(); ++i) {
        const TestBitmap& b = bitmaps[i];
        w.align();
        uint32_t at = w.position();
        if (b.kind == TestBitmap::Font && !b.alias.empty()) {
            const uint32_t length = static_cast<uint32_t>(b.bytes.size());
            w.put32(base + at + static_cast<uint32_t>(offsetof(ExtFontRecord, alias)));
            w.put32(base + at + static_cast<uint32_t>(sizeof(ExtFontRecord)));
            char alias[sizeof(ExtFontRecord::alias)] = {};
            b.alias.copy(alias, sizeof alias - 1);
            w.putBytes(reinterpret_cast<const uint8_t*>(alias), sizeof alias);
            w.put8(b.fontKind);
            w.put8(0xFF);
            w.put32(length);
            w.putBytes(b.bytes.data(), b.bytes.size());
            dir[i + 1] = {EXTMEM_FONT, {0, 0, 0}, base + at, length};
            continue;
        }
        if (b.kind == TestBitmap::Gif || b.kind == TestBitmap::Font) {
            w.putBytes(b.bytes.data(), b.bytes.size());
            dir[i + 1] = {static_cast<uint8_t>(b.kind == TestBitmap::Gif ? EXTMEM_GIF : EXTMEM_FONT), {0, 0, 0},
                          base + at, static_cast<uint32_t>(b.bytes.size())};
            continue;
        }
        std::vector<uint8_t> data(b.pixels.size() * 2);
        uint32_t len = static_cast<uint32_t>(data.size());
        uint8_t type = b.kind == TestBitmap::Trans ? EXTMEM_BITMAP_TRANS : EXTMEM_BITMAP;
        if (b.kind == TestBitmap::Rle) {
            CRle16Encoder enc;
            len = enc.Encode(16, b.pixels.data(), data.data(), static_cast<uint32_t>(data.size()));
            if (!len)
                throw std::runtime_error("test bitmap does not compress");
            type = EXTMEM_BITMAP_RLE16;
        } else {
            for (size_t k = 0; k < b.pixels.size(); ++k) {
                data[2 * k] = static_cast<uint8_t>(b.pixels[k]);
                data[2 * k + 1] = static_cast<uint8_t>(b.pixels[k] >> 8);
            }
        }
        w.put16(static_cast<uint16_t>(b.width));
        w.put16(static_cast<uint16_t>(b.height));
        w.put16(static_cast<uint16_t>(b.width * 2));
        w.put16(16);
        w.put32(base + at + 20);
        w.put32(b.kind == TestBitmap::Trans ? b.key : 0);
        w.put32(0);
        w.putBytes(data.data(), len);
        dir[i + 1] = {type, {0, 0, 0}, base + at, 20 + len};
    }
    w.align();
    uint32_t total = w.position();
    w.putAt16(0, EXTMEM_VALID_PLUS);
    w.putAt16(2, static_cast<uint16_t>(count));
    w.putAt32(4, total);
    for (uint32_t i = 0; i < count; ++i) {
        w.putAt8(ExtMemDirEntryOffset(i), dir[i].type);
        w.putAt8(ExtMemDirEntryOffset(i) + 1, 0);
        w.putAt8(ExtMemDirEntryOffset(i) + 2, 0);
        w.putAt8(ExtMemDirEntryOffset(i) + 3, 0);
        w.putAt32(ExtMemDirEntryOffset(i) + 4, dir[i].address);
        w.putAt32(ExtMemDirEntryOffset(i) + 8, dir[i].size);
    }
    if (!w.ok())
        throw std::runtime_error("test image does not fit");
    buf.resize(total);
    return buf;
}

}  // namespace fwtest
