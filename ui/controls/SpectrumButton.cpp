#include "ui/controls/SpectrumButton.h"

#include "audio/RadioPlayer.h"
#include "core/ErrorLog.h"
#include "core/SeException.h"
#include "core/XMLSettings.h"
#include "ui/skin/SkinValues.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace
{

const char* const SOURCE_NAME = "AnalyzerButton.cpp";

constexpr uint32_t kDefaultBarTop = 0xFA28DC28;
constexpr uint32_t kDefaultBarBottom = 0xFA28B428;
constexpr uint32_t kDefaultBackgroundTop = 0xE6DCDCA8;
constexpr uint32_t kDefaultBackgroundBottom = 0xE6DCDCDC;
constexpr uint32_t kDefaultBarLine = 0xDC641432;

constexpr int kMargin = 2;
// The bar profile, as fractions of half the bar pitch: solid up to the core, fading out to the edge.
constexpr double kBarCore = 0.65;
constexpr double kBarEdge = 0.88;
// Below this many pixels in either direction there is nothing to draw.
constexpr int kMinSide = 5;

// Shared by every spectrum display, so that all recording dots pulse together. UI thread only.
int g_animationCounter = 0;

constexpr uint64_t kByteLanes = 0x00FF00FF00FF00FFull;

// 0xAARRGGBB as 0x00AA00RR00GG00BB: a 16-bit lane for each channel.
inline uint64_t SpreadChannels(uint32_t color)
{
    const uint64_t x = color;
    const uint64_t halves = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
    return (halves | (halves << 8)) & kByteLanes;
}

// Each channel (weight * source + (255 - weight) * destination) / 255, rounded down; all four channels in
// one 64-bit word (no lane exceeds 255 * 255, and n / 255 == (n + 1 + (n >> 8)) >> 8 for such n).
inline uint32_t Blend(uint32_t source, uint32_t destination, uint32_t weight)
{
    uint64_t v = SpreadChannels(source) * weight + SpreadChannels(destination) * (255 - weight);
    v = ((v + 0x0001000100010001ull + ((v >> 8) & kByteLanes)) >> 8) & kByteLanes;
    v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
    return uint32_t(v | (v >> 16));
}

inline void Put(uint32_t& pixel, uint32_t color)
{
    const uint32_t alpha = color >> 24;
    if (alpha == 255)
        pixel = color;
    else if (alpha != 0)
        pixel = Blend(color, pixel, alpha);
}

// The bar's opacity at distance d from its centre: solid up to the core, fading out to the edge.
double BarWeight(double d, double edge)
{
    if (d > edge)
        return 0.0;
    if (d <= kBarCore * edge)
        return 1.0;
    return (edge - d) / ((1.0 - kBarCore) * edge);
}

uint32_t WithAlpha(uint32_t color, uint32_t alpha)
{
    return (color & 0x00FFFFFF) | ((alpha & 0xFF) << 24);
}

uint32_t ScaledAlpha(uint32_t color, double factor)
{
    return WithAlpha(color, uint32_t((color >> 24) * factor));
}

} // namespace

CSpectrumButton::CSpectrumButton(QWidget* parent)
    : QAbstractButton(parent)
    , CSkinnedControl(this)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    ResetColors();
    m_peak.fill(1.0f);
    m_hold.fill(50);
}

void CSpectrumButton::ResetColors()
{
    m_barTop = kDefaultBarTop;
    m_barBottom = kDefaultBarBottom;
    m_backgroundTop = kDefaultBackgroundTop;
    m_backgroundBottom = kDefaultBackgroundBottom;
    m_barLine = kDefaultBarLine;
}

void CSpectrumButton::LoadSkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height)
{
    ResetColors();
    PlaceFromSkin(skin, section, x, y, width, height);
    raise();
    m_initialised = false;
    ApplyVisibleKey(skin, section);

    auto readColor = [&](const char* key, uint32_t& color) {
        const SkinColorText text
            = ParseSkinColorText(skin.GetString(section, QString::fromLatin1(key), QStringLiteral("-1"), true));
        if (!text.unset)
            color = text.argb;
    };
    readColor("BarColorTop", m_barTop);
    readColor("BarColorBottom", m_barBottom);
    readColor("BkColorTop", m_backgroundTop);
    readColor("BkColorBottom", m_backgroundBottom);
    readColor("BarLineColor", m_barLine);
    m_glassLevel = skin.GetInt(section, QStringLiteral("GlassLevel"), 255, true);
    m_frame = skin.GetInt(section, QStringLiteral("Frame"), 1, true) != 0;
    m_barCount = std::clamp(skin.GetInt(section, QStringLiteral("Bars"), 16, true), 4, kMaxBars);
    Init(true);
}

