// FAT12/FAT16 file system on the SD card: one volume, one open file, one
// current directory, 8.3 names, every transfer one 512-byte sector through
// the card driver.
//
// The file operations carry the C library's names (fopen, fread, remove,
// ...), so they live in namespace fat and replace nothing of the host's or
// the toolchain's C library.
#pragma once

#include <stdint.h>

// Mounts the card's volume: 1 mounted, 0 refused.
int initialize_media(void);

namespace fat {

// Error codes left in _FF_error.
enum {
    FF_OK = 0,
    FF_ERR_NO_HANDLE = 2,
    FF_ERR_DIR_WRITE = 3,
    FF_ERR_NAME = 4,
    FF_ERR_READ_ONLY = 5,
    FF_ERR_UNGET = 6,
    FF_ERR_IN_USE = 8,
    FF_ERR_SEEK = 9,
    FF_ERR_OPEN = 10,
    FF_ERR_PATH = 13,
    FF_ERR_NOT_FOUND = 14,
    FF_ERR_NAME_TAKEN = 15,
    FF_ERR_BEYOND_LENGTH = 16,
    // A cluster chain that ends before the file does (read or written
    // there), or a damaged one: it loops or leaves the data area.
    FF_ERR_CHAIN = 32,
};

// Open modes.
enum { FF_READ = 1, FF_WRITE = 2, FF_APPEND = 3, FF_APPEND_CONTIGUOUS = 4 };

// Directory-entry attributes.
enum { ATTR_READ_ONLY = 0x01, ATTR_HIDDEN = 0x02, ATTR_SYSTEM = 0x04, ATTR_VOLUME = 0x08, ATTR_DIRECTORY = 0x10,
       ATTR_ARCHIVE = 0x20, ATTR_LONG_NAME = 0x0F };

// The one open-file object.
struct FatFile {
    uint16_t clus_start;    // first cluster (0: none yet)
    uint16_t clus_current;  // cluster that holds the position
    uint16_t clus_next;     // FAT entry of the current cluster
    uint16_t clus_prev;
    uint16_t sec_offset;    // sector index within the current cluster
    uint32_t entry_sec_addr;  // sector that holds the directory entry
    uint8_t* file_dir_entry;  // the entry inside _FF_Buff (valid only right after a search)
    uint8_t buff[512];        // the file's current sector
    uint32_t length;
    uint32_t position;
    uint8_t* pntr;            // next byte in buff
    uint8_t mode;
    uint8_t EOF_ERR;          // 9 after a read at the end or a refused seek
    uint8_t chain_end;        // the position stands past the last cluster's end
    uint8_t in_use;
    uint8_t consecutive;      // opened with mode 4
    // Bookkeeping of this implementation.
    uint16_t entry_index;     // entry within the directory sector (0-15)
    uint16_t clus_index;      // index of clus_current in the chain
    uint32_t buff_sector;     // absolute sector held in buff, 0 = none
    uint8_t buff_dirty;
};
typedef FatFile FatFileHandle;

// Volume state.
extern uint32_t _FF_PartitionAddr;
extern uint32_t BPB_SecPerClus, BPB_RsvdSecCnt, BPB_RootEntCnt, BPB_FATSz16;
extern uint32_t _FF_Fat1Addr, _FF_Fat2Addr, _FF_RootAddr, FirstDataSector;
extern uint32_t DataClusTot;
extern uint32_t BPB_FATType;  // '2' FAT12, '6' FAT16, 0 refused
extern uint32_t BS_VolSerial;
extern char BS_VolLab[12];
extern uint32_t Clus0Counter;
extern uint32_t _FF_DirAddr;
extern char _FF_FullPath[50];
extern uint32_t _FF_ScanAddr;
extern uint8_t _FF_Buff[512];
extern uint32_t _FF_BuffAddr;
extern uint32_t NextClusterValidFlag;
extern int32_t _FF_error;
extern FatFile _FF_FileSpaceAllocation;

// Sector access.
int _FF_read(uint32_t sector, uint8_t* buffer);
int _FF_write(uint32_t sector, const uint8_t* buffer);

// Files and directories (paths relative to the current directory unless
// they start with "\" or "/").
FatFile* fopen(const char* path, int mode);
FatFile* fcreate(const char* path, uint8_t attribute);
int16_t fclose(FatFile* f);
int16_t fflush(FatFile* f);
int16_t fputc_(uint8_t c, FatFile* f);
int16_t fputs(const char* text, FatFile* f);
int16_t fwrite(const void* src, int16_t size, int16_t count, FatFile* f);
int16_t fgetc_(FatFile* f);
int16_t fread(void* dst, int16_t size, int16_t count, FatFile* f);
int16_t freadChunk(FatFile* f, uint8_t* dst512);
int16_t fseek(FatFile* f, int32_t offset, int origin);
int16_t remove(const char* path);
int16_t chdir(const char* path);
int16_t read_directory_entry(uint8_t* dst32, uint16_t first);
// 1 when the last directory search (of fopen, fcreate, chdir, ...) or the
// last read_directory_entry stopped because a sector or a FAT entry could
// not be read or the directory's chain is damaged, rather than at the
// directory's end; 0 otherwise.
int dir_read_failed(void);
// Gives up a file being written that did not come out whole: its
// directory entry and its clusters are freed, so that no partial file
// stays on the card, and the handle is released.  0 / -1 (the handle is
// released either way; on -1 the card could not be changed).
int16_t fdiscard(FatFile* f);
void NameFromDirEntry(char* dst13, const uint8_t* entry);

// Available helpers.
int16_t fsetFileSize(FatFile* f, uint32_t length);
int16_t ffreemem(FatFile* f);
int32_t ftell(FatFile* f);
int16_t feof(FatFile* f);
uint16_t fgetCluster(FatFile* f);
FatFile* _FF_MALLOC(void);
uint8_t ascii_to_char(char c);
uint32_t clust_to_addr(uint32_t cluster);
int16_t fwriteChunkToContiguousFile(FatFile* f, const uint8_t* src, uint16_t n);
uint16_t available_clusters(void);
int16_t fend(FatFile* f);
int16_t ungetc(uint8_t c, FatFile* f);
char* fgets(char* dst, int n, FatFile* f);
int16_t clear_second_FAT(void);
int16_t rmdir(const char* path);
int16_t mkdir(const char* path);
int16_t fprintf(FatFile* f, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int16_t fget_file_info(const char* path, char* created, char* modified, uint32_t* size, uint8_t* attribute);
int16_t rename(const char* old_name, const char* new_name);
FatFile* fcreate_contig_file(const char* path, uint32_t size, uint8_t attribute);
int16_t fquickformat(void);

// Internal operations, visible for tests.
int16_t _FF_checkdir(const char* path, char* name16);
int16_t _FF_chdir(const char* name);
uint8_t* scan_directory(const char* name, int mode);
int16_t file_name_conversion(const char* name, char* dst12);
int valid_file_char(uint8_t c);
int16_t append_toc(FatFile* f);
uint32_t next_cluster(uint32_t cluster, int mode);
int16_t write_clus_table(uint32_t cluster, uint32_t value, int mode);
uint32_t prev_cluster(uint32_t cluster);
int16_t erase_clus_chain(uint32_t cluster);
uint32_t addr_to_clust(uint32_t sector);

}  // namespace fat
