#pragma once

#include "audio/SoundDisplay.h"
#include "ui/skin/SkinnedControl.h"

#include <QAbstractButton>
#include <QImage>
#include <array>
#include <cstdint>
#include <vector>

class CXMLSettings;
class RadioPlayer;

// The spectrum display: vertical bars with a colour gradient and soft edges over a gradient
// background, falling peak markers, a glass highlight over the upper half and a pulsing dot while
// recording; without sound data a slow sweep. The radio manager calls Render once a frame. Pictures
// are composed in software, pixel by pixel, in device pixels; a click means "mute".
class CSpectrumButton : public QAbstractButton, public CSkinnedControl, public CSoundDisplay
{
    Q_OBJECT

public:
    static constexpr int kMaxBars = 32;

    // What one frame is made of: band levels (null when there are none) and the recording state.
    struct FrameInput {
        const float* levels = nullptr;
        bool recording = false;
        bool discarded = false;
    };

    explicit CSpectrumButton(QWidget* parent = nullptr);

    void LoadSkin(CXMLSettings& skin, const QString& section, int x, int y, int width, int height);
    // (Re)creates the buffers for the current size; without force only the first time.
    void Init(bool force);
    void Render(RadioPlayer* player, bool muted, bool playing, bool recording) override;
    // One frame from given input: levels (or the sweep), peaks, then the picture.
    void Animate(const FrameInput& input, bool muted, bool playing);
    // Draws the current levels without changing them.
    void Paint(bool muted, bool recording, bool discarded, bool force);

    int BarCount() const { return m_barCount; }
    float Level(int bar) const { return m_level[bar]; }
    float Peak(int bar) const { return m_peak[bar]; }
    float SweepPosition() const { return m_sweepPosition; }
    // The composed frame (rows top-down, alpha as composed) and the background it starts from.
    const QImage& FrameImage() const { return m_work; }
    const QImage& BackgroundImage() const { return m_backgroundPicture; }
    // How many frames were drawn; a hidden display draws none.
    int FramesDrawn() const { return m_framesDrawn; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void OnBackgroundChanged() override;

private:
    void ResetColors();
    void ComposeBackground();
    void DrawFrame(bool muted, bool recording, bool discarded, bool paintNow);
    void DrawColumn(int bar, int firstRow, int lastRow, uint32_t bottomColor, uint32_t topColor);
    void DrawRecordingDot(bool muted, bool discarded, int triangle);
    uint32_t GlassColor(int row) const;
    bool UpdateGlazedBackground();
    static uint32_t* RowAt(QImage& image, int rowFromBottom);
    static const uint32_t* RowAt(const QImage& image, int rowFromBottom);

    // What decides a frame's pixels, beside the background: a frame that would come out the same as
    // the one shown is neither composed nor painted again.
    struct FrameKey {
        std::array<int, kMaxBars> top {};
        std::array<int, kMaxBars> peak {};
        int barCount = 0;
        bool muted = false;
        int dot = -1; // the recording dot's phase, -1 without one
        qreal scale = 1.0;
        bool operator==(const FrameKey&) const = default;
    };

    int m_width = 0; // device pixels, at the last initialisation
    int m_height = 0;
    int m_drawWidth = 0;
    int m_drawHeight = 0;
    int m_barCount = 16;
    bool m_initialised = false;
    std::array<float, kMaxBars> m_level {};
    std::array<float, kMaxBars> m_peak {};
    std::array<int, kMaxBars> m_hold {};
    float m_sweepPosition = 0.0f;
    float m_sweepStep = 0.5f;
    int m_sweepDirection = 1;

    uint32_t m_barTop = 0;
    uint32_t m_barBottom = 0;
    uint32_t m_backgroundTop = 0;
    uint32_t m_backgroundBottom = 0;
    uint32_t m_barLine = 0;
    int32_t m_glassLevel = 255;
    bool m_frame = true;

    QImage m_backgroundPicture; // parent pixels, gradient and frame; ARGB32, top-down rows
    QImage m_glazedBackground; // the background with the glass highlight over it
    qint64 m_glazedFrom = 0; // the background's cache key it was made from
    int32_t m_glazedLevel = -1;
    QImage m_work; // the frame being composed
    QImage m_display; // the last finished frame, shown by paintEvent
    std::vector<double> m_columnWeight; // a bar's profile across, one weight per column; sized by Init
    int m_framesDrawn = 0;
    FrameKey m_shownKey;
    bool m_shownKeyValid = false; // false after anything that changes pixels outside the key
};
