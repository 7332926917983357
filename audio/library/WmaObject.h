#pragma once

#include "audio/library/AudioLibrary.h"

#include <atomic>
#include <cstdint>

// The media object of a WMA stream: answers the header attribute "CurrentBitrate".
class CWmaObject : public CWmaMediaObject, private CWmaHeaderInfo
{
public:
    explicit CWmaObject(int64_t bitRate)
        : m_bitRate(bitRate)
    {
    }
    CWmaHeaderInfo* QueryHeaderInfo() override { return this; }

private:
    bool GetAttributeByName(uint16_t streamNumber, const char* name, uint32_t& value) override;

    const int64_t m_bitRate;
};