void CSpectrumButton::Init(bool force)
{
    if (m_initialised && !force)
        return;
    m_initialised = true;
    const QSize size = DeviceSize();
    m_width = size.width();
    m_height = size.height();
    m_sweepPosition = 0.0f;
    m_sweepStep = 0.5f;
    m_sweepDirection = 1;
    m_drawWidth = m_width - 2 * kMargin;
    m_drawHeight = m_height - 2 * kMargin;
    m_work = QImage();
    m_display = QImage();
    m_shownKeyValid = false;
    if (m_width < kMinSide || m_height < kMinSide)
        return;
    m_work = QImage(m_width, m_height, QImage::Format_ARGB32);
    if (m_work.isNull()) {
        WriteErrorLog(SOURCE_NAME, 0, QStringLiteral("ERROR! Cannot initialize spectrum!"));
        return;
    }
    m_work.fill(0);
    m_columnWeight.assign(size_t(m_width), 0.0);
    if (m_backgroundPicture.size() != size)
        ComposeBackground();
}

void CSpectrumButton::OnBackgroundChanged()
{
    Init(true);
    ComposeBackground();
    Paint(false, false, false, true);
}

// One row's pixels, counted from the bottom. Asking the image for a row checks whether it must be copied
// first: drawing code takes each row once, never a row per pixel.
uint32_t* CSpectrumButton::RowAt(QImage& image, int rowFromBottom)
{
    return reinterpret_cast<uint32_t*>(image.scanLine(image.height() - 1 - rowFromBottom));
}

// The same for reading: no copy check, and the image keeps its cache key.
const uint32_t* CSpectrumButton::RowAt(const QImage& image, int rowFromBottom)
{
    return reinterpret_cast<const uint32_t*>(image.constScanLine(image.height() - 1 - rowFromBottom));
}

// The parent's pixels with the background gradient over everything but the outermost ring, and the
// two-pixel frame when the skin wants one.
void CSpectrumButton::ComposeBackground()
{
    const int w = m_width;
    const int h = m_height;
    if (w < kMinSide || h < kMinSide) {
        m_backgroundPicture = QImage();
        return;
    }
    QImage picture(w, h, QImage::Format_ARGB32);
    if (picture.isNull())
        return;
    {
        QPainter painter(&picture);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawPixmap(picture.rect(), BackgroundPicture());
    }
    for (int y = 1; y <= h - 2; ++y) {
        uint32_t* row = RowAt(picture, y);
        for (int x = 1; x <= w - 2; ++x) {
            const uint32_t f = uint32_t(((255 * x) / w + (255 * y) / h) / 2);
            Put(row[x], Blend(m_backgroundTop, m_backgroundBottom, f));
        }
    }
    if (m_frame) {
        const uint32_t opacity = hasFocus() ? 150 : 75;
        const uint32_t grey = WithAlpha(0x9B9B9B, opacity);
        const uint32_t white = WithAlpha(0xFFFFFF, opacity);
        uint32_t* bottom = RowAt(picture, 0);
        uint32_t* top = RowAt(picture, h - 1);
        for (int x = 1; x <= w - 2; ++x) {
            Put(bottom[x], grey);
            Put(top[x], grey);
        }
        for (int y = 1; y <= h - 2; ++y) {
            uint32_t* row = RowAt(picture, y);
            Put(row[0], grey);
            Put(row[w - 1], grey);
        }
        uint32_t* secondBottom = RowAt(picture, 1);
        uint32_t* secondTop = RowAt(picture, h - 2);
        for (int x = 1; x <= w - 2; ++x) {
            Put(secondBottom[x], white);
            Put(secondTop[x], white);
        }
        for (int y = 1; y <= h - 2; ++y) {
            uint32_t* row = RowAt(picture, y);
            Put(row[1], white);
            Put(row[w - 2], white);
        }
    }
    m_backgroundPicture = picture;
    m_shownKeyValid = false;
}

void CSpectrumButton::Render(RadioPlayer* player, bool muted, bool playing, bool recording)
{
    // Nobody sees a hidden display: its spectrum is not even computed.
    if (!isVisible())
        return;
    Init(false);
    try {
        float levels[kMaxBars] = {};
        FrameInput input;
        input.recording = recording;
        if (player) {
            if (player->GetSpectrum(levels, m_barCount))
                input.levels = levels;
            input.recording = player->IsRecording();
            input.discarded = player->IsRecordingDiscarded();
        }
        Animate(input, muted, playing);
    } catch (CSeException* e) {
        e->Delete();
    }
}

