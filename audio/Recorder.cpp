#include "audio/Recorder.h"

#include "audio/TagFile.h"
#include "core/ErrorLog.h"
#include "core/SeException.h"
#include "core/StdioFileUTF8.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const char kSource[] = "Recorder";
const QString kNullDevice = QStringLiteral("/dev/null");
const QString kTagComment = QStringLiteral("Recorded by Kavrilune");
constexpr int kLastNumber = 999;

// Only a definite "no such file" makes a name free; any other answer (no access, a bad name) counts as taken.
bool FileIsAbsent(const QString& path)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) != 0 && errno == ENOENT;
}

} // namespace

CRecorder::CRecorder() = default;

CRecorder::~CRecorder()
{
    CloseOutputQuietly();
}

void CRecorder::SetFormat(int sampleRate, int channels, bool raw)
{
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_raw = raw;
}

void CRecorder::SetStreamInfo(int bitrateSetting, bool preBuffer)
{
    m_bitrateSetting = bitrateSetting;
    m_preBufferEnabled = preBuffer;
}

void CRecorder::SetBitrate(int kbps)
{
    m_streamBitrate = kbps;
}

bool CRecorder::ClearPreBuffer()
{
    m_preBuffer.clear();
    return true;
}

void CRecorder::SetTags(const QString& streamName, const QString& title, const QString& artist, const QString& album)
{
    m_streamName = streamName;
    m_title = title;
    m_artist = artist;
    m_album = album;
}

QString CRecorder::MakeSafeFileName(const QString& text)
{
    QString name = text;
    for (QChar& c : name) {
        switch (c.unicode()) {
        case '<':
        case '>':
        case ':':
        case '"':
        case '/':
        case '\\':
        case '|':
        case '?':
        case '*':
            c = QLatin1Char('-');
            break;
        default:
            break;
        }
    }
    name.replace(QStringLiteral("--"), QStringLiteral("-"));
    name.replace(QStringLiteral("--"), QStringLiteral("-"));
    return name.trimmed();
}

QString CRecorder::FitToBytes(const QString& name, int maxBytes)
{
    int bytes = 0;
    qsizetype end = 0;
    while (end < name.size()) {
        const char16_t unit = name.at(end).unicode();
        const bool pair = QChar::isHighSurrogate(unit) && end + 1 < name.size() && name.at(end + 1).isLowSurrogate();
        const int size = pair ? 4 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        end += pair ? 2 : 1;
    }
    if (end == name.size())
        return name;
    QString cut = name.left(end);
    while (!cut.isEmpty() && cut.back().isSpace())
        cut.chop(1);
    return cut;
}

QString CRecorder::MakeUniqueFileName(const QString& basePath, const QString& extension, bool dontOverwrite)
{
    // The last part of the base path is the recording's own name: it is shortened, where needed, so
    // that every candidate with its number and extension stays a name the file system accepts.
    const qsizetype slash = basePath.lastIndexOf(QLatin1Char('/'));
    const QString folder = basePath.left(slash + 1);
    const QString name = basePath.mid(slash + 1);
    QString candidate;
    for (int n = 0; n <= kLastNumber; ++n) {
        const QString ending
            = n == 0 ? QStringLiteral(".%1").arg(extension) : QStringLiteral(" (%1).%2").arg(n).arg(extension);
        candidate = folder + FitToBytes(name, kMaxFileNameBytes - int(ending.toUtf8().size())) + ending;
        if (FileIsAbsent(candidate))
            return candidate;
        if (dontOverwrite) {
            // A track recorded before under this name is not recorded again; the recording runs on
            // into the null device.
            m_discarded = true;
            return kNullDevice;
        }
    }
    return candidate; // every number taken: the last one is overwritten
}

bool CRecorder::InitEncoder()
{
    volatile int step = __LINE__;
    bool result = false;
    try {
        if (m_raw || m_encoder.IsOpen())
            return true;
        if (m_bitrateSetting == 0 && m_streamBitrate == 0)
            return false; // no bitrate known yet: try again with the next chunk
        step = __LINE__;
        const int kbps = std::max(m_bitrateSetting != 0 ? m_bitrateSetting : m_streamBitrate, 64);
        step = __LINE__;
        result = m_encoder.Init(m_sampleRate, m_channels, kbps);
        return result;
    } catch (CSeException* e) {
        e->Log(kSource, step);
        e->Delete();
        return result;
    }
}

