// The memory image: the one block of bytes that carries bitmaps, animated
// GIFs, macros and external fonts from Dravik to the controller.  Dravik
// writes it (field by field, little-endian); the firmware reads it in place
// through these structures, so every layout is pinned by static_asserts.
//
// Layout: ExtMemHeader at 0, N ExtMemDirEntry records from 8, then the
// macro block (table, name block, texts), then one aligned object per image
// and per font.  Every stored address is the image base + the object's
// offset in the image.
//
// Header-only, no allocation, no exceptions: usable by the firmware (on the
// board and on the simulated board) and by Dravik alike.  Every field has a
// fixed width: the layouts are the same whatever the word size of the
// program that reads them.
#pragma once

#include <stddef.h>
#include <stdint.h>

// --- Controller models -----------------------------------------------------

// Validity word at offset 0: which controller the image was built for.
constexpr uint16_t EXTMEM_VALID_PLUS = 0xFEEC;   // VELM5 Plus
constexpr uint16_t EXTMEM_VALID_VELM5 = 0xFEEB;  // the older VELM5

// Base added to every stored address.  VELM5 Plus maps the image at the
// start of Flash2 and uses the stored addresses as pointers.
constexpr uint32_t EXTMEM_BASE_PLUS = 0xC8400000u;
constexpr uint32_t EXTMEM_BASE_VELM5 = 0;

// Nominal capacity of each model's image area.
constexpr uint32_t EXTMEM_CAPACITY_PLUS = 0x1C00000u;
constexpr uint32_t EXTMEM_CAPACITY_VELM5 = 0xB00000u;

// Flash2: the part of the NOR flash that holds the image on VELM5 Plus.  Its
// size is the largest image the controller takes, from flash or SD card.
constexpr uint32_t EXTMEM_FLASH2_BASE = 0xC8400000u;
constexpr uint32_t EXTMEM_FLASH2_SIZE = 0x1BC0000u;
constexpr uint32_t EXTMEM_FLASH2_SECTOR_SIZE = 0x20000u;

// Objects start on a multiple of 4 (an offset that is one already stays).
constexpr uint32_t ExtMemAlign(uint32_t offset) { return (offset + 3u) & ~3u; }

// --- Header and directory --------------------------------------------------

struct ExtMemHeader {
    uint16_t validity;  // EXTMEM_VALID_PLUS or EXTMEM_VALID_VELM5
    uint16_t count;     // directory entries: images + fonts + 1
    uint32_t size;      // bytes in the image, a multiple of 4
};

// Directory entry types; 0 is an empty entry.
enum ExtMemEntryType : uint8_t {
    EXTMEM_EMPTY = 0,
    EXTMEM_BITMAP = 1,        // raw RGB565, size = 20 + pixel bytes
    EXTMEM_BITMAP_RLE16 = 2,  // RLE16 pixels, size = 20 + encoded bytes
    EXTMEM_MACROS = 3,        // macro table, always entry 0, size = macro count
    EXTMEM_FONT = 4,          // ExtFontRecord, size = length of the .sif file
    EXTMEM_BITMAP_TRANS = 5,  // raw RGB565 with a transparent colour
    EXTMEM_GIF = 6,           // the GIF file byte for byte, size = file length
};
constexpr uint8_t EXTMEM_TYPE_LAST = EXTMEM_GIF;

struct ExtMemDirEntry {
    uint8_t type;  // ExtMemEntryType
    uint8_t reserved[3];
    uint32_t address;  // base + offset of the object
    uint32_t size;     // by type, see ExtMemEntryType
};

// The directory starts right after the header.
constexpr uint32_t ExtMemDirEntryOffset(uint32_t index)
{
    return sizeof(ExtMemHeader) + index * sizeof(ExtMemDirEntry);
}

// --- Macro block -------------------------------------------------------------

// One per macro, in the order of the macro file's "#define" lines.  The text
// lines are consecutive NUL-terminated strings; lineCount says how many.
struct ExtMacroEntry {
    uint32_t address;    // base + offset of the first text line
    uint16_t lineCount;  // number of text lines
    uint8_t number;      // macro number 1..255
    uint8_t unused;      // never written (0xFF)
};

// Right after the macro table: the names of the macros, for listings.  The
// head is followed by `length` bytes: an empty name for number 0, then the
// names of macros 1..j, each NUL-terminated.
struct ExtMacroNameTable {
    uint16_t magic;    // EXTMACRO_NAMES_MAGIC
    uint16_t version;  // EXTMACRO_NAMES_VERSION
    uint16_t length;   // name bytes that follow, NULs included
};
constexpr uint16_t EXTMACRO_NAMES_MAGIC = 0xA5A5;
constexpr uint16_t EXTMACRO_NAMES_VERSION = 1;
constexpr uint32_t EXTMACRO_MAX = 255;  // the number is one byte; 0 is no macro

// --- Bitmaps -------------------------------------------------------------------

