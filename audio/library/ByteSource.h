#pragma once

#include <cstddef>
#include <cstdint>

// Where a decoder takes its bytes from: a network buffer or a local file.
class IByteSource
{
public:
    enum : int {
        kNoData = 0, // nothing within the wait; ask again
        kSegmentEnd = -1, // the bytes of one connection are used up; NextSegment() moves on
        kEnd = -2, // no more bytes will come
        kCancelled = -3,
    };

    virtual ~IByteSource() = default;
    // Returns the number of bytes read (> 0) or one of the codes above.
    virtual int Read(uint8_t* destination, size_t size, int waitMs) = 0;
    virtual bool NextSegment() { return false; }
    virtual bool Seekable() const { return false; }
    // Moves to an absolute position; false when it cannot.
    virtual bool Seek(uint64_t) { return false; }
    virtual uint64_t Position() const = 0;
    // The total length, or -1 when it is not known.
    virtual int64_t Size() const { return -1; }
};
