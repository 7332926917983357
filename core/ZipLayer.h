#pragma once

#include <QString>
#include <cstdint>

// Reading zip archives and unpacking their items into files, behind a small handle-based interface.
// Every call returns a result code; nothing is logged or shown here.
//
// Unpacking never writes outside the base folder: a relative destination that would leave it (".."
// steps), symbolic-link items and folders under the base folder that are symbolic links are refused.
// Zip bombs are bounded: an item larger than kUnzipItemLimit bytes, or an item that would take the bytes
// unpacked through one handle past kUnzipTotalLimit, is refused before anything is written.

using ZipResult = uint32_t;
constexpr ZipResult ZIP_OK = 0;
constexpr ZipResult ZIP_ERR_FILE = 0x200; // archive cannot be opened / output file cannot be created
constexpr ZipResult ZIP_ERR_WRITE = 0x400; // writing the output file failed
constexpr ZipResult ZIP_ERR_EXTRA_FIELD = 0x700; // the item's local extra field cannot be read
constexpr ZipResult ZIP_ERR_LOCAL_HEADER = 0x800; // the item's headers cannot be positioned on or read
constexpr ZipResult ZIP_ERR_PASSWORD = 0x1000; // encrypted item without a usable password
constexpr ZipResult ZIP_ERR_ARGS = 0x10000; // no handle, or an item index out of range
constexpr ZipResult ZIP_ERR_NOT_UNZIP = 0x80000; // the handle was not opened for unzipping
constexpr ZipResult ZIP_ERR_DATA = 0x5000000; // decompression failed, data ended early, or too large

// Windows-style file attributes of an item.
constexpr uint32_t ZIP_ATTR_READONLY = 0x01;
constexpr uint32_t ZIP_ATTR_HIDDEN = 0x02;
constexpr uint32_t ZIP_ATTR_SYSTEM = 0x04;
constexpr uint32_t ZIP_ATTR_DIRECTORY = 0x10;
constexpr uint32_t ZIP_ATTR_ARCHIVE = 0x20;

// Largest item that is unpacked (the stations file is a few megabytes, skin images far less), and the
// most bytes unpacked through one handle in all.
constexpr uint64_t kUnzipItemLimit = 64ull << 20;
constexpr uint64_t kUnzipTotalLimit = 256ull << 20;

// Names longer than this are cut.
constexpr int kZipMaxName = 259;

// Times are FILETIME values: 100 ns units since 1601-01-01 UTC; 0 means unknown.
using ZipFileTime = uint64_t;

struct ZipEntry {
    int index = 0; // the item's index; the number of items for a query of index -1
    QString name; // path inside the archive, cleaned of drives, leading separators and inner ".."
    uint32_t attributes = 0; // ZIP_ATTR_* bits
    ZipFileTime accessTime = 0;
    ZipFileTime creationTime = 0;
    ZipFileTime modificationTime = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
};

struct UnzipState;

// kind 1 is an archive opened for unzipping, the only kind OpenZip creates.
struct ZipHandle {
    int kind = 0;
    UnzipState* state = nullptr;
};

// Opens an archive for reading and sets the base folder to the current folder. Null on failure.
ZipHandle* OpenZip(const QString& archivePath, const char* password = nullptr);
// Index -1 gives the number of items in entry->index; 0 .. count-1 fills the whole entry.
ZipResult GetZipItem(ZipHandle* handle, int index, ZipEntry* entry);
// The folder under which relative destinations are unpacked; a trailing separator is added when missing.
void SetUnzipBaseDir(ZipHandle* handle, const QString& folder);
// Unpacks item index to destination: relative destinations go under the base folder, a destination that
// starts with a slash or backslash is used as it stands. Folder items create their folders; a file item
// needs a destination that names a file (one ending in a separator gives ZIP_ERR_FILE).
ZipResult UnzipItem(ZipHandle* handle, int index, const QString& destination);
// Closes the archive and frees the handle.
ZipResult CloseZip(ZipHandle* handle);

// Lowers the size limits of one handle (callers that know their items are small, and tests).
void SetUnzipLimits(ZipHandle* handle, uint64_t itemLimit, uint64_t totalLimit);

// Helpers with the zip format's own rules, used by the layer and its tests.
QString CleanZipItemName(QString name);
// A DOS date and time taken as local time; 0 for an impossible date.
ZipFileTime DosDateTimeToFileTime(uint16_t date, uint16_t time);
ZipFileTime FileTimeFromUnixTime(int64_t seconds);
int64_t UnixTimeFromFileTime(ZipFileTime time);