bool CRecorder::WriteRaw(Target target, const void* data, uint32_t byteCount)
{
    if (!m_raw)
        return true;
    volatile int step = __LINE__;
    try {
        InitEncoder();
        step = __LINE__;
        WriteTo(target, data, byteCount);
        return true;
    } catch (CSeException* e) {
        e->Log(kSource, step);
        e->Delete();
        return false;
    }
}

bool CRecorder::WritePcm(Target target, const void* data, uint32_t byteCount)
{
    if (m_raw)
        return true;
    volatile int step = __LINE__;
    try {
        if (!InitEncoder())
            return true; // the chunk is lost; no bitrate known or no encoder library
        step = __LINE__;
        const auto* pcm = static_cast<const uint8_t*>(data);
        uint32_t left = byteCount;
        while (left >= 2) {
            step = __LINE__;
            uint32_t consumed = 0;
            const uint8_t* mp3 = nullptr;
            uint32_t produced = 0;
            if (!m_encoder.EncodeChunk(pcm, left, consumed, mp3, produced)) {
                WriteErrorLog(kSource, __LINE__, QStringLiteral("Error in EncodeChunk."));
                return false;
            }
            step = __LINE__;
            if (produced > 0)
                WriteTo(target, mp3, produced);
            if (consumed == 0)
                break;
            pcm += consumed;
            left -= consumed;
        }
        return true;
    } catch (CSeException* e) {
        e->Log(kSource, step);
        e->Delete();
        return false;
    }
}

bool CRecorder::ChooseTarget(Target& target)
{
    if (m_recording) {
        target = Target::OutputFile;
        return true;
    }
    if (!m_preBufferEnabled)
        return false;
    // Capped by starting over, never by trimming, so the buffer always begins at a chunk boundary.
    if (m_preBuffer.size() > kPreBufferLimit)
        m_preBuffer.clear();
    target = Target::PreBuffer;
    return true;
}

bool CRecorder::PutRaw(const void* data, uint32_t byteCount)
{
    Target target;
    if (!ChooseTarget(target))
        return true;
    return WriteRaw(target, data, byteCount);
}

bool CRecorder::PutPcm(const void* data, uint32_t byteCount)
{
    Target target;
    if (!ChooseTarget(target))
        return true;
    return WritePcm(target, data, byteCount);
}

void CRecorder::WriteTo(Target target, const void* data, size_t byteCount)
{
    if (target == Target::OutputFile)
        WriteOutput(data, byteCount);
    else
        AppendToPreBuffer(data, byteCount);
}

void CRecorder::AppendToPreBuffer(const void* data, size_t byteCount)
{
    const size_t needed = m_preBuffer.size() + byteCount;
    if (needed > m_preBuffer.capacity())
        m_preBuffer.reserve((needed + kPreBufferStep - 1) / kPreBufferStep * kPreBufferStep);
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_preBuffer.insert(m_preBuffer.end(), bytes, bytes + byteCount);
}

bool CRecorder::Start(const QString& basePath, const QString& extension, int bitrateSetting, bool dontOverwrite)
{
    volatile int step = __LINE__;
    try {
        m_recording = false;
        m_discarded = false;
        m_bitrateSetting = bitrateSetting;
        m_extension = extension;
        m_basePath = basePath;
        step = __LINE__;
        CloseOutputQuietly();
        step = __LINE__;
        if (!OpenOutput(MakeUniqueFileName(basePath, extension, dontOverwrite)))
            return false;
        step = __LINE__;
        InitEncoder(); // without a known bitrate the encoder starts with the first chunk after one is known
        step = __LINE__;
        if (!m_preBuffer.empty()) {
            try {
                for (size_t at = 0; at < m_preBuffer.size(); at += kCopyBlockSize)
                    WriteOutput(m_preBuffer.data() + at, std::min(kCopyBlockSize, m_preBuffer.size() - at));
            } catch (const CFileException&) {
                WriteErrorLog(kSource, __LINE__, QStringLiteral("CFileException in start recording."));
                m_recording = false;
                CloseOutputQuietly();
                RemoveOutputIfEmpty();
                return false;
            }
            m_preBuffer.clear();
        }
        step = __LINE__;
        m_recording = true;
        return true;
    } catch (CSeException* e) {
        e->Log(kSource, step);
        e->Delete();
        return m_recording;
    }
}

