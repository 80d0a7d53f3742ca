#include "storage/file_sys.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "storage/sdcard.h"

namespace fat {

uint32_t _FF_PartitionAddr;
uint32_t BPB_SecPerClus, BPB_RsvdSecCnt, BPB_RootEntCnt, BPB_FATSz16;
uint32_t _FF_Fat1Addr, _FF_Fat2Addr, _FF_RootAddr, FirstDataSector;
uint32_t DataClusTot;
uint32_t BPB_FATType;
uint32_t BS_VolSerial;
char BS_VolLab[12];
uint32_t Clus0Counter;
uint32_t _FF_DirAddr;
char _FF_FullPath[50];
uint32_t _FF_ScanAddr;
uint8_t _FF_Buff[512];
uint32_t _FF_BuffAddr;
uint32_t NextClusterValidFlag;
int32_t _FF_error;
FatFile _FF_FileSpaceAllocation;

// Further volume state of this implementation.
static uint32_t num_fats;
static uint32_t root_sectors;
static uint32_t max_cluster;      // highest cluster number: DataClusTot + 1
static uint8_t buff_dirty;        // _FF_Buff holds a first-FAT sector with changes
// Listing cursor of read_directory_entry.
static uint32_t list_sector, list_count;
static uint16_t list_index;
// The last directory search or listing step could not read its directory.
static uint8_t dir_failed;

#define SECTOR 512u
#define DIR_ENTRY 32u
#define ENTRIES_PER_SECTOR 16u
#define DIR_FREE 0xE5
#define DIR_END 0x00
#define DATE_1980_01_01 0x0021
#define PATH_MAX_CHARS 49
#define NAME_BUF 16

static inline uint16_t rd16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
static inline uint32_t rd32(const uint8_t* p) { return rd16(p) | (uint32_t)rd16(p + 2) << 16; }
static inline void wr16(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
static inline void wr32(uint8_t* p, uint32_t v)
{
    wr16(p, v);
    wr16(p + 2, v >> 16);
}

static int mounted(void) { return BPB_FATType == '2' || BPB_FATType == '6'; }
static uint32_t cluster_bytes(void) { return BPB_SecPerClus * SECTOR; }
static uint32_t end_of_chain(void) { return BPB_FATType == '2' ? 0xFFF : 0xFFFF; }
// A FAT entry that links to another cluster of the volume.
static int is_link(uint32_t v) { return v >= 2 && v <= max_cluster; }

// ---------------------------------------------------------------- sectors

int _FF_read(uint32_t sector, uint8_t* buffer)
{
    if (!SDCardReadBlock(sector * SECTOR, buffer))
        return -1;
    if (buffer == _FF_Buff)
        _FF_BuffAddr = sector;
    return 0;
}

// The boot sector and the partition table are never written.
int _FF_write(uint32_t sector, const uint8_t* buffer)
{
    if (sector <= _FF_PartitionAddr)
        return -1;
    if (buffer == _FF_Buff)
        _FF_BuffAddr = sector;
    return SDCardWriteBlock(sector * SECTOR, buffer) ? 0 : -1;
}

// Writes back a first-FAT sector with deferred changes, to every FAT copy,
// so the copies never disagree.
static int buff_flush(void)
{
    if (!buff_dirty)
        return 0;
    uint32_t s = _FF_BuffAddr;
    for (uint32_t k = 0; k < num_fats; ++k)
        if (_FF_write(s + k * BPB_FATSz16, _FF_Buff) != 0)
            return -1;
    _FF_BuffAddr = s;
    buff_dirty = 0;
    return 0;
}

// Brings a sector into _FF_Buff (no transfer when it is there already).
static int buff_load(uint32_t sector)
{
    if (_FF_BuffAddr == sector && sector != 0)
        return 0;
    if (buff_flush() != 0)
        return -1;
    _FF_BuffAddr = 0;
    return _FF_read(sector, _FF_Buff);
}

static void buff_forget(void)
{
    if (!buff_dirty)
        _FF_BuffAddr = 0;
}

// Writes _FF_Buff (a directory sector) back to where it came from.
static int buff_write_dir(void)
{
    return _FF_write(_FF_BuffAddr, _FF_Buff);
}

// ---------------------------------------------------------------- FAT

uint32_t clust_to_addr(uint32_t cluster)
{
    if (cluster < 2)
        return 0;
    return _FF_PartitionAddr + FirstDataSector + (cluster - 2) * BPB_SecPerClus;
}

uint32_t addr_to_clust(uint32_t sector)
{
    if (sector <= _FF_PartitionAddr || sector < _FF_PartitionAddr + FirstDataSector || BPB_SecPerClus == 0)
        return 0;
    uint32_t c = (sector - _FF_PartitionAddr - FirstDataSector) / BPB_SecPerClus + 2;
    return c > 0xFFFF ? 0 : c;
}

// Byte offset of a cluster's entry within the FAT.
static uint32_t fat_offset(uint32_t c)
{
    return BPB_FATType == '2' ? c + c / 2 : 2 * c;
}

// A FAT12 entry may straddle two sectors: each byte is fetched on its own.
static int fat_byte(uint32_t off, uint8_t* out)
{
    if (buff_load(_FF_Fat1Addr + off / SECTOR) != 0)
        return -1;
    *out = _FF_Buff[off % SECTOR];
    return 0;
}

static int fat_put_byte(uint32_t off, uint8_t v, uint8_t mask)
{
    if (buff_load(_FF_Fat1Addr + off / SECTOR) != 0)
        return -1;
    uint8_t* p = &_FF_Buff[off % SECTOR];
    *p = (uint8_t)((*p & ~mask) | (v & mask));
    buff_dirty = 1;
    return 0;
}

static int fat_get(uint32_t c, uint32_t* value)
{
    uint32_t off = fat_offset(c);
    uint8_t lo, hi;
    if (fat_byte(off, &lo) != 0 || fat_byte(off + 1, &hi) != 0)
        return -1;
    uint32_t v = (uint32_t)lo | (uint32_t)hi << 8;
    if (BPB_FATType == '2')
        v = (c & 1) ? v >> 4 : v & 0xFFF;
    *value = v;
    return 0;
}

static int fat_set(uint32_t c, uint32_t v)
{
    uint32_t off = fat_offset(c);
    if (BPB_FATType == '2') {
        v &= 0xFFF;
        if (c & 1)
            return (fat_put_byte(off, (uint8_t)(v << 4), 0xF0) == 0 && fat_put_byte(off + 1, (uint8_t)(v >> 4), 0xFF) == 0)
                       ? 0 : -1;
        return (fat_put_byte(off, (uint8_t)v, 0xFF) == 0 && fat_put_byte(off + 1, (uint8_t)(v >> 8), 0x0F) == 0) ? 0 : -1;
    }
    return (fat_put_byte(off, (uint8_t)v, 0xFF) == 0 && fat_put_byte(off + 1, (uint8_t)(v >> 8), 0xFF) == 0) ? 0 : -1;
}

// Entry of a cluster.  Deferred FAT changes are written back before
// another sector is read, so every mode sees the volume's true FAT.
uint32_t next_cluster(uint32_t cluster, int mode)
{
    (void)mode;
    uint32_t v;
    if (!mounted() || cluster < 2 || cluster > max_cluster || fat_get(cluster, &v) != 0) {
        NextClusterValidFlag = 0;
        return 0;
    }
    NextClusterValidFlag = 1;
    // End-of-chain marks of FAT12 read as those of FAT16.
    if (BPB_FATType == '2' && v >= 0xFF7)
        v |= 0xF000;
    return v;
}

// Modes 2 and 4 write the FAT sector at once; the others leave the change
// for the next write-back.
int16_t write_clus_table(uint32_t cluster, uint32_t value, int mode)
{
    if (!mounted() || cluster < 2 || cluster > max_cluster)
        return -1;
    if (fat_set(cluster, value) != 0)
        return -1;
    if (mode == 2 || mode == 4)
        return buff_flush() == 0 ? 0 : -1;
    return 0;
}

// prev_cluster(0): a free cluster from Clus0Counter on; prev_cluster(c):
// the cluster whose entry is c.  0 when none.
uint32_t prev_cluster(uint32_t cluster)
{
    if (!mounted())
        return 0;
    buff_forget();
    uint32_t from = cluster == 0 ? (Clus0Counter < 2 ? 2 : Clus0Counter) : 2;
    for (uint32_t c = from; c <= max_cluster; ++c) {
        uint32_t v = next_cluster(c, 0);
        if (!NextClusterValidFlag)
            return 0;
        if (cluster == 0 ? v == 0 : v == cluster) {
            if (cluster == 0)
                Clus0Counter = c;
            return c;
        }
    }
    return 0;
}

int16_t erase_clus_chain(uint32_t cluster)
{
    if (cluster < 2 || !mounted())
        return -1;
    buff_forget();
    uint32_t c = cluster;
    // A chain longer than the volume is a loop: stop there.
    for (uint32_t steps = 0; steps <= max_cluster; ++steps) {
        uint32_t v = next_cluster(c, 1);
        if (!NextClusterValidFlag)
            return -1;
        if (c < Clus0Counter)
            Clus0Counter = c;
        uint32_t raw = BPB_FATType == '2' ? v & 0xFFF : v;
        if (is_link(raw) && raw != c) {
            if (write_clus_table(c, 0, 1) != 0)
                return -1;
            c = raw;
        } else {
            return write_clus_table(c, 0, 2);
        }
    }
    return buff_flush() == 0 ? 0 : -1;
}

// A walk along a cluster chain watches for a loop (a damaged FAT; no
// chain of a volume is longer than its clusters): the cluster reached
// after each power of two of steps is kept, and a later step that comes
// back to it has gone round.  A loop is seen within about twice its length
// and its distance from the start, with no table of the clusters passed.
struct ChainWalk {
    uint32_t mark;   // the cluster kept
    uint32_t steps;  // steps since it was kept
    uint32_t span;   // steps after which the next one is kept
};

static void walk_start(ChainWalk* w, uint32_t first)
{
    w->mark = first;
    w->steps = 0;
    w->span = 1;
}

enum { CHAIN_NEXT, CHAIN_END, CHAIN_DAMAGED, CHAIN_FAILED };

// One step of a walk from cluster c: CHAIN_NEXT with the next cluster in
// *next; CHAIN_END at an end mark (or the bad-cluster mark, as PCs read
// it); CHAIN_DAMAGED (_FF_error 32) when the chain loops or leaves the data
// area (a free or reserved entry, a cluster past the last); CHAIN_FAILED
// when the FAT entry cannot be read.
static int chain_step(ChainWalk* w, uint32_t c, uint32_t* next)
{
    uint32_t v = next_cluster(c, 2);
    if (!NextClusterValidFlag)
        return CHAIN_FAILED;
    if (v >= 0xFFF7)  // FAT12 end marks read as FAT16's
        return CHAIN_END;
    if (is_link(v) && v != w->mark) {
        if (++w->steps == w->span) {
            w->mark = v;
            w->steps = 0;
            w->span *= 2;
        }
        *next = v;
        return CHAIN_NEXT;
    }
    _FF_error = FF_ERR_CHAIN;
    return CHAIN_DAMAGED;
}

// Follows a whole chain to its end mark before anything relies on it: a
// directory that loops would be searched or listed for ever, a file's
// sectors read or overwritten round and round.  0, or -1.
static int chain_sound(uint32_t first)
{
    ChainWalk w;
    walk_start(&w, first);
    for (uint32_t c = first;;) {
        int r = chain_step(&w, c, &c);
        if (r != CHAIN_NEXT)
            return r == CHAIN_END ? 0 : -1;
    }
}

// A free cluster marked as the end of a chain and linked after prev (when
// prev is not 0); 0 when the volume is full or a transfer fails.
static uint32_t allocate_after(uint32_t prev)
{
    uint32_t c = prev_cluster(0);
    if (c == 0)
        return 0;
    if (write_clus_table(c, end_of_chain(), 1) != 0)
        return 0;
    if (prev && write_clus_table(prev, c, 1) != 0)
        return 0;
    if (buff_flush() != 0)
        return 0;
    return c;
}

uint16_t available_clusters(void)
{
    uint16_t n = 0;
    for (uint32_t c = 2; c <= max_cluster; ++c) {
        uint32_t v = next_cluster(c, 0);
        if (!NextClusterValidFlag)
            break;
        if (v == 0)
            ++n;
    }
    return n;
}

// ---------------------------------------------------------------- mount

static void reset_handle(void)
{
    memset(&_FF_FileSpaceAllocation, 0, sizeof _FF_FileSpaceAllocation);
}

static int jump_ok(const uint8_t* b)
{
    return (b[0] == 0xEB && b[2] == 0x90) || b[0] == 0xE9;
}

static int signature_ok(const uint8_t* b)
{
    return b[0x1FE] == 0x55 && b[0x1FF] == 0xAA;
}

}  // namespace fat

int initialize_media(void)
{
    using namespace fat;
    BPB_FATType = 0;
    buff_dirty = 0;
    _FF_BuffAddr = 0;
    _FF_PartitionAddr = 0;
    reset_handle();
    if (!SDCardDetect() || !SDCardInit())
        return 0;
    if (_FF_read(0, _FF_Buff) != 0 || !signature_ok(_FF_Buff))
        return 0;
    uint32_t part = 0;
    if (!(jump_ok(_FF_Buff) && _FF_Buff[0x1BE] != 0x80)) {
        if (_FF_Buff[0x1BF] || _FF_Buff[0x1CF] || _FF_Buff[0x1DF] || _FF_Buff[0x1EF])
            part = rd32(&_FF_Buff[0x1C6]);  // the whole 32-bit start of the first partition
        if (part != 0) {
            if (_FF_read(part, _FF_Buff) != 0 || !signature_ok(_FF_Buff) || !jump_ok(_FF_Buff))
                return 0;
        }
    }
    const uint8_t* b = _FF_Buff;
    if (b[0x0B] != 0 || b[0x0C] != 2)
        return 0;
    uint32_t spc = b[0x0D], rsvd = rd16(b + 0x0E), nfats = b[0x10], roots = rd16(b + 0x11);
    uint32_t total = rd16(b + 0x13);
    if (total == 0)
        total = rd32(b + 0x20);
    uint32_t fatsz = rd16(b + 0x16);
    // A broken boot sector would send every later sector number astray.
    if (spc == 0 || (spc & (spc - 1)) || rsvd == 0 || nfats == 0 || fatsz == 0)
        return 0;
    BPB_SecPerClus = spc;
    BPB_RsvdSecCnt = rsvd;
    BPB_RootEntCnt = roots;
    BPB_FATSz16 = fatsz;
    num_fats = nfats;
    BS_VolSerial = rd32(b + 0x27);
    memcpy(BS_VolLab, b + 0x2B, 11);
    BS_VolLab[11] = 0;
    _FF_PartitionAddr = part;
    _FF_Fat1Addr = part + rsvd;
    _FF_Fat2Addr = _FF_Fat1Addr + fatsz;
    _FF_RootAddr = part + rsvd + fatsz * nfats;
    root_sectors = (roots * DIR_ENTRY + SECTOR - 1) / SECTOR;
    FirstDataSector = rsvd + fatsz * nfats + root_sectors;
    if (total <= FirstDataSector)
        return 0;
    uint32_t clusters = (total - FirstDataSector) / spc;
    Clus0Counter = 2;
    _FF_BuffAddr = 0;
    uint32_t type;
    if (clusters <= 0xFF4)
        type = '2';
    else if (clusters <= 0xFFF4)
        type = '6';
    else
        return 0;
    // The FAT must have an entry for every cluster.
    uint32_t need = type == '2' ? (clusters + 2) * 3 / 2 + 1 : (clusters + 2) * 2;
    if (need > fatsz * SECTOR)
        return 0;
    DataClusTot = clusters & 0xFFFF;
    max_cluster = clusters + 1;
    BPB_FATType = type;
    _FF_DirAddr = _FF_RootAddr;
    strcpy(_FF_FullPath, "\\");
    reset_handle();
    return 1;
}

namespace fat {

// ---------------------------------------------------------------- names

int valid_file_char(uint8_t c)
{
    if (c < 0x20 || c == 0xE5)
        return 0;
    return strchr("\"*+,./:;<=>?[\\]|", c) == 0;
}

int16_t file_name_conversion(const char* name, char* dst12)
{
    int n = 0;
    memset(dst12, ' ', 11);
    dst12[11] = 0;
    for (int i = 0; i < 14 && name[i] && n < 11; ++i) {
        uint8_t c = (uint8_t)name[i];
        if (c == '.') {
            if (n < 8)
                n = 8;  // pad the name part, continue at the extension
            continue;
        }
        if (!valid_file_char(c)) {
            _FF_error = FF_ERR_NAME;
            return -1;
        }
        dst12[n++] = (char)(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    return 0;
}

void NameFromDirEntry(char* dst13, const uint8_t* entry)
{
    int n = 0;
    for (int i = 0; i < 8; ++i)
        if (entry[i] != ' ')
            dst13[n++] = (char)entry[i];
    dst13[n++] = '.';
    for (int i = 8; i < 11; ++i)
        if (entry[i] != ' ')
            dst13[n++] = (char)entry[i];
    dst13[n] = 0;
}

uint8_t ascii_to_char(char c)
{
    if (c >= '0' && c <= '9')
        return (uint8_t)(c - '0');
    if (c >= 'a' && c <= 'f')
        return (uint8_t)(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return (uint8_t)(c - 'A' + 10);
    return 0xFF;
}

// ---------------------------------------------------------------- directories

static int in_root(uint32_t dir) { return dir == _FF_RootAddr; }

#define DIR_FAILED 0xFFFFFFFFu

// Before a directory is searched or listed, its chain must be sound (the
// root has none).  0 / -1.
static int dir_sound(uint32_t dir)
{
    return in_root(dir) ? 0 : chain_sound(addr_to_clust(dir));
}

// The sector after s in the directory that starts at dir: 0 at the
// directory's end; DIR_FAILED when a FAT entry cannot be read or the chain
// is damaged, which a directory search must never take for its end.
static uint32_t dir_next_sector(uint32_t dir, uint32_t s)
{
    if (in_root(dir))
        return s + 1 < _FF_RootAddr + root_sectors ? s + 1 : 0;
    uint32_t rel = s - _FF_PartitionAddr - FirstDataSector;
    if (rel % BPB_SecPerClus != BPB_SecPerClus - 1)
        return s + 1;
    uint32_t c = addr_to_clust(s);
    ChainWalk w;
    walk_start(&w, c);
    switch (chain_step(&w, c, &c)) {
    case CHAIN_NEXT:
        return clust_to_addr(c);
    case CHAIN_END:
        return 0;
    default:
        return DIR_FAILED;
    }
}

int dir_read_failed(void) { return dir_failed; }

static int entry_is_long_name(const uint8_t* e) { return (e[11] & ATTR_LONG_NAME) == ATTR_LONG_NAME; }

// Makes a new cluster for a full subdirectory whose last sector is last:
// zeroed first, then linked, so a failure leaves the directory as it was.
static uint8_t* grow_directory(uint32_t last)
{
    uint32_t prev = addr_to_clust(last);
    uint32_t c = prev_cluster(0);
    if (c == 0 || prev == 0)
        return 0;
    if (buff_flush() != 0)
        return 0;
    memset(_FF_Buff, 0, SECTOR);
    uint32_t first = clust_to_addr(c);
    for (uint32_t i = 0; i < BPB_SecPerClus; ++i)
        if (_FF_write(first + i, _FF_Buff) != 0)
            return 0;
    _FF_BuffAddr = 0;
    if (write_clus_table(c, end_of_chain(), 1) != 0 || write_clus_table(prev, c, 1) != 0 || buff_flush() != 0)
        return 0;
    if (buff_load(first) != 0)
        return 0;
    _FF_ScanAddr = first;
    return _FF_Buff;
}

uint8_t* scan_directory(const char* name, int mode)
{
    char want[12];
    if (!mounted() || file_name_conversion(name, want) != 0)
        return 0;
    uint32_t dir = _FF_DirAddr;
    uint32_t free_sec = 0, last = 0;
    int free_idx = -1;
    uint32_t limit = in_root(dir) ? BPB_RootEntCnt : 0xFFFFFFFFu;
    uint32_t seen = 0;
    int ended = 0;
    // A directory not read to its end may hold the name: neither "not
    // there" nor a free slot.
    dir_failed = dir_sound(dir) != 0;
    if (dir_failed)
        return 0;
    for (uint32_t s = dir; s != 0 && !ended; s = dir_next_sector(dir, s)) {
        if (s == DIR_FAILED || buff_load(s) != 0) {
            dir_failed = 1;
            return 0;
        }
        last = s;
        _FF_ScanAddr = s;
        for (uint32_t i = 0; i < ENTRIES_PER_SECTOR; ++i, ++seen) {
            if (seen >= limit) {
                ended = 1;
                break;
            }
            uint8_t* e = &_FF_Buff[i * DIR_ENTRY];
            if (e[0] == DIR_END || e[0] == DIR_FREE) {
                if (free_idx < 0) {
                    free_idx = (int)i;
                    free_sec = s;
                }
                if (e[0] == DIR_END) {
                    ended = 1;
                    break;
                }
                continue;
            }
            if (entry_is_long_name(e) || (e[11] & ATTR_VOLUME) || memcmp(e, want, 11) != 0)
                continue;
            int is_dir = (e[11] & ATTR_DIRECTORY) != 0;
            if (mode == 0 && is_dir)
                return e;
            if ((mode == 2 || mode == 3) && !is_dir)
                return e;
            if (mode == 1 && is_dir)
                return 0;
        }
    }
    if (mode == 0 || mode == 2)
        return 0;
    if (free_idx >= 0) {
        if (buff_load(free_sec) != 0)
            return 0;
        _FF_ScanAddr = free_sec;
        return &_FF_Buff[free_idx * DIR_ENTRY];
    }
    if (in_root(dir) || last == 0)
        return 0;  // the root is full
    return grow_directory(last);
}

int16_t _FF_chdir(const char* name)
{
    if (strcmp(name, ".") == 0)
        return 0;
    if (strcmp(name, "..") == 0) {
        if (in_root(_FF_DirAddr))
            return -1;
        if (buff_load(_FF_DirAddr) != 0) {
            dir_failed = 1;
            return -1;
        }
        uint32_t c = rd16(&_FF_Buff[0x3A]);
        if (c > max_cluster)
            return -1;  // a damaged ".." entry
        _FF_DirAddr = c < 2 ? _FF_RootAddr : clust_to_addr(c);
        return 0;
    }
    uint8_t* e = scan_directory(name, 0);
    if (!e)
        return -1;
    uint32_t c = rd16(e + 26);
    if (c < 2 || c > max_cluster)
        return -1;
    _FF_DirAddr = clust_to_addr(c);
    return 0;
}

// Follows the directories of a path; the last component comes back in
// name16 (may be empty).
static int checkdir_bad_name;  // the last _FF_checkdir failed on the name, not a directory

int16_t _FF_checkdir(const char* path, char* name16)
{
    int n = 0;
    checkdir_bad_name = 0;
    if (*path == '\\' || *path == '/') {
        _FF_DirAddr = _FF_RootAddr;
        ++path;
    }
    for (;; ++path) {
        char c = *path;
        if (c == '\\' || c == '/' || c == 0) {
            name16[n] = 0;
            if (c == 0)
                return 0;
            if (n == 0 || _FF_chdir(name16) != 0)
                return -1;
            n = 0;
            continue;
        }
        if ((!valid_file_char((uint8_t)c) && c != '.') || n >= NAME_BUF - 1) {
            // A character no name may hold, or a component longer than
            // any 8.3 name.
            checkdir_bad_name = 1;
            return -1;
        }
        name16[n++] = (char)(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
}

int16_t chdir(const char* path)
{
    dir_failed = 0;
    if (!mounted())
        return -1;
    uint32_t old = _FF_DirAddr;
    char name[NAME_BUF];
    char newpath[sizeof _FF_FullPath];
    strcpy(newpath, _FF_FullPath);
    if (_FF_checkdir(path, name) != 0 || (name[0] && _FF_chdir(name) != 0)) {
        _FF_DirAddr = old;
        return -1;
    }
    // The text of the current directory follows the path.
    const char* p = path;
    if (*p == '\\' || *p == '/') {
        strcpy(newpath, "\\");
        ++p;
    }
    while (*p) {
        char comp[NAME_BUF];
        int n = 0;
        while (*p && *p != '\\' && *p != '/' && n < NAME_BUF - 1) {
            char c = *p++;
            comp[n++] = (char)(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        comp[n] = 0;
        if (*p)
            ++p;
        if (n == 0 || strcmp(comp, ".") == 0)
            continue;
        size_t len = strlen(newpath);
        if (strcmp(comp, "..") == 0) {
            if (len > 1) {
                newpath[len - 1] = 0;
                char* cut = strrchr(newpath, '\\');
                cut[1] = 0;
            }
            continue;
        }
        if (len + (size_t)n + 1 > PATH_MAX_CHARS) {
            _FF_DirAddr = old;  // the text would not fit: stay where we were
            return -1;
        }
        strcat(newpath, comp);
        strcat(newpath, "\\");
    }
    strcpy(_FF_FullPath, newpath);
    return 0;
}

int16_t read_directory_entry(uint8_t* dst32, uint16_t first)
{
    if (first == 0) {
        list_sector = mounted() ? _FF_DirAddr : 0;
        list_index = 0;
        list_count = 0;
        dir_failed = list_sector && dir_sound(list_sector) != 0;
        if (dir_failed)
            list_sector = 0;
    }
    if (list_sector == 0)
        return 0;  // nothing to list, or the listing has ended
    uint32_t dir = _FF_DirAddr;
    for (;;) {
        if (in_root(dir) && list_count >= BPB_RootEntCnt)
            return 0;
        if (list_index >= ENTRIES_PER_SECTOR) {
            uint32_t next = dir_next_sector(dir, list_sector);
            list_index = 0;
            list_sector = next == DIR_FAILED ? 0 : next;
            if (next == DIR_FAILED)
                dir_failed = 1;
            if (list_sector == 0)
                return 0;
        }
        if (buff_load(list_sector) != 0) {
            dir_failed = 1;
            list_sector = 0;
            return 0;
        }
        const uint8_t* e = &_FF_Buff[list_index * DIR_ENTRY];
        ++list_index;
        ++list_count;
        if (e[0] == DIR_END)
            return -1;
        int ok = !entry_is_long_name(e);
        for (int i = 0; i < 11 && ok; ++i)
            ok = valid_file_char(e[i]);
        if (ok) {
            memcpy(dst32, e, DIR_ENTRY);
            return 1;
        }
    }
}

// Marks the long-name entries that belong to the entry at index idx of
// _FF_Buff as deleted (they stand right before it in the same sector);
// a PC would otherwise find orphaned long names.
static void drop_long_name(int idx)
{
    for (int i = idx - 1; i >= 0; --i) {
        uint8_t* e = &_FF_Buff[i * DIR_ENTRY];
        if (e[0] == DIR_FREE || !entry_is_long_name(e))
            break;
        e[0] = DIR_FREE;
    }
}

// Long-name entries of an entry at the top of a sector sit in the sector
// before it (root, or the same cluster).
static int drop_long_name_before(uint32_t sector)
{
    uint32_t prev = sector - 1;
    int root = sector >= _FF_RootAddr && sector < _FF_RootAddr + root_sectors;
    if (root ? sector <= _FF_RootAddr : (sector - _FF_PartitionAddr - FirstDataSector) % BPB_SecPerClus == 0)
        return 0;
    if (buff_load(prev) != 0)
        return -1;
    uint8_t* last = &_FF_Buff[(ENTRIES_PER_SECTOR - 1) * DIR_ENTRY];
    if (last[0] == DIR_FREE || !entry_is_long_name(last))
        return 0;
    drop_long_name(ENTRIES_PER_SECTOR);
    return buff_write_dir();
}

// ---------------------------------------------------------------- files

static FatFile* const H = &_FF_FileSpaceAllocation;

// Deletes entry idx of directory sector `sector` (held in _FF_Buff) with
// its long name, then frees chain.  0, or -1 (_FF_error 3 when a directory
// sector could not be written).
static int16_t delete_entry(uint32_t sector, int idx, uint32_t chain)
{
    _FF_Buff[idx * DIR_ENTRY] = DIR_FREE;
    drop_long_name(idx);
    if (buff_write_dir() != 0 || (idx == 0 && drop_long_name_before(sector) != 0)) {
        _FF_error = FF_ERR_DIR_WRITE;
        return -1;
    }
    return chain >= 2 && erase_clus_chain(chain) != 0 ? -1 : 0;
}

FatFile* _FF_MALLOC(void)
{
    if (H->in_use)
        return 0;
    H->in_use = 1;
    return H;
}

static int handle_ok(FatFile* f) { return f && f == H && f->in_use && mounted(); }

// One two-second step of a FAT time and date stamp.
static void stamp_step(uint8_t* e)
{
    uint32_t t = rd16(e + 22), d = rd16(e + 24);
    uint32_t sec2 = t & 0x1F, min = (t >> 5) & 0x3F, hour = t >> 11;
    uint32_t day = d & 0x1F, month = (d >> 5) & 0x0F, year = d >> 9;
    if (++sec2 > 29) {
        sec2 = 0;
        if (++min > 59) {
            min = 0;
            if (++hour > 23) {
                hour = 0;
                if (++day > 28) {
                    day = 1;
                    if (++month > 12) {
                        month = 1;
                        ++year;
                    }
                }
            }
        }
    }
    if (day == 0)
        day = 1;
    if (month == 0)
        month = 1;
    wr16(e + 22, hour << 11 | min << 5 | sec2);
    wr16(e + 24, (year & 0x7F) << 9 | month << 5 | day);
}

int16_t append_toc(FatFile* f)
{
    if (!handle_ok(f) || buff_load(f->entry_sec_addr) != 0)
        return -1;
    uint8_t* e = &_FF_Buff[f->entry_index * DIR_ENTRY];
    f->file_dir_entry = e;
    wr16(e + 26, f->clus_start);
    wr32(e + 28, f->length);
    stamp_step(e);
    return buff_write_dir() == 0 ? 0 : -1;
}

// Writes the file's sector buffer back when it holds changes.
static int data_flush(FatFile* f)
{
    if (!f->buff_dirty)
        return 0;
    if (_FF_write(f->buff_sector, f->buff) != 0)
        return -1;
    f->buff_dirty = 0;
    return 0;
}

// Brings the sector that holds byte pos into the file's buffer, walking
// (and, when allocate is set, growing) the chain.  0 / -1.
static int data_seek_sector(FatFile* f, uint32_t pos, int allocate)
{
    uint32_t cb = cluster_bytes();
    uint32_t ci = pos / cb;
    if (f->clus_start == 0) {
        if (!allocate)
            return -1;
        uint32_t c = allocate_after(0);
        if (c == 0)
            return -1;
        f->clus_start = f->clus_current = (uint16_t)c;
        f->clus_index = 0;
        f->clus_prev = 0;
        f->clus_next = 0xFFFF;
    }
    if (f->clus_current == 0 || ci < f->clus_index) {
        f->clus_current = f->clus_start;
        f->clus_index = 0;
        f->clus_prev = 0;
    }
    ChainWalk w;
    walk_start(&w, f->clus_current);
    while (f->clus_index < ci) {
        uint32_t v;
        int link = chain_step(&w, f->clus_current, &v);
        if (link == CHAIN_DAMAGED || link == CHAIN_FAILED)
            return -1;
        if (link == CHAIN_END) {
            // A chain that ends inside the file (a cut chain, or a write
            // inside the file past its last cluster) holds no more of it.
            if (pos < f->length) {
                _FF_error = FF_ERR_CHAIN;
                return -1;
            }
            if (!allocate)
                return -1;
            v = allocate_after(f->clus_current);
            if (v == 0)
                return -1;
        }
        f->clus_prev = f->clus_current;
        f->clus_current = (uint16_t)(BPB_FATType == '2' ? v & 0xFFF : v);
        ++f->clus_index;
    }
    f->sec_offset = (uint16_t)((pos % cb) / SECTOR);
    uint32_t sector = clust_to_addr(f->clus_current) + f->sec_offset;
    if (f->buff_sector != sector) {
        if (data_flush(f) != 0)
            return -1;
        f->buff_sector = 0;
        if (pos % SECTOR == 0 && pos >= f->length) {
            memset(f->buff, 0, SECTOR);  // nothing of the file lies there yet
        } else if (_FF_read(sector, f->buff) != 0) {
            return -1;
        }
        f->buff_sector = sector;
    }
    f->pntr = f->buff + pos % SECTOR;
    return 0;
}

static void release(FatFile* f, uint32_t dir)
{
    f->in_use = 0;
    _FF_DirAddr = dir;
}

FatFile* fopen(const char* path, int mode)
{
    dir_failed = 0;
    if (!mounted())
        return 0;
    if (H->in_use) {
        _FF_error = FF_ERR_IN_USE;
        return 0;
    }
    if (mode < FF_READ || mode > FF_APPEND_CONTIGUOUS)
        return 0;
    uint32_t dir = _FF_DirAddr;
    memset(H, 0, sizeof *H);
    H->in_use = 1;
    H->consecutive = mode == FF_APPEND_CONTIGUOUS;
    if (mode == FF_APPEND_CONTIGUOUS)
        mode = FF_APPEND;
    char name[NAME_BUF];
    if (_FF_checkdir(path, name) != 0 || name[0] == 0) {
        release(H, dir);
        return 0;
    }
    uint8_t* e = scan_directory(name, 2);
    if (!e) {
        release(H, dir);
        return 0;
    }
    if (mode != FF_READ && (e[11] & ATTR_READ_ONLY)) {
        _FF_error = FF_ERR_OPEN;
        release(H, dir);
        return 0;
    }
    H->entry_sec_addr = _FF_ScanAddr;
    H->entry_index = (uint16_t)((e - _FF_Buff) / DIR_ENTRY);
    H->file_dir_entry = e;
    H->clus_start = H->clus_current = rd16(e + 26);
    H->length = rd32(e + 28);
    uint32_t first = H->clus_start;
    if (H->length == 0 && first == 0) {
        if (mode == FF_READ) {
            _FF_error = FF_ERR_OPEN;
            release(H, dir);
            return 0;
        }
        mode = FF_WRITE;
    }
    if (mode == FF_WRITE && first != 0) {
        // Truncate: the entry first (a failure then loses no data the
        // entry still points at), then the old chain.
        wr16(e + 26, 0);
        wr32(e + 28, 0);
        if (buff_write_dir() != 0 || erase_clus_chain(first) != 0) {
            release(H, dir);
            return 0;
        }
        H->clus_start = H->clus_current = 0;
        H->length = 0;
    }
    if (mode == FF_READ || mode == FF_APPEND) {
        if (first < 2 || first > max_cluster || chain_sound(first) != 0) {
            release(H, dir);  // a length without a chain, or a damaged one
            return 0;
        }
        H->clus_next = (uint16_t)next_cluster(first, 2);
        if (!NextClusterValidFlag) {
            release(H, dir);
            return 0;
        }
    }
    H->mode = (uint8_t)mode;
    H->pntr = H->buff;
    if (mode == FF_APPEND) {
        if (fseek(H, 0, 1) != 0) {
            release(H, dir);
            return 0;
        }
    } else if (mode == FF_READ) {
        if (data_seek_sector(H, 0, 0) != 0) {
            release(H, dir);
            return 0;
        }
    }
    _FF_error = FF_OK;
    _FF_DirAddr = dir;
    return H;
}

FatFile* fcreate(const char* path, uint8_t attribute)
{
    dir_failed = 0;
    if (!mounted() || H->in_use)
        return 0;
    uint32_t dir = _FF_DirAddr;
    memset(H, 0, sizeof *H);
    H->in_use = 1;
    char name[NAME_BUF];
    if (_FF_checkdir(path, name) != 0) {
        _FF_error = checkdir_bad_name ? FF_ERR_NAME : FF_ERR_PATH;
        release(H, dir);
        return 0;
    }
    if (name[0] == 0) {
        _FF_error = FF_ERR_NAME;
        release(H, dir);
        return 0;
    }
    char conv[12];
    if (file_name_conversion(name, conv) != 0) {
        release(H, dir);
        return 0;
    }
    // A directory of that name stays; no second entry of the same name.
    uint8_t* e = scan_directory(name, 0) ? 0 : scan_directory(name, 3);
    _FF_DirAddr = dir;
    if (!e) {
        release(H, dir);
        return 0;
    }
    uint32_t old_chain = 0;
    if (e[0] == DIR_END || e[0] == DIR_FREE) {
        memset(e, 0, DIR_ENTRY);
        memcpy(e, conv, 11);
        wr16(e + 16, DATE_1980_01_01);  // created 1 January 1980, 00:00:00
    } else {
        if (e[11] & ATTR_READ_ONLY) {
            _FF_error = FF_ERR_READ_ONLY;
            release(H, dir);
            return 0;
        }
        old_chain = rd16(e + 26);
    }
    e[11] = attribute;
    e[12] = 0;
    wr16(e + 18, DATE_1980_01_01);
    wr16(e + 20, 0);
    wr16(e + 22, 0);
    wr16(e + 24, DATE_1980_01_01);
    wr16(e + 26, 0);
    wr32(e + 28, 0);
    H->entry_sec_addr = _FF_ScanAddr;
    H->entry_index = (uint16_t)((e - _FF_Buff) / DIR_ENTRY);
    H->file_dir_entry = e;
    if (buff_write_dir() != 0) {
        _FF_error = FF_ERR_DIR_WRITE;
        release(H, dir);
        return 0;
    }
    if (old_chain >= 2 && erase_clus_chain(old_chain) != 0) {
        release(H, dir);
        return 0;
    }
    H->mode = FF_WRITE;
    H->pntr = H->buff;
    _FF_error = FF_OK;
    return H;
}

int16_t fflush(FatFile* f)
{
    if (!handle_ok(f) || f->mode == FF_READ)
        return -1;
    if (data_flush(f) != 0 || buff_flush() != 0)
        return -1;
    return append_toc(f);
}

int16_t fclose(FatFile* f)
{
    if (!handle_ok(f))
        return -1;
    if (f->mode != FF_READ && fflush(f) != 0)
        return -1;  // still open: the data are not on the card
    f->in_use = 0;
    return 0;
}

int16_t ffreemem(FatFile* f)
{
    if (!f || f != H)
        return -1;
    f->in_use = 0;
    return 0;
}

int16_t fputc_(uint8_t c, FatFile* f)
{
    if (!handle_ok(f))
        return -1;
    if (f->mode == FF_READ) {
        _FF_error = FF_ERR_READ_ONLY;
        return -1;
    }
    if (f->position > f->length) {
        _FF_error = FF_ERR_BEYOND_LENGTH;
        return -1;
    }
    if (f->length == 0xFFFFFFFFu || data_seek_sector(f, f->position, 1) != 0)
        return -1;
    *f->pntr = c;
    f->buff_dirty = 1;
    ++f->position;
    if (f->position > f->length)
        f->length = f->position;
    f->chain_end = f->position % cluster_bytes() == 0;
    if (f->position % SECTOR == 0) {
        // A full sector goes to the card at once; the directory entry
        // follows unless the file is streamed (mode 4).
        if (data_flush(f) != 0)
            return -1;
        if (!f->consecutive && (buff_flush() != 0 || append_toc(f) != 0))
            return -1;
    }
    return c;
}

int16_t fputs(const char* text, FatFile* f)
{
    for (; *text; ++text)
        if (fputc_((uint8_t)*text, f) < 0)
            return -1;
    if (fputc_(0x0D, f) < 0 || fputc_(0x0A, f) < 0)
        return -1;
    return 0;
}

int16_t fwrite(const void* src, int16_t size, int16_t count, FatFile* f)
{
    if (size <= 0 || count <= 0)
        return 0;
    // The first byte that fails ends the write: after a sector the card
    // did not take, the rest would only fail (and be reported) in turn.
    const uint8_t* p = (const uint8_t*)src;
    int32_t total = (int32_t)size * count, good = 0;
    while (good < total && fputc_(p[good], f) >= 0)
        ++good;
    return (int16_t)(good / size);
}

int16_t fprintf(FatFile* f, const char* fmt, ...)
{
    char text[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(text, sizeof text, fmt, ap);  // bounded: a long text is cut, not overrun
    va_end(ap);
    if (n < 0)
        return -1;
    for (int i = 0; text[i]; ++i)
        if (fputc_((uint8_t)text[i], f) < 0)
            return -1;
    return (int16_t)strlen(text);
}

int16_t fgetc_(FatFile* f)
{
    if (!handle_ok(f))
        return -1;
    if (f->position >= f->length) {
        f->EOF_ERR = 9;
        return -1;
    }
    if (data_seek_sector(f, f->position, 0) != 0)
        return -1;
    uint8_t c = *f->pntr;
    ++f->position;
    f->chain_end = f->position % cluster_bytes() == 0;
    return c;
}

int16_t fread(void* dst, int16_t size, int16_t count, FatFile* f)
{
    if (size <= 0 || count <= 0)
        return 0;
    uint8_t* p = (uint8_t*)dst;
    int32_t total = (int32_t)size * count;
    for (int32_t i = 0; i < total; ++i) {
        int16_t c = fgetc_(f);
        if (c < 0)
            return (int16_t)i;
        p[i] = (uint8_t)c;
    }
    return count;
}

int16_t freadChunk(FatFile* f, uint8_t* dst512)
{
    if (!handle_ok(f) || !dst512 || f->position >= f->length || f->position % SECTOR)
        return -1;
    if (data_flush(f) != 0 || data_seek_sector(f, f->position, 0) != 0)
        return -1;
    memcpy(dst512, f->buff, SECTOR);
    uint32_t left = f->length - f->position;
    uint32_t n = left < SECTOR ? left : SECTOR;
    f->position += n;
    f->chain_end = f->position % cluster_bytes() == 0;
    return (int16_t)n;
}

int16_t fseek(FatFile* f, int32_t offset, int origin)
{
    if (!handle_ok(f)) {
        _FF_error = FF_ERR_NO_HANDLE;
        return -1;
    }
    int64_t target;
    if (origin == 0)
        target = (int64_t)f->position + offset;
    else if (origin == 1)
        target = offset < 0 || (uint32_t)offset > f->length ? -1 : (int64_t)f->length - offset;
    else
        target = offset;
    if (target < 0 || target > (int64_t)f->length) {
        _FF_error = FF_ERR_SEEK;
        f->EOF_ERR = 9;
        return -1;
    }
    // Written bytes go to the card first (the directory entry follows at
    // the next sector boundary or at close).
    if (f->mode != FF_READ && (data_flush(f) != 0 || buff_flush() != 0))
        return -1;
    uint32_t t = (uint32_t)target;
    // The chain must reach the target; the end of a file that fills its
    // last cluster lies past that cluster and needs no sector.
    int at_chain_end = t == f->length && t % cluster_bytes() == 0;
    if (!at_chain_end && data_seek_sector(f, t, 0) != 0) {
        _FF_error = FF_ERR_SEEK;
        f->EOF_ERR = 9;
        return -1;
    }
    f->position = t;
    f->chain_end = at_chain_end && t != 0;
    return 0;
}

int16_t fend(FatFile* f) { return fseek(f, 0, 1); }

int32_t ftell(FatFile* f) { return handle_ok(f) ? (int32_t)f->position : -1; }

int16_t feof(FatFile* f)
{
    if (!handle_ok(f))
        return -1;
    return f->position == f->length;
}

uint16_t fgetCluster(FatFile* f) { return f ? f->clus_current : 0; }

int16_t fsetFileSize(FatFile* f, uint32_t length)
{
    if (!f)
        return -1;
    f->length = length;
    if (length == 0)
        f->chain_end = 1;
    return 0;
}

int16_t ungetc(uint8_t c, FatFile* f)
{
    if (!handle_ok(f) || (f->mode != FF_WRITE && f->mode != FF_APPEND))
        return -1;
    if (f->position == 0) {
        _FF_error = FF_ERR_UNGET;
        return -1;
    }
    uint32_t p = f->position - 1;
    if (data_seek_sector(f, p, 0) != 0)
        return -1;
    *f->pntr = c;
    f->buff_dirty = 1;
    f->position = p;
    return c;
}

char* fgets(char* dst, int n, FatFile* f)
{
    if (n <= 0)
        return 0;
    int i = 0;
    while (i < n - 1) {
        int16_t c = fgetc_(f);
        if (c < 0)
            break;
        dst[i++] = (char)c;
        if (c == 0x0A)
            break;
    }
    dst[i] = 0;
    return i ? dst : 0;
}

int16_t fwriteChunkToContiguousFile(FatFile* f, const uint8_t* src, uint16_t n)
{
    // Through the FAT like every other write: a chain that is not
    // contiguous is followed rather than overwritten.
    if (n > SECTOR)
        return -1;
    for (uint16_t i = 0; i < n; ++i)
        if (fputc_(src[i], f) < 0)
            return -1;
    return (int16_t)n;
}

int16_t remove(const char* path)
{
    dir_failed = 0;
    if (!mounted())
        return -1;
    uint32_t dir = _FF_DirAddr;
    char name[NAME_BUF];
    int16_t r = -1;
    if (_FF_checkdir(path, name) != 0) {
        _FF_error = checkdir_bad_name ? FF_ERR_NAME : FF_ERR_PATH;
    } else if (name[0] == 0) {
        _FF_error = FF_ERR_NAME;
    } else {
        uint8_t* e = scan_directory(name, 2);
        if (!e && !dir_failed)
            _FF_error = FF_ERR_NOT_FOUND;
        else if (e)
            r = delete_entry(_FF_ScanAddr, (int)((e - _FF_Buff) / DIR_ENTRY), rd16(e + 26));
    }
    _FF_DirAddr = dir;
    return r;
}

int16_t fdiscard(FatFile* f)
{
    if (!f || f != H || !f->in_use)
        return -1;
    f->in_use = 0;
    if (!mounted() || f->mode == FF_READ)
        return -1;
    // The handle knows the chain even where the entry does not yet (the
    // entry follows at sector boundaries); the FAT goes to the card first.
    if (buff_flush() != 0 || buff_load(f->entry_sec_addr) != 0)
        return -1;
    return delete_entry(f->entry_sec_addr, f->entry_index, f->clus_start);
}

int16_t rename(const char* old_name, const char* new_name)
{
    char conv[12];
    if (!mounted() || file_name_conversion(new_name, conv) != 0)
        return -1;
    if (scan_directory(new_name, 2) || scan_directory(new_name, 0)) {
        _FF_error = FF_ERR_NAME_TAKEN;
        return -1;
    }
    uint8_t* e = scan_directory(old_name, 2);
    if (!e) {
        _FF_error = FF_ERR_NOT_FOUND;
        return -1;
    }
    uint32_t sector = _FF_ScanAddr;
    int idx = (int)((e - _FF_Buff) / DIR_ENTRY);
    memcpy(e, conv, 11);
    drop_long_name(idx);  // the old long name would no longer match
    if (buff_write_dir() != 0)
        return -1;
    if (idx == 0 && drop_long_name_before(sector) != 0)
        return -1;
    return 0;
}

int16_t fget_file_info(const char* path, char* created, char* modified, uint32_t* size, uint8_t* attribute)
{
    uint32_t dir = _FF_DirAddr;
    char name[NAME_BUF];
    uint8_t* e = 0;
    if (mounted() && _FF_checkdir(path, name) == 0 && name[0])
        e = scan_directory(name, 2);
    _FF_DirAddr = dir;
    if (!e)
        return -1;
    uint32_t ct = rd16(e + 14), cd = rd16(e + 16), mt = rd16(e + 22), md = rd16(e + 24);
    if (created)
        sprintf(created, "%02d/%02d/%04d %02d:%02d:%02d", (int)((cd >> 5) & 15), (int)(cd & 31), (int)(1980 + (cd >> 9)),
                (int)(ct >> 11), (int)((ct >> 5) & 63), (int)(2 * (ct & 31)));
    if (modified)
        sprintf(modified, "%02d/%02d/%04d %02d:%02d:%02d", (int)((md >> 5) & 15), (int)(md & 31), (int)(1980 + (md >> 9)),
                (int)(mt >> 11), (int)((mt >> 5) & 63), (int)(2 * (mt & 31)));
    if (size)
        *size = rd32(e + 28);
    if (attribute)
        *attribute = e[11];
    return 0;
}

int16_t mkdir(const char* path)
{
    if (!mounted())
        return -1;
    uint32_t dir = _FF_DirAddr;
    char name[NAME_BUF], conv[12];
    if (_FF_checkdir(path, name) != 0 || name[0] == 0 || file_name_conversion(name, conv) != 0) {
        _FF_DirAddr = dir;
        return -1;
    }
    uint32_t parent = _FF_DirAddr;
    if (scan_directory(name, 2)) {
        _FF_error = FF_ERR_NAME_TAKEN;  // a file of that name
        _FF_DirAddr = dir;
        return -1;
    }
    uint8_t* e = scan_directory(name, 1);
    if (!e || (e[0] != DIR_END && e[0] != DIR_FREE)) {
        _FF_error = FF_ERR_NAME_TAKEN;  // a file or a directory of that name
        _FF_DirAddr = dir;
        return -1;
    }
    uint32_t entry_sec = _FF_ScanAddr;
    uint32_t entry_idx = (uint32_t)((e - _FF_Buff) / DIR_ENTRY);
    uint32_t c = allocate_after(0);
    if (c == 0) {
        _FF_DirAddr = dir;
        return -1;
    }
    // The new directory's sectors: "." and ".." first, then zeros.
    uint8_t* b = _FF_Buff;
    buff_flush();
    memset(b, 0, SECTOR);
    memset(b, ' ', 11);
    b[0] = '.';
    b[11] = ATTR_DIRECTORY;
    wr16(b + 24, DATE_1980_01_01);
    wr16(b + 18, DATE_1980_01_01);
    wr16(b + 16, DATE_1980_01_01);
    wr16(b + 26, c);
    memcpy(b + 32, b, 32);
    b[33] = '.';
    wr16(b + 32 + 26, in_root(parent) ? 0 : addr_to_clust(parent));
    uint32_t first = clust_to_addr(c);
    int ok = _FF_write(first, b) == 0;
    memset(b, 0, SECTOR);
    for (uint32_t i = 1; i < BPB_SecPerClus && ok; ++i)
        ok = _FF_write(first + i, b) == 0;
    _FF_BuffAddr = 0;
    if (ok && buff_load(entry_sec) == 0) {
        e = &_FF_Buff[entry_idx * DIR_ENTRY];
        memset(e, 0, DIR_ENTRY);
        memcpy(e, conv, 11);
        e[11] = ATTR_DIRECTORY;
        wr16(e + 16, DATE_1980_01_01);
        wr16(e + 18, DATE_1980_01_01);
        wr16(e + 24, DATE_1980_01_01);
        wr16(e + 26, c);
        ok = buff_write_dir() == 0;
    } else {
        ok = 0;
    }
    if (!ok)
        erase_clus_chain(c);
    _FF_DirAddr = dir;
    return ok ? 0 : -1;
}

int16_t rmdir(const char* path)
{
    if (!mounted())
        return -1;
    uint32_t dir = _FF_DirAddr;
    char name[NAME_BUF];
    if (_FF_checkdir(path, name) != 0 || name[0] == 0) {
        _FF_DirAddr = dir;
        return -1;
    }
    uint8_t* e = scan_directory(name, 0);
    if (!e) {
        _FF_DirAddr = dir;
        return -1;
    }
    uint32_t sector = _FF_ScanAddr, idx = (uint32_t)((e - _FF_Buff) / DIR_ENTRY);
    uint32_t c = rd16(e + 26);
    // Only an empty directory goes ("." and ".." aside).
    uint32_t keep = _FF_DirAddr;
    _FF_DirAddr = clust_to_addr(c);
    uint8_t entry[32];
    int16_t r;
    int empty = 1;
    for (r = read_directory_entry(entry, 0); r == 1; r = read_directory_entry(entry, 1))
        if (!(entry[11] & ATTR_VOLUME)) {
            empty = 0;
            break;
        }
    _FF_DirAddr = keep;
    if (!empty || r == 0 || buff_load(sector) != 0) {
        _FF_DirAddr = dir;
        return -1;
    }
    _FF_Buff[idx * DIR_ENTRY] = DIR_FREE;
    drop_long_name((int)idx);
    int ok = buff_write_dir() == 0 && (c < 2 || erase_clus_chain(c) == 0);
    _FF_DirAddr = dir;
    return ok ? 0 : -1;
}

FatFile* fcreate_contig_file(const char* path, uint32_t size, uint8_t attribute)
{
    FatFile* f = fcreate(path, attribute);
    if (!f)
        return 0;
    // Claims the clusters by writing the file's bytes (zeros), so the
    // directory entry and the chain agree at every moment.
    for (uint32_t i = 0; i < size; ++i)
        if (fputc_(0, f) < 0) {
            uint32_t chain = f->clus_start;
            f->in_use = 0;
            if (chain >= 2)
                erase_clus_chain(chain);
            remove(path);
            return 0;
        }
    if (fseek(f, 0, 2) != 0) {
        f->in_use = 0;
        return 0;
    }
    return f;
}

// Copies the first FAT over the others.
int16_t clear_second_FAT(void)
{
    if (!mounted() || buff_flush() != 0)
        return -1;
    for (uint32_t s = 0; s < BPB_FATSz16; ++s) {
        if (buff_load(_FF_Fat1Addr + s) != 0)
            return -1;
        for (uint32_t k = 1; k < num_fats; ++k)
            if (_FF_write(_FF_Fat1Addr + s + k * BPB_FATSz16, _FF_Buff) != 0)
                return -1;
        _FF_BuffAddr = 0;
    }
    return 1;
}

int16_t fquickformat(void)
{
    if (!mounted() || H->in_use)
        return -1;
    buff_dirty = 0;
    memset(_FF_Buff, 0, SECTOR);
    for (uint32_t k = 0; k < num_fats; ++k)
        for (uint32_t s = 0; s < BPB_FATSz16; ++s) {
            uint32_t sec = _FF_Fat1Addr + k * BPB_FATSz16 + s;
            if (s == 0) {
                _FF_Buff[0] = 0xF8;
                _FF_Buff[1] = 0xFF;
                _FF_Buff[2] = 0xFF;
                _FF_Buff[3] = BPB_FATType == '6' ? 0xFF : 0x00;
            }
            int r = _FF_write(sec, _FF_Buff);
            memset(_FF_Buff, 0, 4);
            if (r != 0) {
                _FF_error = FF_ERR_DIR_WRITE;
                return -1;
            }
        }
    for (uint32_t s = 0; s < root_sectors; ++s)
        if (_FF_write(_FF_RootAddr + s, _FF_Buff) != 0) {
            _FF_error = FF_ERR_DIR_WRITE;
            return -1;
        }
    _FF_BuffAddr = 0;
    if (initialize_media())
        SDhotplugInitialized();
    else
        SDhotplugFailedToInit();
    return 0;
}

}  // namespace fat
