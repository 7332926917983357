#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace testing_support
{

// A valid PNG of one colour (8-bit RGBA, no interlace) of any size up to the format's limits, written
// row by row without holding the picture: what a skin can declare yet cost almost nothing on disk
// (5700 x 5700 pixels compress into about 137 KB). The colour is 0xAARRGGBB (QColor::rgba()). False
// when the file cannot be written.
bool WriteSolidPng(const QString& path, int width, int height, uint32_t argb);
QByteArray SolidPng(int width, int height, uint32_t argb);

} // namespace testing_support
