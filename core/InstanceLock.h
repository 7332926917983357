#pragma once

#include <QString>
#include <cstdint>
#include <memory>

class CNamedMutex;

// The two instance slots and the small shared block through which running instances find each other.
//
// Each running instance holds slot 1 or slot 2 (a per-user lock that the kernel frees when the holder
// dies) and records its window, here its process id, in the shared block. A start that hands its command
// line over writes the text into the block and asks the instance recorded for a held slot to act on it.
//
// The block is the shared memory object "/Kavrilune-<uid>" (one per user, like the slot locks), 16046
// bytes, little-endian, unaligned:
//   0-1     format mark 11, written when the block is created
//   2-5     window of slot 0 (never taken; stays 0)
//   6-9     window of the instance holding slot 1, 0 when free
//   10-13   window of the instance holding slot 2, 0 when free
//   14-45   reserved, zero
//   46-...  command text: UTF-16LE, NUL-terminated, at most 7,999 characters (8,000 code units)
// Every access maps the block, reads or writes and unmaps it. The block has no lock of its own.
//
// Used from the user-interface thread only.
class CInstanceLock
{
public:
    static constexpr int kBlockSize = 16046;
    static constexpr int kFormatMarkOffset = 0;
    static constexpr uint16_t kFormatMark = 11;
    static constexpr int kWindowOffset = 2; // slot n's window lies at kWindowOffset + 4 * n
    static constexpr int kCommandTextOffset = 46;
    static constexpr int kMaxCommandText = 7999; // characters, without the terminator

    CInstanceLock();
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    // Tries slot 1, then slot 2; on success stores window in that slot's field.
    bool AcquireFreeSlot(uint32_t window);
    // Releases what this object held, then tries the given slot once (fields exist for slots 0 to 2).
    bool AcquireSlot(int slot, uint32_t window);
    // Clears this object's slot field and lets the slot go, when it holds one. Safe at any time.
    void Release();
    bool IsLocked() const { return m_locked; }

    // The window in slot 2 when that slot is held, else the one in slot 1 when that slot is held; 0 when
    // both are free or there is no block. A slot whose lock can be taken is free, whatever its field
    // says: the field of such a slot is cleared.
    uint32_t GetRunningInstanceWindow() const;
    // Stores the text for the instance it is handed to. A text longer than kMaxCommandText is refused:
    // the stored text is emptied (so no stale line is carried out) and the result is false.
    bool SetCommandText(const QString& text);
    // The stored text; empty when there is none or no block. Reading does not clear it.
    QString GetCommandText() const;

    // Tests use a shared memory name of their own; an empty name restores "/Kavrilune-<uid>".
    static void SetSharedMemoryNameOverride(const QString& name);
    static QString SharedMemoryName();
    // Name of slot n's lock (a CNamedMutex).
    static QString SlotMutexName(int slot);

private:
    bool TrySlot(int slot, uint32_t window);
    void WriteWindow(int slot, uint32_t window);

    std::unique_ptr<CNamedMutex> m_slotMutex; // the lock of the slot last tried
    bool m_locked = false; // whether m_slotMutex is held
    int m_mapping = -1; // descriptor of the shared block, -1 when there is none
    int m_slotIndex = 0; // slot last acquired
};
