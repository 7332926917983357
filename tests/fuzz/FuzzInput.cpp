#include "tests/fuzz/FuzzInput.h"

#include <cstring>

namespace fuzz_support
{

FuzzInput::FuzzInput(const uint8_t* data, size_t size)
    : m_data(data)
    , m_size(size)
{
}

uint8_t FuzzInput::TakeByte()
{
    if (m_size == 0)
        return 0;
    --m_size;
    return *m_data++;
}

uint16_t FuzzInput::TakeUint16()
{
    const uint16_t high = TakeByte();
    return uint16_t(high << 8 | TakeByte());
}

QByteArray FuzzInput::TakeUntil(char separator)
{
    const void* found = m_size ? std::memchr(m_data, separator, m_size) : nullptr;
    const size_t length = found ? size_t(static_cast<const uint8_t*>(found) - m_data) : m_size;
    QByteArray piece(reinterpret_cast<const char*>(m_data), qsizetype(length));
    const size_t consumed = found ? length + 1 : length;
    m_data += consumed;
    m_size -= consumed;
    return piece;
}

QByteArray FuzzInput::TakeRest()
{
    QByteArray rest(reinterpret_cast<const char*>(m_data), qsizetype(m_size));
    m_data += m_size;
    m_size = 0;
    return rest;
}

} // namespace fuzz_support
