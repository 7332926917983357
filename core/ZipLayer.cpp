#include "core/ZipLayer.h"
#include "core/RegularFile.h"
#include "core/ZipItemReader.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTime>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <minizip/ioapi.h>
#include <minizip/unzip.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

struct UnzipState {
    unzFile archive = nullptr;
    int openItem = -1; // item whose data is open; every call closes it before it returns
    int cursor = 0; // index of the archive's current item
    int itemCount = 0;
    ZipEntry cachedEntry;
    int cachedIndex = -1;
    std::optional<QByteArray> password;
    std::vector<char> buffer; // output buffer, allocated at the first unpacking
    QString baseFolder; // always ends in a separator
    uint64_t itemLimit = kUnzipItemLimit;
    uint64_t totalLimit = kUnzipTotalLimit;
    uint64_t unpackedBytes = 0;
};

namespace
{

constexpr int kHandleKindUnzip = 1;
constexpr size_t kUnzipBufferSize = 16384;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr uint16_t kExtendedTimestampId = 0x5455; // "UT"

// The platform-independent half of the external attributes: hosts whose low byte holds DOS attributes.
bool IsDosHost(unsigned long versionMadeBy)
{
    const unsigned host = (versionMadeBy >> 8) & 0xFF;
    return host == 0 || host == 7 || host == 11 || host == 14;
}

bool IsSymbolicLink(const unz_file_info64& info)
{
    constexpr unsigned long kTypeMask = 0170000, kSymbolicLink = 0120000;
    return !IsDosHost(info.version) && ((info.external_fa >> 16) & kTypeMask) == kSymbolicLink;
}

uint32_t AttributesOf(const unz_file_info64& info)
{
    if (IsDosHost(info.version))
        return uint32_t(info.external_fa
            & (ZIP_ATTR_READONLY | ZIP_ATTR_HIDDEN | ZIP_ATTR_SYSTEM | ZIP_ATTR_DIRECTORY | ZIP_ATTR_ARCHIVE));
    uint32_t attributes = ZIP_ATTR_ARCHIVE;
    if (!(info.external_fa & 0x00800000))
        attributes |= ZIP_ATTR_READONLY;
    if (info.external_fa & 0x40000000)
        attributes |= ZIP_ATTR_DIRECTORY;
    return attributes;
}

uint16_t ReadLe16(const unsigned char* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

int32_t ReadLe32(const unsigned char* p)
{
    return int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}

// Takes the times of the first extended-timestamp block of a local extra field.
void ApplyExtendedTimestamp(const std::vector<unsigned char>& field, ZipEntry* entry)
{
    const size_t end = field.size();
    if (end <= 4)
        return;
    for (size_t block = 0; block + 4 < end;) {
        const uint16_t id = ReadLe16(&field[block]);
        const size_t size = ReadLe16(&field[block + 2]);
        if (id != kExtendedTimestampId) {
            block += 4 + size;
            continue;
        }
        const size_t blockEnd = std::min(end, block + 4 + size);
        const unsigned flags = field[block + 4];
        size_t at = block + 5;
        ZipFileTime* targets[] = { &entry->modificationTime, &entry->accessTime, &entry->creationTime };
        for (unsigned bit = 0; bit < 3; ++bit) {
            if (!(flags & (1u << bit)))
                continue;
            if (at + 4 > blockEnd)
                break;
            *targets[bit] = FileTimeFromUnixTime(ReadLe32(&field[at]));
            at += 4;
        }
        return;
    }
}

void CloseOpenItem(UnzipState* state)
{
    if (state->openItem >= 0) {
        unzCloseCurrentFile(state->archive);
        state->openItem = -1;
    }
}

bool StepCursorTo(UnzipState* state, int index)
{
    if (state->cursor > index) {
        if (unzGoToFirstFile(state->archive) != UNZ_OK) {
            state->cursor = INT_MAX; // lost: the next step starts from the first item again
            return false;
        }
        state->cursor = 0;
    }
    while (state->cursor < index) {
        if (unzGoToNextFile(state->archive) != UNZ_OK) {
            state->cursor = INT_MAX;
            return false;
        }
        ++state->cursor;
    }
    return true;
}

// Reads the central-directory record and the local extra field of the item under the cursor.
ZipResult ReadCurrentEntry(UnzipState* state, int index, ZipEntry* entry, unz_file_info64* info)
{
    if (unzGetCurrentFileInfo64(state->archive, info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return ZIP_ERR_LOCAL_HEADER;
    QByteArray rawName(int(info->size_filename), '\0');
    if (unzGetCurrentFileInfo64(state->archive, info, rawName.data(), uLong(rawName.size()), nullptr, 0, nullptr, 0)
        != UNZ_OK)
        return ZIP_ERR_LOCAL_HEADER;
    if (const qsizetype end = rawName.indexOf('\0'); end >= 0) // the name ends at its first NUL
        rawName.truncate(end);

    // The local header is opened raw: it only has to be found, not decrypted or inflated.
    if (unzOpenCurrentFile2(state->archive, nullptr, nullptr, 1) != UNZ_OK)
        return ZIP_ERR_LOCAL_HEADER;
    state->openItem = index;
    std::vector<unsigned char> extra;
    const int extraSize = unzGetLocalExtrafield(state->archive, nullptr, 0);
    if (extraSize < 0) {
        CloseOpenItem(state);
        return ZIP_ERR_EXTRA_FIELD;
    }
    extra.resize(size_t(extraSize));
    if (extraSize > 0 && unzGetLocalExtrafield(state->archive, extra.data(), unsigned(extraSize)) != extraSize) {
        CloseOpenItem(state);
        return ZIP_ERR_EXTRA_FIELD;
    }
    CloseOpenItem(state);

    ZipEntry result;
    result.index = index;
    result.name = CleanZipItemName(QString::fromUtf8(rawName).left(kZipMaxName));
    result.attributes = AttributesOf(*info);
    const ZipFileTime dosTime = DosDateTimeToFileTime(uint16_t(info->dosDate >> 16), uint16_t(info->dosDate));
    result.accessTime = result.creationTime = result.modificationTime = dosTime;
    ApplyExtendedTimestamp(extra, &result);
    result.compressedSize = uint32_t(info->compressed_size);
    result.uncompressedSize = uint32_t(info->uncompressed_size);
    *entry = result;
    return ZIP_OK;
}

ZipResult ReadEntry(UnzipState* state, int index, ZipEntry* entry, unz_file_info64* info)
{
    if (!StepCursorTo(state, index))
        return ZIP_ERR_LOCAL_HEADER;
    const ZipResult result = ReadCurrentEntry(state, index, entry, info);
    if (result == ZIP_OK) {
        state->cachedEntry = *entry;
        state->cachedIndex = index;
    }
    return result;
}

bool IsAbsoluteDestination(const QString& path)
{
    return path.startsWith(u'/');
}

// Creates every folder of relative (a path with '/' separators) under base, never through a symbolic
// link and never outside base. The base folder itself is created when missing.
bool EnsureDirectoryInside(const QString& base, const QString& relative)
{
    QDir().mkpath(base);
    QString path = base;
    const QStringList parts = relative.split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == u"." || part == u"..")
            return false;
        if (!path.endsWith(u'/'))
            path += u'/';
        path += part;
        const QByteArray native = QFile::encodeName(path);
        struct stat info;
        if (lstat(native.constData(), &info) != 0) {
            if (errno != ENOENT || (mkdir(native.constData(), 0777) != 0 && errno != EEXIST))
                return false;
            if (lstat(native.constData(), &info) != 0)
                return false;
        }
        if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode))
            return false;
    }
    return true;
}