void CRecorder::Stop()
{
    volatile int step = __LINE__;
    try {
        if (!m_recording)
            return;
        m_recording = false;
        step = __LINE__;
        const QString path = m_outputPath;
        try {
            if (!m_raw) {
                const uint8_t* mp3 = nullptr;
                uint32_t produced = 0;
                if (m_encoder.Finish(mp3, produced) && produced > 0)
                    WriteOutput(mp3, produced);
            }
            step = __LINE__;
            CloseOutput();
        } catch (const CFileException&) {
            // Stop is called from the player's stop operations, which have no one to hand this to.
            WriteErrorLog(kSource, __LINE__, QStringLiteral("CFileException in stop recording."));
            CloseOutputQuietly();
        }
        step = __LINE__;
        m_preBuffer.clear();
        step = __LINE__;
        // A recording that never received anything (a full disk from its first byte, a stop before
        // any data came) leaves no empty file behind.
        if (!RemoveOutputIfEmpty())
            WriteTags(path);
        step = __LINE__;
        m_streamName.clear();
        m_title.clear();
        m_artist.clear();
        m_album.clear();
    } catch (CSeException* e) {
        e->Log(kSource, step);
        e->Delete();
    }
}

void CRecorder::WriteTags(const QString& path)
{
    volatile int step = __LINE__;
    try {
        if (m_extension.compare(QLatin1String("MP3"), Qt::CaseInsensitive) != 0)
            return;
        step = __LINE__;
        CTagFile tag;
        if (tag.Open(path) != 0)
            return; // also a recording shorter than a tag, or one sent to the null device
        step = __LINE__;
        tag.SetTitle(m_title);
        tag.SetArtist(m_artist);
        if (!m_album.isEmpty())
            tag.SetAlbum(m_album);
        else if (!m_streamName.isEmpty())
            tag.SetAlbum(m_streamName);
        tag.SetComment(kTagComment);
        step = __LINE__;
        tag.WriteTag();
        tag.Close();
    } catch (CSeException* e) {
        e->Log(kSource, step);
        e->Delete();
    }
}

bool CRecorder::OpenOutput(const QString& path)
{
    // Created or truncated; nothing stops other programs from writing to it here.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    m_output = fd;
    m_outputPath = QFileInfo(path).absoluteFilePath();
    m_outputBytes = 0;
    return true;
}

void CRecorder::WriteOutput(const void* data, size_t byteCount)
{
    if (m_output < 0)
        throw CFileException(CFileException::genericException, m_outputPath);
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (byteCount > 0) {
        const ssize_t n = ::write(m_output, bytes, byteCount);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw CFileException(
                n == 0 ? CFileException::diskFull : CFileException::CauseFromErrno(errno), m_outputPath);
        bytes += n;
        byteCount -= size_t(n);
        m_outputBytes += uint64_t(n);
    }
}

void CRecorder::CloseOutput()
{
    if (m_output < 0)
        return;
    const int fd = m_output;
    m_output = -1;
    if (::close(fd) != 0 && errno != EINTR)
        throw CFileException(CFileException::CauseFromErrno(errno), m_outputPath);
}

bool CRecorder::RemoveOutputIfEmpty()
{
    // A recording sent to the null device has no file of its own.
    if (m_output >= 0 || m_outputBytes != 0 || m_discarded || m_outputPath.isEmpty())
        return false;
    const QFileInfo file(m_outputPath);
    return file.isFile() && file.size() == 0 && QFile::remove(m_outputPath);
}

void CRecorder::CloseOutputQuietly()
{
    if (m_output >= 0)
        ::close(m_output);
    m_output = -1;
}
