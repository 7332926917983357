#include "audio/library/WmaObject.h"

#include <cstring>

bool CWmaObject::GetAttributeByName(uint16_t streamNumber, const char* name, uint32_t& value)
{
    if (streamNumber != 0 || !name || std::strcmp(name, "CurrentBitrate") != 0 || m_bitRate <= 0)
        return false;
    value = uint32_t(m_bitRate);
    return true;
}