// The path below base that destination names, or nothing when it would leave base.
std::optional<QString> RelativeInsideBase(const QString& destination)
{
    const QString cleaned = QDir::cleanPath(destination);
    if (cleaned == u".")
        return QString();
    if (cleaned == u".." || cleaned.startsWith(u"../") || cleaned.startsWith(u'/'))
        return std::nullopt;
    return cleaned;
}

timespec TimespecOf(ZipFileTime time)
{
    timespec result {};
    if (time == 0) {
        result.tv_nsec = UTIME_OMIT;
        return result;
    }
    const int64_t units = int64_t(time) - kSecondsFrom1601To1970 * 10000000;
    int64_t seconds = units / 10000000;
    int64_t rest = units % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    result.tv_sec = time_t(seconds);
    result.tv_nsec = long(rest * 100);
    return result;
}

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Creates the output file anew; an existing file (or a symbolic link) at that place is replaced.
int CreateOutputFile(const QByteArray& path)
{
    struct stat info;
    if (lstat(path.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return -1;
        unlink(path.constData());
    }
    return open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

ZipResult CopyItemData(CZipItemReader& reader, std::vector<char>& buffer, int fd, uint64_t expected)
{
    uint64_t total = 0;
    for (;;) {
        const int got = reader.Read(buffer.data(), unsigned(buffer.size()));
        if (got < 0)
            return ZIP_ERR_DATA;
        if (got == 0)
            break;
        total += uint64_t(got);
        if (total > expected)
            return ZIP_ERR_DATA;
        if (!WriteAll(fd, buffer.data(), size_t(got)))
            return ZIP_ERR_WRITE;
    }
    if (total != expected || !reader.Finish())
        return ZIP_ERR_DATA;
    return ZIP_OK;
}

void ApplyTimesAndAttributes(int fd, const ZipEntry& entry)
{
    const timespec times[2] = { TimespecOf(entry.accessTime), TimespecOf(entry.modificationTime) };
    futimens(fd, times);
    if (entry.attributes & ZIP_ATTR_READONLY) {
        struct stat fileInfo;
        if (fstat(fd, &fileInfo) == 0)
            fchmod(fd, fileInfo.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH));
    }
}

ZipResult UnzipFileItem(
    UnzipState* state, int index, const ZipEntry& entry, const unz_file_info64& info, const QString& outputPath)
{
    if (info.compression_method != 0 && info.compression_method != Z_DEFLATED)
        return ZIP_ERR_DATA;
    if (info.uncompressed_size > state->itemLimit
        || info.uncompressed_size > state->totalLimit - std::min(state->totalLimit, state->unpackedBytes))
        return ZIP_ERR_DATA;

    // The data is opened (and a password checked) before the output file is made, so that a refused
    // item leaves no empty file behind.
    CZipItemReader reader(state->archive, info);
    switch (reader.Open(state->password ? &*state->password : nullptr)) {
    case CZipItemReader::OpenResult::ok:
        break;
    case CZipItemReader::OpenResult::wrongPassword:
        return ZIP_ERR_PASSWORD;
    case CZipItemReader::OpenResult::badHeader:
        return ZIP_ERR_LOCAL_HEADER;
    }
    state->openItem = index;
    const int fd = CreateOutputFile(QFile::encodeName(outputPath));
    if (fd < 0) {
        state->openItem = -1;
        return ZIP_ERR_FILE;
    }
    if (state->buffer.empty())
        state->buffer.resize(kUnzipBufferSize);
    ZipResult result = CopyItemData(reader, state->buffer, fd, info.uncompressed_size);
    state->openItem = -1;
    if (result == ZIP_OK) {
        state->unpackedBytes += info.uncompressed_size;
        ApplyTimesAndAttributes(fd, entry);
    }
    if (close(fd) != 0 && result == ZIP_OK)
        result = ZIP_ERR_WRITE;
    return result;
}

} // namespace

