#include "audio/LameEncoder.h"

#include "core/ErrorLog.h"
#include "core/SeException.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <new>

namespace
{

const char kLibraryName[] = "libmp3lame.so.0";

// The load attempt runs on the main window's thread while a player is constructed; Init on the
// players' threads reads only the loaded flag.
std::mutex libraryMutex;
bool loadPending = true; // guarded by libraryMutex
bool systemLibraryAllowed = true; // guarded by libraryMutex
void* libraryModule = nullptr; // guarded by libraryMutex
BE_VERSION libraryVersion {}; // guarded by libraryMutex
std::atomic<bool> libraryLoaded = false;

} // namespace

void CLameEncoder::LoadLameLibrary()
{
    loadPending = false;
    QString tried;
    void* module = nullptr;
    const QString folder = GetAppFolder();
    if (!folder.isEmpty()) {
        tried = folder + QLatin1String(kLibraryName);
        module = ::dlopen(QFile::encodeName(tried).constData(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!module && systemLibraryAllowed) {
        tried = QLatin1String(kLibraryName);
        module = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    }
    if (!module)
        WriteErrorLog("LameEncoder", 0, QStringLiteral("Cannot load library: ") + tried);
    libraryModule = module;
}

CLameEncoder::CLameEncoder()
{
    std::lock_guard lock(libraryMutex);
    if (libraryLoaded)
        return;
    if (loadPending)
        LoadLameLibrary();
    if (!libraryModule)
        return;
    if (BindLameLibrary(libraryModule)) {
        beVersion(&libraryVersion);
        libraryLoaded = true;
    } else {
        libraryModule = nullptr; // an incomplete library stays mapped but is never used
    }
}

CLameEncoder::~CLameEncoder()
{
    CloseStream();
}

bool CLameEncoder::IsLibraryLoaded()
{
    return libraryLoaded;
}

void CLameEncoder::ResetLibraryForTesting(bool systemLibrary)
{
    std::lock_guard lock(libraryMutex);
    libraryLoaded = false;
    libraryModule = nullptr;
    loadPending = true;
    systemLibraryAllowed = systemLibrary;
}

void CLameEncoder::CloseStream()
{
    if (m_stream)
        beCloseStream(m_stream);
    m_stream = nullptr;
}

bool CLameEncoder::Init(int sampleRate, int channels, int kbps)
{
    volatile int step = __LINE__;
    try {
        if (!libraryLoaded)
            return false;
        step = __LINE__;
        CloseStream();
        step = __LINE__;
        m_output.reset();
        step = __LINE__;
        uint8_t mode = 0;
        if (channels == 2)
            mode = BE_MP3_MODE_JSTEREO;
        else if (channels == 1)
            mode = BE_MP3_MODE_MONO;
        else
            return false;
        if (kbps < 32 || kbps > 320 || sampleRate <= 0)
            return false;
        step = __LINE__;
        BE_CONFIG config;
        std::memset(&config, 0, sizeof config);
        config.dwConfig = BE_CONFIG_MP3;
        config.format.mp3.dwSampleRate = uint32_t(sampleRate);
        config.format.mp3.byMode = mode;
        config.format.mp3.wBitrate = uint16_t(kbps);
        step = __LINE__;
        if (beInitStream(&config, &m_chunkSize, &m_outputSize, &m_stream) != BE_ERR_SUCCESSFUL) {
            m_stream = nullptr;
            return false;
        }
        step = __LINE__;
        m_output.reset(new (std::nothrow) uint8_t[m_outputSize]);
        if (!m_output) {
            CloseStream();
            return false;
        }
        step = __LINE__;
        return true;
    } catch (CSeException* e) {
        e->Log("LameEncoder", step);
        e->Delete();
        // The caller goes on as if the encoder had started; its first chunk then fails unless a whole
        // stream, buffer included, is open. A stream without its buffer is not kept.
        if (!m_output)
            CloseStream();
        return true;
    }
}

bool CLameEncoder::EncodeChunk(
    const void* pcm, uint32_t byteCount, uint32_t& consumedBytes, const uint8_t*& outputBuffer, uint32_t& outputBytes)
{
    if (!m_stream)
        return false;
    consumedBytes = 0;
    outputBuffer = nullptr;
    outputBytes = 0;
    if (byteCount < 2)
        return true;
    const uint32_t samples = std::min(byteCount / 2, m_chunkSize);
    uint32_t produced = 0;
    if (beEncodeChunk(m_stream, samples, static_cast<const int16_t*>(pcm), m_output.get(), &produced)
        != BE_ERR_SUCCESSFUL) {
        CloseStream();
        return false;
    }
    outputBuffer = m_output.get();
    outputBytes = produced;
    consumedBytes = samples * 2;
    return true;
}

bool CLameEncoder::Finish(const uint8_t*& outputBuffer, uint32_t& outputBytes)
{
    if (!m_stream)
        return false;
    outputBuffer = nullptr;
    outputBytes = 0;
    uint32_t produced = 0;
    bool finished = false;
    if (beDeinitStream(m_stream, m_output.get(), &produced) == BE_ERR_SUCCESSFUL) {
        outputBuffer = m_output.get();
        outputBytes = produced;
        finished = true;
    }
    CloseStream();
    return finished;
}
