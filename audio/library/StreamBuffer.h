#pragma once

#include "audio/library/ByteSource.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

// The network buffer of a URL stream: bytes from the download thread to the decoding thread.
// The producer checks HasRoomFor() before writing (flow control against the limit) but a write is
// always taken whole. A reconnection starts a new segment: the reader meets its start as the end of
// the old one and must move on explicitly, so that a decoder can start afresh there.
class CStreamBuffer : public IByteSource
{
public:
    explicit CStreamBuffer(size_t limit);

    // Producer side (download thread).
    void SetLimit(size_t bytes);
    bool HasRoomFor(size_t bytes) const;
    void Write(const uint8_t* data, size_t size);
    void StartSegment();
    // No more bytes will come; error is the library error code that ended the download (0: none).
    void Finish(int error);
    // Called (outside the buffer's lock) after the reader took bytes or the limit grew, so a paused
    // producer can go on.
    void SetRoomCallback(std::function<void()> callback);

    // Reader side (decoding thread).
    int Read(uint8_t* destination, size_t size, int waitMs) override;
    bool NextSegment() override;
    uint64_t Position() const override { return Consumed(); }
    void Cancel();

    uint64_t Written() const; // all bytes ever written
    uint64_t Consumed() const; // all bytes ever read
    size_t Fill() const;
    bool IsFinished() const;
    int Error() const;

private:
    void GrowLocked(size_t needed);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint8_t> m_ring; // guarded by m_mutex
    size_t m_limit; // guarded by m_mutex
    uint64_t m_written = 0; // guarded by m_mutex
    uint64_t m_consumed = 0; // guarded by m_mutex
    std::deque<uint64_t> m_boundaries; // guarded by m_mutex: starts of later segments
    bool m_finished = false; // guarded by m_mutex
    bool m_cancelled = false; // guarded by m_mutex
    int m_error = 0; // guarded by m_mutex
    std::function<void()> m_roomCallback; // set before the threads start
};