QString CleanZipItemName(QString name)
{
    static const QString steps[]
        = { QStringLiteral("\\..\\"), QStringLiteral("\\../"), QStringLiteral("/../"), QStringLiteral("/..\\") };
    for (bool changed = true; changed;) {
        changed = false;
        if (name.size() >= 2 && name[1] == u':') {
            name.remove(0, 2);
            changed = true;
        }
        if (name.startsWith(u'\\') || name.startsWith(u'/')) {
            name.remove(0, 1);
            changed = true;
        }
        for (const QString& step : steps) {
            const qsizetype at = name.indexOf(step);
            if (at >= 0) {
                name.remove(0, at + step.size());
                changed = true;
                break;
            }
        }
    }
    return name;
}

ZipFileTime DosDateTimeToFileTime(uint16_t date, uint16_t time)
{
    const QDate day(1980 + (date >> 9), (date >> 5) & 15, date & 31);
    const int hour = (time >> 11) & 31, minute = (time >> 5) & 63, second = 2 * (time & 31);
    if (!day.isValid() || !QTime::isValid(hour, minute, second, 0))
        return 0;
    const QDateTime local(day, QTime(hour, minute, second), Qt::LocalTime);
    if (!local.isValid())
        return 0;
    return FileTimeFromUnixTime(local.toSecsSinceEpoch());
}

ZipFileTime FileTimeFromUnixTime(int64_t seconds)
{
    return ZipFileTime(seconds + kSecondsFrom1601To1970) * 10000000u;
}

int64_t UnixTimeFromFileTime(ZipFileTime time)
{
    return int64_t(time / 10000000u) - kSecondsFrom1601To1970;
}

namespace
{

// minizip's own opening, for regular files only: a named pipe or a device is never opened.
voidpf ZCALLBACK OpenArchiveFile(voidpf, const void* path, int)
{
    return OpenRegularFileForReading(static_cast<const char*>(path));
}

} // namespace

