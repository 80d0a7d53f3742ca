// fuzz_card: an input is the disk image of the SD card in the slot (a FAT
// volume or a partitioned card).  Each input is a card inserted afresh:
// the slot powers it, the card driver brings it up over the SD protocol
// and the file system mounts it; then the root folder and a subfolder are
// listed, files opened and read (whole, by lines, by chunks, after a
// seek), image files drawn, the image file and rundemo.ini looked for, a
// file created, written, appended to and removed, and config.ini read.
#include <cstring>
#include <string>
#include <vector>

#include "app/KM_imagefiles.h"
#include "board/bootio.h"
#include "fuzz_board.h"
#include "storage/KM_config.h"
#include "storage/KM_eeprom.h"
#include "storage/KM_extmem.h"
#include "storage/file_sys.h"
#include "storage/sdcard.h"

// Cards are never smaller than this; the volume may be.
static constexpr size_t kCardMin = 64 * 1024;
// Work per input: more entries and bytes only repeat it.
static constexpr int kEntries = 64;
static constexpr int kFiles = 8;
static constexpr int kChunks = 32;

static std::string card_path;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The slot holds a card from power-on; each input replaces its image.
    const std::vector<uint8_t> blank(kCardMin, 0);
    card_path = fuzz::write_temp("card.img", blank.data(), blank.size());
    fwtest::BootOptions o;
    o.sd = card_path;
    fuzz::boot_once(o);
    return 0;
}

static void read_file(const char* name)
{
    fat::FatFile* f = SD_fopen(name, fat::FF_READ);
    if (!f)
        return;
    uint8_t sector[512];
    for (int i = 0; i < kChunks && fat::freadChunk(f, sector) > 0; ++i) {
    }
    fat::fseek(f, static_cast<int32_t>(f->length / 2), 2);
    char line[80];
    for (int i = 0; i < 8 && fat::fgets(line, sizeof line, f); ++i) {
    }
    fat::fseek(f, 0, 2);
    fat::fread(sector, 1, sizeof sector, f);
    fat::fgetc_(f);
    SD_fclose(f);
}

static int has_type(const char* name, const char* type)
{
    const size_t n = std::strlen(name);
    return n >= 3 && strcasecmp(name + n - 3, type) == 0;
}

// Lists the current folder; reads its first files and returns the name of
// its first subfolder (empty when none).
static std::string list_folder(int files)
{
    std::string sub;
    uint8_t e[32];
    int i = 0;
    for (int16_t r = fat::read_directory_entry(e, 0); r == 1 && i < kEntries; r = fat::read_directory_entry(e, 1), ++i) {
        char name[13];
        fat::NameFromDirEntry(name, e);
        if (e[11] & fat::ATTR_VOLUME)
            continue;
        if (e[11] & fat::ATTR_DIRECTORY) {
            if (sub.empty() && name[0] != '.')
                sub = name;
            continue;
        }
        if (files-- > 0) {
            read_file(name);
            if (has_type(name, "BMP") || has_type(name, "GIF") || has_type(name, "JPG"))
                KM_Draw_SdImageFile(name, 0, 0);
        }
    }
    return sub;
}

static void write_file()
{
    static const char text[] = "written by the card's fuzz target\r\n";
    fat::FatFile* f = fat::fcreate("FUZZ.TXT", fat::ATTR_ARCHIVE);
    if (f) {
        for (int i = 0; i < 20; ++i)
            fat::fwrite(text, 1, sizeof text - 1, f);
        fat::fclose(f);
    }
    f = fat::fopen("FUZZ.TXT", fat::FF_APPEND);
    if (f) {
        fat::fputs("one more line\r\n", f);
        fat::fclose(f);
    }
    fat::remove("FUZZ.TXT");
}

static void use_card()
{
    const std::string sub = list_folder(kFiles);
    if (!sub.empty() && fat::chdir(sub.c_str()) == 0) {
        list_folder(2);
        fat::chdir("\\");
    }
    KM_Load_VelmBin_To_ExtMem();
    ExtMemBuffer = 0;
    KM_Check_Demo();
    write_file();
    // config.ini changes the settings in RAM: each card starts from the same.
    const EepromRecord saved = eepromData;
    int verbose = 0, port = -1;
    KM_EEPROM_loadConfigFromFile(&verbose, &port);
    eepromData = saved;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> card(data, data + size);
    card.resize(std::max(kCardMin, (size + 511) & ~size_t(511)), 0);
    fuzz::write_temp("card.img", card.data(), card.size());
    sim::Board& board = sim::Board::get();
    fuzz::on_firmware("a card", [&] {
        board.sdhc.card.open(card_path);
        SDioLow();
        SDcardPower(0);
        SDcardPower(1);
        SDCardSlotInit();
        if (initialize_media()) {
            SDhotplugInitialized();
            use_card();
        } else {
            SDhotplugFailedToInit();
        }
    });
    return 0;
}