// GUI_BitmapRecord as the image stores it in front of the pixels of entry
// types 1, 2 and 5: the graphics library's record with its three pointers as
// 32-bit board addresses.  The firmware reads it into the library's own
// record, whose pointers are the program's.
struct ExtBitmapRecord {
    uint16_t XSize;         // width in pixels
    uint16_t YSize;         // height in pixels
    uint16_t BytesPerLine;  // XSize * 2
    uint16_t BitsPerPixel;  // 16
    uint32_t pData;         // address of the pixels: record address + 20
    uint32_t pPal;          // type 5: the transparent RGB565 colour; else 0
    uint32_t pMethods;      // 0: no method table
};
constexpr uint16_t EXTMEM_BITMAP_BPP = 16;

// --- Fonts ---------------------------------------------------------------------

// Font kinds, chosen by Dravik from the .sif file's name.
enum ExtFontKind : uint8_t {
    EXTFONT_PROP = 0,      // proportional
    EXTFONT_PROP_EXT = 1,  // proportional, extended ("EXT")
    EXTFONT_AA2 = 2,       // anti-aliased 2 bpp ("AA2")
    EXTFONT_AA4 = 3,       // anti-aliased 4 bpp ("AA4")
    EXTFONT_FRAMED = 4,    // framed ("EXF")
};

constexpr uint32_t EXTFONT_ALIAS_MAX = 8;  // characters of an alias, NUL not counted

// The SIF data follows the record; the first two words form the firmware's
// font-table pair {name, font}.
struct ExtFontRecord {
    uint32_t pAlias;  // address of alias: record address + 8
    uint32_t pData;   // address of the SIF data: record address + 24
    char alias[10];   // NUL-terminated, NUL-padded
    uint8_t kind;     // ExtFontKind
    uint8_t unused;   // never written (0xFF)
    uint32_t length;  // length of the .sif file
};

// SIF font data begins with these four bytes.
constexpr uint32_t SIF_MAGIC = 0x50495547u;  // "GUIP"

// --- .BIN files ---------------------------------------------------------------

// A .BIN file is the image byte for byte.  It may end in this trailer, which
// is not part of the image; nothing but its first word is interpreted.
struct ExtMemTrailer {
    uint32_t magic;  // EXTMEM_TRAILER_MAGIC: bytes A5 5A 00 00
    uint8_t reserved[16];
};
constexpr uint32_t EXTMEM_TRAILER_MAGIC = 0x00005AA5u;

// --- Layout pins ---------------------------------------------------------------

static_assert(sizeof(ExtMemHeader) == 8, "ExtMemHeader is 8 bytes");
static_assert(offsetof(ExtMemHeader, validity) == 0, "validity at 0");
static_assert(offsetof(ExtMemHeader, count) == 2, "count at 2");
static_assert(offsetof(ExtMemHeader, size) == 4, "size at 4");

static_assert(sizeof(ExtMemDirEntry) == 12, "ExtMemDirEntry is 12 bytes");
static_assert(offsetof(ExtMemDirEntry, type) == 0, "type at 0");
static_assert(offsetof(ExtMemDirEntry, address) == 4, "address at 4");
static_assert(offsetof(ExtMemDirEntry, size) == 8, "size at 8");

static_assert(sizeof(ExtMacroEntry) == 8, "ExtMacroEntry is 8 bytes");
static_assert(offsetof(ExtMacroEntry, address) == 0, "address at 0");
static_assert(offsetof(ExtMacroEntry, lineCount) == 4, "lineCount at 4");
static_assert(offsetof(ExtMacroEntry, number) == 6, "number at 6");
static_assert(offsetof(ExtMacroEntry, unused) == 7, "unused at 7");

static_assert(sizeof(ExtMacroNameTable) == 6, "ExtMacroNameTable head is 6 bytes");
static_assert(offsetof(ExtMacroNameTable, version) == 2, "version at 2");
static_assert(offsetof(ExtMacroNameTable, length) == 4, "length at 4");

static_assert(sizeof(ExtBitmapRecord) == 20, "the bitmap record is 20 bytes");
static_assert(offsetof(ExtBitmapRecord, YSize) == 2, "YSize at 2");
static_assert(offsetof(ExtBitmapRecord, BytesPerLine) == 4, "BytesPerLine at 4");
static_assert(offsetof(ExtBitmapRecord, BitsPerPixel) == 6, "BitsPerPixel at 6");
static_assert(offsetof(ExtBitmapRecord, pData) == 8, "pData at 8");
static_assert(offsetof(ExtBitmapRecord, pPal) == 12, "pPal at 12");
static_assert(offsetof(ExtBitmapRecord, pMethods) == 16, "pMethods at 16");

static_assert(sizeof(ExtFontRecord) == 24, "ExtFontRecord is 24 bytes");
static_assert(offsetof(ExtFontRecord, pData) == 4, "pData at 4");
static_assert(offsetof(ExtFontRecord, alias) == 8, "alias at 8");
static_assert(offsetof(ExtFontRecord, kind) == 18, "kind at 18");
static_assert(offsetof(ExtFontRecord, unused) == 19, "unused at 19");
static_assert(offsetof(ExtFontRecord, length) == 20, "length at 20");
static_assert(sizeof(ExtFontRecord::alias) == EXTFONT_ALIAS_MAX + 2, "alias field holds 8 characters and NUL");

static_assert(sizeof(ExtMemTrailer) == 20, "ExtMemTrailer is 20 bytes");

static_assert(EXTMEM_FLASH2_SIZE <= EXTMEM_CAPACITY_PLUS, "Flash2 lies inside the VELM5 Plus image area");
