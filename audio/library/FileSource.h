#pragma once

#include "audio/library/ByteSource.h"

#include <atomic>
#include <cstdio>
#include <string>

// A local file read by a decoder.
class CFileSource : public IByteSource
{
public:
    CFileSource() = default;
    ~CFileSource() override;
    CFileSource(const CFileSource&) = delete;
    CFileSource& operator=(const CFileSource&) = delete;

    // Opens the file (a path in the local file-name encoding); false when it cannot be read or is no
    // regular file.
    bool Open(const std::string& path);

    int Read(uint8_t* destination, size_t size, int waitMs) override;
    bool Seekable() const override { return true; }
    bool Seek(uint64_t position) override;
    uint64_t Position() const override { return m_position.load(); }
    int64_t Size() const override { return m_size; }

private:
    std::FILE* m_file = nullptr; // decoding thread only
    int64_t m_size = -1; // set by Open
    std::atomic<uint64_t> m_position { 0 }; // written by the decoding thread, read by any
};
