#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <cstdint>

// The small pseudo-random generator the list colour is sampled with: 15-bit values from a linear
// congruential sequence, so that every platform samples the same pixels.
class CSampleRandom
{
public:
    explicit CSampleRandom(uint32_t seed = 1)
        : m_state(seed)
    {
    }
    // 0 .. 32767
    int Next()
    {
        m_state = m_state * 214013u + 2531011u;
        return int((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state;
};

// The station list's background colour for a window background image: the average of 2000 pixels
// sampled over the client area (in the image's own coordinates; samples that fall outside a smaller
// image repeat the last colour read), brightened when it is dark until its brightness reaches 180 or
// its strongest channel 230. A black image gives black.
QColor ListColorFromImage(const QImage& image, const QSize& clientSize);
// The same for an image decoded at another size than its file's (ownSize): the samples are taken in
// the file's coordinates and read from the image where they fall on it.
QColor ListColorFromImage(const QImage& image, const QSize& clientSize, const QSize& ownSize);