ZipHandle* OpenZip(const QString& archivePath, const char* password)
{
    const QByteArray nativePath = QFile::encodeName(archivePath);
    zlib_filefunc64_def files;
    fill_fopen64_filefunc(&files);
    files.zopen64_file = OpenArchiveFile;
    unzFile archive = unzOpen2_64(nativePath.constData(), &files);
    if (!archive)
        return nullptr;
    unz_global_info64 global;
    if (unzGetGlobalInfo64(archive, &global) != UNZ_OK
        || (global.number_entry > 0 && unzGoToFirstFile(archive) != UNZ_OK)) {
        unzClose(archive);
        return nullptr;
    }
    auto* state = new UnzipState;
    state->archive = archive;
    state->itemCount = int(std::min<ZPOS64_T>(global.number_entry, ZPOS64_T(INT32_MAX)));
    if (password)
        state->password = QByteArray(password);
    state->baseFolder = QDir::currentPath() + u'/';
    return new ZipHandle { kHandleKindUnzip, state };
}

ZipResult GetZipItem(ZipHandle* handle, int index, ZipEntry* entry)
{
    if (!handle || !entry)
        return ZIP_ERR_ARGS;
    entry->index = 0;
    entry->uncompressedSize = 0;
    entry->name.clear();
    if (handle->kind != kHandleKindUnzip)
        return ZIP_ERR_NOT_UNZIP;
    UnzipState* state = handle->state;
    if (index < -1 || index >= state->itemCount)
        return ZIP_ERR_ARGS;
    CloseOpenItem(state);
    if (index == -1) {
        *entry = ZipEntry {};
        entry->index = state->itemCount;
        return ZIP_OK;
    }
    if (index == state->cachedIndex) {
        *entry = state->cachedEntry;
        return ZIP_OK;
    }
    unz_file_info64 info;
    return ReadEntry(state, index, entry, &info);
}

void SetUnzipBaseDir(ZipHandle* handle, const QString& folder)
{
    if (!handle || handle->kind != kHandleKindUnzip)
        return;
    QString base = folder;
    base.replace(u'\\', u'/');
    if (!base.endsWith(u'/'))
        base += u'/';
    handle->state->baseFolder = base;
}

void SetUnzipLimits(ZipHandle* handle, uint64_t itemLimit, uint64_t totalLimit)
{
    if (!handle || handle->kind != kHandleKindUnzip)
        return;
    handle->state->itemLimit = itemLimit;
    handle->state->totalLimit = totalLimit;
}

ZipResult UnzipItem(ZipHandle* handle, int index, const QString& destination)
{
    if (!handle)
        return ZIP_ERR_ARGS;
    if (handle->kind != kHandleKindUnzip)
        return ZIP_ERR_NOT_UNZIP;
    UnzipState* state = handle->state;
    CloseOpenItem(state);
    if (index < 0 || index >= state->itemCount)
        return ZIP_ERR_ARGS;

    // The record is read again even for the cached entry: unpacking needs its sizes, method and flags.
    ZipEntry entry;
    unz_file_info64 info;
    if (const ZipResult result = ReadEntry(state, index, &entry, &info); result != ZIP_OK)
        return result;
    if (IsSymbolicLink(info))
        return ZIP_ERR_FILE;

    QString path = destination;
    path.replace(u'\\', u'/');
    const bool isFolder
        = (entry.attributes & ZIP_ATTR_DIRECTORY) || entry.name.endsWith(u'/') || entry.name.endsWith(u'\\');
    // A file item needs a file name to be written to; a bare folder is no place for it.
    if (!isFolder && (path.isEmpty() || path.endsWith(u'/')))
        return ZIP_ERR_FILE;
    const qsizetype split = path.lastIndexOf(u'/');
    const QString folderPart = isFolder ? path : path.left(split + 1);
    const QString fileName = isFolder ? QString() : path.mid(split + 1);

    QString outputFolder;
    if (IsAbsoluteDestination(path)) {
        outputFolder = folderPart;
        QDir().mkpath(outputFolder);
    } else {
        const std::optional<QString> relative
            = RelativeInsideBase(folderPart.isEmpty() ? QStringLiteral(".") : folderPart);
        if (!relative || fileName == u"." || fileName == u"..")
            return ZIP_ERR_FILE;
        const bool created = EnsureDirectoryInside(state->baseFolder, *relative);
        if (isFolder)
            return created ? ZIP_OK : ZIP_ERR_FILE;
        if (!created)
            return ZIP_ERR_FILE;
        outputFolder = state->baseFolder + (relative->isEmpty() ? QString() : *relative + u'/');
    }
    if (isFolder)
        return ZIP_OK;
    return UnzipFileItem(state, index, entry, info, outputFolder + fileName);
}

ZipResult CloseZip(ZipHandle* handle)
{
    if (!handle)
        return ZIP_ERR_ARGS;
    if (handle->kind != kHandleKindUnzip)
        return ZIP_ERR_NOT_UNZIP;
    UnzipState* state = handle->state;
    CloseOpenItem(state);
    unzClose(state->archive);
    delete state;
    delete handle;
    return ZIP_OK;
}
