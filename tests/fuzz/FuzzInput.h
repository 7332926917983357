#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace fuzz_support
{

// Takes a fuzzer's input apart into the pieces a target needs: a few control bytes, then texts.
// Reading past the end gives zeros and empty texts, so every input is usable.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size);

    bool Empty() const { return m_size == 0; }
    uint8_t TakeByte();
    uint16_t TakeUint16();
    // The bytes up to the next separator (which is consumed), or all that is left.
    QByteArray TakeUntil(char separator);
    QByteArray TakeRest();

private:
    const uint8_t* m_data;
    size_t m_size;
};

} // namespace fuzz_support
