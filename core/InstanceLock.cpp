#include "core/InstanceLock.h"
#include "core/NamedMutex.h"

#include <QMutex>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QMutex overrideMutex;
QString nameOverride; // guarded by overrideMutex

constexpr int kSlotFields = 3;
// A slot is tried again after these pauses before it counts as held: a start that looks for the running
// instance holds a free slot's lock for a moment.
constexpr int kSlotRetries = 3;
constexpr int kSlotRetryPauseMs = 5;

// The whole block mapped for one operation.
class BlockView
{
public:
    explicit BlockView(int fd)
    {
        struct stat info;
        if (fd < 0 || fstat(fd, &info) != 0 || info.st_size < CInstanceLock::kBlockSize)
            return;
        void* address = mmap(nullptr, CInstanceLock::kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (address != MAP_FAILED)
            m_bytes = static_cast<unsigned char*>(address);
    }
    ~BlockView()
    {
        if (m_bytes)
            munmap(m_bytes, CInstanceLock::kBlockSize);
    }
    BlockView(const BlockView&) = delete;
    BlockView& operator=(const BlockView&) = delete;

    unsigned char* bytes() const { return m_bytes; }

    uint32_t Read32(int offset) const
    {
        const unsigned char* p = m_bytes + offset;
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    void Write32(int offset, uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            m_bytes[offset + i] = uint8_t(value >> (8 * i));
    }
    void Write16(int offset, uint16_t value)
    {
        m_bytes[offset] = uint8_t(value);
        m_bytes[offset + 1] = uint8_t(value >> 8);
    }

private:
    unsigned char* m_bytes = nullptr;
};

// Opens the block, creating it when missing. A block that another user owns is not used.
int OpenBlock(const QByteArray& name)
{
    bool created = false;
    int fd = shm_open(name.constData(), O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && errno == ENOENT) {
        fd = shm_open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        created = fd >= 0;
        if (fd < 0 && errno == EEXIST) // another instance created it meanwhile
            fd = shm_open(name.constData(), O_RDWR | O_CLOEXEC, 0600);
    }
    if (fd < 0)
        return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || info.st_uid != geteuid()) {
        close(fd);
        return -1;
    }
    // A creator that died before sizing the block leaves it empty; growing it fills it with zero bytes.
    if (info.st_size < CInstanceLock::kBlockSize) {
        if (ftruncate(fd, CInstanceLock::kBlockSize) != 0) {
            close(fd);
            return -1;
        }
        created = true;
    }
    if (created) {
        BlockView view(fd);
        if (view.bytes())
            view.Write16(CInstanceLock::kFormatMarkOffset, CInstanceLock::kFormatMark);
    }
    return fd;
}

} // namespace

CInstanceLock::CInstanceLock()
    : m_mapping(OpenBlock(SharedMemoryName().toUtf8()))
{
}

CInstanceLock::~CInstanceLock()
{
    Release();
    if (m_mapping >= 0)
        close(m_mapping);
}

bool CInstanceLock::AcquireFreeSlot(uint32_t window)
{
    return TrySlot(1, window) || TrySlot(2, window);
}

bool CInstanceLock::AcquireSlot(int slot, uint32_t window)
{
    return TrySlot(slot, window);
}

bool CInstanceLock::TrySlot(int slot, uint32_t window)
{
    Release();
    m_slotMutex = std::make_unique<CNamedMutex>(SlotMutexName(slot));
    m_locked = m_slotMutex->TryLock();
    for (int retry = 0; !m_locked && retry < kSlotRetries; ++retry) {
        QThread::msleep(kSlotRetryPauseMs);
        m_locked = m_slotMutex->TryLock();
    }
    if (!m_locked)
        return false; // the failed lock object is kept until the next try or Release
    m_slotIndex = slot;
    WriteWindow(slot, window);
    return true;
}

void CInstanceLock::Release()
{
    if (m_locked) {
        WriteWindow(m_slotIndex, 0);
        m_slotMutex->Unlock();
        m_locked = false;
    }
    m_slotMutex.reset();
}

void CInstanceLock::WriteWindow(int slot, uint32_t window)
{
    if (slot < 0 || slot >= kSlotFields)
        return;
    BlockView view(m_mapping);
    if (view.bytes())
        view.Write32(kWindowOffset + 4 * slot, window);
}

uint32_t CInstanceLock::GetRunningInstanceWindow() const
{
    BlockView view(m_mapping);
    if (!view.bytes())
        return 0;
    for (const int slot : { 2, 1 }) {
        const int offset = kWindowOffset + 4 * slot;
        if (view.Read32(offset) == 0)
            continue;
        // A slot whose lock can be taken is free: its holder ended without clearing its field (killed,
        // say), and its process id may belong to anything by now. The field is cleared while the lock is
        // held, so that an instance taking the slot meanwhile cannot lose its own entry.
        CNamedMutex probe(SlotMutexName(slot));
        if (probe.TryLock()) {
            view.Write32(offset, 0);
            probe.Unlock();
            continue;
        }
        // The held lock of this process's own slot is another open file, so it counts as held here too.
        return view.Read32(offset);
    }
    return 0;
}

bool CInstanceLock::SetCommandText(const QString& text)
{
    const bool fits = text.size() <= kMaxCommandText;
    BlockView view(m_mapping);
    if (!view.bytes())
        return fits;
    unsigned char* field = view.bytes() + kCommandTextOffset;
    const qsizetype length = fits ? text.size() : 0;
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t unit = text[i].unicode();
        field[2 * i] = uint8_t(unit);
        field[2 * i + 1] = uint8_t(unit >> 8);
    }
    field[2 * length] = 0;
    field[2 * length + 1] = 0;
    return fits;
}

QString CInstanceLock::GetCommandText() const
{
    BlockView view(m_mapping);
    if (!view.bytes())
        return {};
    const unsigned char* field = view.bytes() + kCommandTextOffset;
    QString text;
    for (int i = 0; i <= kMaxCommandText; ++i) {
        const auto unit = char16_t(field[2 * i] | (field[2 * i + 1] << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

void CInstanceLock::SetSharedMemoryNameOverride(const QString& name)
{
    QMutexLocker lock(&overrideMutex);
    nameOverride = name;
}

QString CInstanceLock::SharedMemoryName()
{
    QMutexLocker lock(&overrideMutex);
    return nameOverride.isEmpty() ? QStringLiteral("/Kavrilune-%1").arg(geteuid()) : nameOverride;
}

QString CInstanceLock::SlotMutexName(int slot)
{
    return QStringLiteral("kavrilune.org-instance-%1").arg(slot);
}