void CSpectrumButton::Animate(const FrameInput& input, bool muted, bool playing)
{
    if (input.levels) {
        std::copy(input.levels, input.levels + m_barCount, m_level.begin());
    } else {
        m_sweepStep = playing ? 0.5f : 0.018f;
        for (int i = 0; i < m_barCount; ++i) {
            if (i == int(m_sweepPosition))
                m_level[i] = 0.5f;
            else
                m_level[i] -= 0.03f;
        }
        m_sweepPosition += m_sweepStep * float(m_sweepDirection);
        if (m_sweepPosition <= 0.5f)
            m_sweepDirection = 1;
        if (m_sweepPosition >= float(m_barCount) - 0.5f)
            m_sweepDirection = -1;
    }
    for (int i = 0; i < m_barCount; ++i) {
        float& level = m_level[i];
        if (!(level >= 0.0f)) // also catches NaN
            level = 0.0f;
        level = std::min(level, 1.0f);
        if (m_hold[i] > 0)
            --m_hold[i];
        else
            m_peak[i] -= 0.04f;
        if (m_peak[i] < 0.0f)
            m_peak[i] = 0.0f;
        if (level > m_peak[i]) {
            m_peak[i] = level;
            m_hold[i] = 20;
        }
    }
    Paint(muted, input.recording, input.discarded, false);
}

void CSpectrumButton::Paint(bool muted, bool recording, bool discarded, bool force)
{
    if ((!isVisible() && !force) || m_work.isNull())
        return;
    // A frame of the animation is painted at once, while the timer has the thread awake: a posted
    // update would wake the event loop a second time for every frame. A forced redraw (a new
    // background) may come from within another paint, so it waits for the next pass.
    DrawFrame(muted, recording, discarded, !force);
}

void CSpectrumButton::DrawFrame(bool muted, bool recording, bool discarded, bool paintNow)
{
    const double factor = muted ? 0.4 : 1.0;
    g_animationCounter = (g_animationCounter + 6) % 200;
    const int triangle = g_animationCounter <= 100 ? g_animationCounter : 200 - g_animationCounter;
    const int thickness = m_drawHeight < 32 ? 1 : 2;

    FrameKey key;
    key.barCount = m_barCount;
    key.muted = muted;
    key.scale = PaintScale();
    for (int i = 0; i < m_barCount; ++i) {
        key.top[size_t(i)] = std::clamp(int(float(m_drawHeight) * m_level[i]), 0, m_drawHeight - 1);
        key.peak[size_t(i)] = std::clamp(int(float(m_drawHeight) * m_peak[i]), 0, m_drawHeight - thickness);
    }
    if (recording && (!discarded || g_animationCounter > 165))
        key.dot = discarded ? 25 : triangle;
    if (m_shownKeyValid && key == m_shownKey && !m_display.isNull())
        return;

    // Into the frame's own buffer: no new picture a frame.
    if (m_backgroundPicture.size() == m_work.size() && m_backgroundPicture.format() == m_work.format())
        std::memcpy(m_work.bits(), m_backgroundPicture.constBits(), size_t(m_work.sizeInBytes()));
    const uint32_t barTop = ScaledAlpha(m_barTop, factor);
    const uint32_t barBottom = ScaledAlpha(m_barBottom, factor);
    const uint32_t barLine = ScaledAlpha(m_barLine, factor);

    for (int i = 0; i < m_barCount; ++i) {
        DrawColumn(i, 0, key.top[size_t(i)], barBottom, barTop);
        const int peak = key.peak[size_t(i)];
        DrawColumn(i, peak, peak + thickness - 1, barLine, barLine);
    }

    // Under the glass most pixels are bare background, whose glazed colour never changes.
    const bool glazed = UpdateGlazedBackground();
    const int half = m_height / 2;
    for (int y = half; y <= m_height - 3; ++y) {
        const uint32_t glass = GlassColor(y);
        uint32_t* row = RowAt(m_work, y);
        if (glazed) {
            const uint32_t* bare = RowAt(std::as_const(m_backgroundPicture), y);
            const uint32_t* glazedRow = RowAt(std::as_const(m_glazedBackground), y);
            for (int x = 2; x <= m_width - 3; ++x) {
                if (row[x] == bare[x])
                    row[x] = glazedRow[x];
                else
                    Put(row[x], glass);
            }
        } else {
            for (int x = 2; x <= m_width - 3; ++x)
                Put(row[x], glass);
        }
    }

    if (key.dot >= 0)
        DrawRecordingDot(muted, discarded, triangle);

    // The shown picture is opaque; its buffer is reused from frame to frame.
    if (m_display.size() != m_work.size() || m_display.format() != QImage::Format_RGB32)
        m_display = QImage(m_work.size(), QImage::Format_RGB32);
    for (int y = 0; y < m_height; ++y) {
        const auto* source = reinterpret_cast<const uint32_t*>(m_work.constScanLine(y));
        auto* row = reinterpret_cast<uint32_t*>(m_display.scanLine(y));
        for (int x = 0; x < m_width; ++x)
            row[x] = source[x] | 0xFF000000;
    }
    m_display.setDevicePixelRatio(PaintScale());
    m_shownKey = key;
    m_shownKeyValid = true;
    ++m_framesDrawn;
    if (paintNow)
        repaint();
    else
        update();
}

