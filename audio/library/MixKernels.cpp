#include "audio/library/MixKernels.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{

void AddScaledFramesPlain(
    const int16_t* samples, int channels, size_t frames, float from, float step, size_t index, int32_t* mix)
{
    for (size_t i = 0; i < frames; ++i, ++index) {
        const float gain = from + step * float(index);
        int32_t* out = mix + i * 2;
        if (channels == 2) {
            out[0] += int32_t(std::lrintf(float(samples[2 * i]) * gain));
            out[1] += int32_t(std::lrintf(float(samples[2 * i + 1]) * gain));
        } else {
            const int32_t value = int32_t(std::lrintf(float(samples[i]) * gain));
            out[0] += value;
            out[1] += value;
        }
    }
}

#if defined(__SSE2__)

// Four 16-bit samples, sign-extended and converted to float.
__m128 LoadFour(const int16_t* samples)
{
    const __m128i packed = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples));
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(packed, packed), 16));
}

void AddToMix(int32_t* mix, __m128i values)
{
    __m128i* target = reinterpret_cast<__m128i*>(mix);
    _mm_storeu_si128(target, _mm_add_epi32(_mm_loadu_si128(target), values));
}

#endif

} // namespace

void AddScaledFrames(
    const int16_t* samples, int channels, size_t frames, float from, float step, size_t firstIndex, int32_t* mix)
{
    size_t done = 0;
#if defined(__SSE2__)
    // Four frames a step; the gains are computed as the plain loop does (index as float, times step,
    // plus from), and the conversion rounds as lrintf in the default rounding mode.
    const __m128 fromVector = _mm_set1_ps(from);
    const __m128 stepVector = _mm_set1_ps(step);
    for (; done + 4 <= frames; done += 4) {
        const float first = float(firstIndex + done);
        const __m128 indices = _mm_set_ps(
            float(firstIndex + done + 3), float(firstIndex + done + 2), float(firstIndex + done + 1), first);
        const __m128 gains = _mm_add_ps(fromVector, _mm_mul_ps(stepVector, indices));
        int32_t* out = mix + done * 2;
        if (channels == 2) {
            const __m128 gainsLow = _mm_unpacklo_ps(gains, gains); // g0 g0 g1 g1
            const __m128 gainsHigh = _mm_unpackhi_ps(gains, gains); // g2 g2 g3 g3
            const int16_t* in = samples + done * 2;
            AddToMix(out, _mm_cvtps_epi32(_mm_mul_ps(LoadFour(in), gainsLow)));
            AddToMix(out + 4, _mm_cvtps_epi32(_mm_mul_ps(LoadFour(in + 4), gainsHigh)));
        } else {
            const __m128i values = _mm_cvtps_epi32(_mm_mul_ps(LoadFour(samples + done), gains));
            AddToMix(out, _mm_unpacklo_epi32(values, values));
            AddToMix(out + 4, _mm_unpackhi_epi32(values, values));
        }
    }
#endif
    AddScaledFramesPlain(
        samples + done * size_t(channels), channels, frames - done, from, step, firstIndex + done, mix + done * 2);
}

void SaturateToInt16(const int32_t* mix, size_t count, int16_t* out)
{
    size_t done = 0;
#if defined(__SSE2__)
    for (; done + 8 <= count; done += 8) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mix + done));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mix + done + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), _mm_packs_epi32(low, high));
    }
#endif
    for (; done < count; ++done)
        out[done] = int16_t(std::clamp(mix[done], -32768, 32767));
}
