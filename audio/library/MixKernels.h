#pragma once

#include <cstddef>
#include <cstdint>

// The per-sample loops of the output's mixing, on several samples at a time where the processor allows.
// Results are the same as the plain loops' (round to nearest, ties to even, as lrintf).

// Adds frames of 16-bit samples (channels 1 or 2; mono goes to both sides) to interleaved stereo mix,
// the frame at position i scaled by from + step * (firstIndex + i).
void AddScaledFrames(
    const int16_t* samples, int channels, size_t frames, float from, float step, size_t firstIndex, int32_t* mix);

// Writes count mixed samples as 16-bit, clipped to its range.
void SaturateToInt16(const int32_t* mix, size_t count, int16_t* out);
