#include "audio/library/FileSource.h"

#include "core/RegularFile.h"

#include <sys/stat.h>

CFileSource::~CFileSource()
{
    if (m_file)
        std::fclose(m_file);
}

bool CFileSource::Open(const std::string& path)
{
    m_file = OpenRegularFileForReading(path.c_str());
    if (!m_file)
        return false;
    struct stat info {
    };
    if (fstat(fileno(m_file), &info) != 0) {
        std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    m_size = int64_t(info.st_size);
    return true;
}

int CFileSource::Read(uint8_t* destination, size_t size, int)
{
    if (!m_file)
        return kEnd;
    const size_t n = std::fread(destination, 1, size, m_file);
    if (n == 0)
        return kEnd;
    m_position += n;
    return int(n);
}

bool CFileSource::Seek(uint64_t position)
{
    if (!m_file || fseeko(m_file, off_t(position), SEEK_SET) != 0)
        return false;
    m_position = position;
    return true;
}
