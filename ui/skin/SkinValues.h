#pragma once

#include "core/XMLSettings.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <cstdint>

class QWidget;

// Skins arrive as zip files from anywhere, so every rectangle and size read from one is kept within
// these bounds (logical pixels) before it reaches a widget or an allocation.
constexpr int kSkinMaxCoordinate = 4096;
constexpr int kSkinMaxSize = 4096;

// A rectangle read from a skin, as a widget geometry: the position within +-kSkinMaxCoordinate, the
// size within 0..kSkinMaxSize.
QRect ClampSkinRect(const RECT& rect);
// The section's rectangle (missing keys written with the defaults), clamped.
QRect ReadSkinRect(CXMLSettings& skin, const QString& section, int x, int y, int width, int height);

// A control's rectangle kept to what its parent (the window's client area) shows: the part inside it,
// or an empty rectangle at the same place when nothing of it is inside. Unchanged without a parent.
QRect SkinRectWithin(const QRect& rect, const QWidget* control);

// The two colour forms of the settings store: 0x00BBGGRR (GetColor) and 0xAARRGGBB (GetColorArgb).
QColor ColorFromBgr(uint32_t bgr);
QColor ColorFromArgb(uint32_t argb);
uint32_t BgrFromColor(const QColor& color);

// A colour text "alpha,red,green,blue" as the skinned controls read it themselves: every number is
// taken modulo 256 (its low 8 bits), missing numbers are 0. unset is true when the first number is
// negative, the skin's way of saying "keep the default".
struct SkinColorText {
    bool unset = true;
    uint32_t argb = 0;
};
SkinColorText ParseSkinColorText(const QString& text);