// The glass highlight's colour on a row (counted from the bottom) of the upper half.
uint32_t CSpectrumButton::GlassColor(int row) const
{
    const int half = m_height / 2;
    const int64_t k = int64_t(row - half) * 155 / half + 100;
    return WithAlpha(0xFFFFFF, uint32_t(k * m_glassLevel / 255) & 0xFF);
}

// The background with the glass over it, made again when the background or the glass changes. False
// when there is none to use (the frame then glazes every pixel itself).
bool CSpectrumButton::UpdateGlazedBackground()
{
    const QImage& bare = m_backgroundPicture;
    if (bare.size() != m_work.size() || bare.format() != QImage::Format_ARGB32)
        return false;
    if (!m_glazedBackground.isNull() && m_glazedFrom == bare.cacheKey() && m_glazedLevel == m_glassLevel)
        return true;
    m_glazedBackground = bare.copy();
    if (m_glazedBackground.isNull())
        return false;
    for (int y = m_height / 2; y <= m_height - 3; ++y) {
        const uint32_t glass = GlassColor(y);
        uint32_t* row = RowAt(m_glazedBackground, y);
        for (int x = 2; x <= m_width - 3; ++x)
            Put(row[x], glass);
    }
    m_glazedFrom = bare.cacheKey();
    m_glazedLevel = m_glassLevel;
    return true;
}

void CSpectrumButton::DrawColumn(int bar, int firstRow, int lastRow, uint32_t bottomColor, uint32_t topColor)
{
    if (firstRow > lastRow)
        return;
    const double pitch = double(m_drawWidth) / m_barCount;
    const int x0 = int(bar * pitch);
    const int x1 = int((bar + 1) * pitch);
    const double centre = (bar + 0.5) * pitch;
    const double edge = kBarEdge * pitch / 2;
    // The bar's profile across: the same weight for a column on every row.
    const int columns = std::min(x1 - x0 + 1, int(m_columnWeight.size()));
    for (int i = 0; i < columns; ++i)
        m_columnWeight[size_t(i)] = BarWeight(std::abs(centre - (x0 + i)), edge);
    for (int y = firstRow; y <= lastRow; ++y) {
        const uint32_t color = Blend(topColor, bottomColor, uint32_t((255 * y) / m_drawHeight));
        uint32_t* row = RowAt(m_work, y + kMargin) + x0 + kMargin;
        for (int i = 0; i < columns; ++i)
            Put(row[i], WithAlpha(color, uint32_t(m_columnWeight[size_t(i)] * (color >> 24))));
    }
}

// A red dot near the top right corner whose radius pulses with the animation; while the recording
// goes nowhere it keeps one size and blinks.
void CSpectrumButton::DrawRecordingDot(bool muted, bool discarded, int triangle)
{
    const double s = std::min(m_width, m_height) * 0.25;
    if (discarded)
        triangle = 25;
    const double r = (triangle + 200) * (s / 2) / 300;
    if (r <= 0)
        return;
    const uint32_t red = muted ? 190 : 220;
    const uint32_t color = (red << 16) | (40 << 8) | 60;
    const double cx = m_width - s;
    const double cy = m_height - s;
    for (int y = std::max(0, int(m_height - 2 * s - 1)); y <= m_height - 2; ++y) {
        uint32_t* row = RowAt(m_work, y);
        for (int x = std::max(0, int(m_width - 2 * s - 1)); x <= m_width - 2; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            const double alpha = d < r ? 235.0 : std::trunc((2 * r - d) * 235 / r);
            if (alpha < 1)
                continue;
            Put(row[x], WithAlpha(color, uint32_t(alpha)));
        }
    }
}

bool CSpectrumButton::event(QEvent* event)
{
    const bool handled = QAbstractButton::event(event);
    KeepOpaque(event);
    return handled;
}

void CSpectrumButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_display.isNull())
        DrawBackground(painter);
    else
        DrawDevicePicture(painter, m_display);
}
