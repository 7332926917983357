#include "ui/controls/FilterBox.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/skin/Skin.h"
#include "ui/skin/SkinImage.h"
#include "ui/skin/SkinValues.h"

#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <memory>

using testing_support::ReadBytes;
using testing_support::TempProgramFolder;

namespace
{

struct ButtonSection {
    const char* name;
    int x, y, width, height;
    bool alternate;
};

// The main window's image buttons with their default places, in the order the window dresses them.
const ButtonSection kButtons[] = { { "Exit", 351, 273, 33, 34, false }, { "Options", 318, 273, 33, 34, false },
    { "Mute", 141, 273, 33, 34, true }, { "Favorites", 285, 273, 33, 34, false }, { "Rec", 108, 273, 33, 34, true },
    { "Next", 75, 273, 33, 34, false }, { "Back", 42, 273, 33, 34, false }, { "Play", 9, 273, 33, 34, true },
    { "Sources", 9, 244, 131, 26, false }, { "FilterLabel", 231, 8, 24, 24, false },
    { "Minimize", 200, 8, 1, 1, false }, { "Expand", 400, 8, 0, 0, false }, { "OnTop", 400, 8, 0, 0, true } };

const struct {
    const char* name;
    int x, y, width, height;
    const char* text;
} kLabels[] = { { "SongTitle", 0, 0, 0, 0, "Neon Harbour \u2014 Nightdrive" },
    { "Status", 11, 210, 126, 13, "Playing" }, { "FoundNumber", 11, 15, 197, 13, "2418 stations" },
    { "RotatedInfo", 11, 192, 368, 13, "Nightdrive \u2014 Neon Harbour" },
    { "BufferInfo", 11, 228, 71, 13, "Buffer 92%" } };

// Stands in for the station list: rows in the skin's list colours.
class ListMock : public QWidget
{
public:
    using QWidget::QWidget;
    QColor background, text, highlight, highlightText;

protected:
    void paintEvent(QPaintEvent*) override
    {
        static const char* const rows[][3]
            = { { "Aurora Lounge", "Norway", "Chillout" }, { "Nightdrive FM", "Germany", "Synthwave" },
                  { "Blue Lantern Jazz", "France", "Jazz" }, { "Harbour Radio", "Ireland", "Folk" },
                  { "Kite Hill Classics", "Austria", "Classical" }, { "Midnight Static", "Canada", "Ambient" },
                  { "Sunday Vinyl", "Japan", "Soul" }, { "Polar Beat", "Finland", "Electronic" } };
        QPainter painter(this);
        painter.fillRect(rect(), background);
        const int rowHeight = 20;
        for (int i = 0; i * rowHeight < height(); ++i) {
            const QRect row(0, i * rowHeight, width(), rowHeight);
            if (i == 1)
                painter.fillRect(row, highlight);
            painter.setPen(i == 1 ? highlightText : text);
            const auto& cells = rows[i % 8];
            painter.drawText(row.adjusted(8, 0, 0, 0), Qt::AlignVCenter, cells[0]);
            painter.drawText(row.adjusted(width() * 6 / 10, 0, 0, 0), Qt::AlignVCenter, cells[1]);
            painter.drawText(row.adjusted(width() * 8 / 10, 0, 0, 0), Qt::AlignVCenter, cells[2]);
        }
    }
};

// A window dressed from a skin the way the main window does it, for checking the skin file and for
// looking at the result.
class SkinnedWindow : public QWidget
{
public:
    SkinnedWindow()
    {
        for (const ButtonSection& section : kButtons)
            buttons[section.name] = new CGdipButton(this);
        for (const auto& section : kLabels)
            labels[section.name] = new CHyperStatic(this);
        spectrum = new CSpectrumButton(this);
        list = new ListMock(this);
        volume = new CSliderCtrlEx(this);
        filter = new CFilterBox(this);
        buffer = new QProgressBar(this);
        buffer->setTextVisible(false);
        buffer->setValue(92);
    }

    void Dress(const QString& programFolder, const QString& skinName, bool expanded, qreal scale)
    {
        CSkin skin;
        skin.SetSkinPath(programFolder, skinName, expanded);
        skin.ApplyWindowFrame(this, QPoint(100, 100));
        CXMLSettings& settings = skin.Settings();
        settings.GetString("Author", "Name", "unknown author", true);
        settings.GetString("Author", "URL", "...", true);
        for (const ButtonSection& s : kButtons)
            skin.ApplyButtonSkin(*buttons[s.name], s.name, s.x, s.y, s.width, s.height, s.alternate);
        buttons["Sources"]->SetHideText(false);
        spectrum->LoadSkin(settings, "Spectrum", 147, 213, 132, 54);
        DressList(settings);
        volume->LoadSkin(settings, "Volume", 281, 234, 107, 33);
        filter->LoadSkin(settings, "Filter", 255, 10, 126, 21);
        skin.PlaceControl(buffer, "BufferIndicator", 86, 229, 48, 11);
        for (const auto& s : kLabels)
            skin.ApplyLabelSkin(*labels[s.name], s.name, s.x, s.y, s.width, s.height);
        background
            = ReadSkinPixmap(skin.SkinFolder() + settings.GetString("Window", "Background", "bg.jpg", true), scale);
        DressList(settings);

        QPixmap painted(size() * scale);
        painted.setDevicePixelRatio(scale);
        painted.fill(Qt::black);
        {
            QPainter painter(&painted);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawPixmap(rect(), background);
        }
        background = painted;
        for (const auto& [name, button] : buttons)
            button->CopyParentBackground(background);
        for (const auto& [name, label] : labels)
            label->CopyParentBackground(background);
        spectrum->CopyParentBackground(background);
        volume->CopyParentBackground(background);
        filter->CopyParentBackground(background);
    }

    // The keys the station list reads from its section.
    void DressList(CXMLSettings& settings)
    {
        list->setGeometry(ReadSkinRect(settings, "List", 11, 33, 369, 153));
        list->highlight = ColorFromArgb(settings.GetColorArgb("List", "HighLightColor", 0xFF3070C0));
        list->highlightText = ColorFromBgr(settings.GetColor("List", "HighLightTextColor", 0xFFFFFF));
        list->text = ColorFromBgr(settings.GetColor("List", "TextColor", 0));
        list->background = ColorFromBgr(settings.GetColor("List", "BkColor", 0xFFFFFF));
        settings.GetInt("List", "Transparent", 0, true);
        list->setVisible(settings.GetInt("List", "visible", 1, true) != 0);
    }

    // Sample content, as a playing station would show it.
    void Fill()
    {
        for (const auto& s : kLabels)
            labels[s.name]->SetText(QString::fromUtf8(s.text));
        buttons["Sources"]->setText("MP3 \u00b7 128 kbps");
        buttons["Play"]->SetAlternate(true);
        volume->setValue(70);
        filter->setEditText("jazz");
        float levels[32];
        for (int frame = 0; frame < 72; ++frame) {
            for (int i = 0; i < 32; ++i)
                levels[i] = float(0.55 + 0.35 * std::sin(i * 0.7 + frame * 0.2)) * (1.0f - i / 48.0f);
            spectrum->Animate({ levels, false, false }, false, true);
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawPixmap(rect(), background);
    }

public:
    std::map<QString, CGdipButton*> buttons;
    std::map<QString, CHyperStatic*> labels;
    CSpectrumButton* spectrum;
    ListMock* list;
    CSliderCtrlEx* volume;
    CFilterBox* filter;
    QProgressBar* buffer;
    QPixmap background;
};

class SkinRenderTest : public ::testing::TestWithParam<const char*>
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }
    void SetUp() override { ASSERT_TRUE(skin_test::CopyStagedSkin(GetParam(), program.Path())); }

    QString SkinName() const { return QString::fromLatin1(GetParam()).section(u'.', 0, 0); }
    QString LayoutFile(bool expanded) const
    {
        return program.Path() + "skins/" + GetParam() + (expanded ? "/skin2.kvn" : "/skin.kvn");
    }

    TempProgramFolder program;
};

TEST_P(SkinRenderTest, TheSkinFileHoldsEveryKeyAndEveryImageItNames)
{
    for (bool expanded : { false, true }) {
        if (!QFileInfo::exists(LayoutFile(expanded)))
            continue;
        const QByteArray before = ReadBytes(LayoutFile(expanded));
        SkinnedWindow window;
        window.Dress(program.Path(), SkinName(), expanded, 1.0);
        EXPECT_EQ(ReadBytes(LayoutFile(expanded)), before)
            << "no key was missing from " << LayoutFile(expanded).toStdString();

        for (const auto& [name, button] : window.buttons) {
            if (button->isHidden())
                continue;
            for (int picture = 0; picture < CGdipButton::PictureCount; ++picture) {
                const QString path = button->ImagePath(CGdipButton::Picture(picture));
                if (path.isEmpty())
                    continue;
                EXPECT_FALSE(ReadSkinImage(path).isNull()) << path.toStdString();
                EXPECT_EQ(ReadSkinImage(path, 2.0).devicePixelRatio(), 2.0) << path.toStdString();
            }
        }
        EXPECT_TRUE(
            window.volume->HasThumbImage() && window.volume->HasHotThumbImage() && window.volume->HasChannelImage());
        EXPECT_FALSE(window.background.isNull());
    }
}

TEST_P(SkinRenderTest, EveryControlDrawsAtOneAndTwoTimes)
{
    for (bool expanded : { false, true }) {
        if (!QFileInfo::exists(LayoutFile(expanded)))
            continue;
        for (qreal scale : { 1.0, 2.0 }) {
            SkinnedWindow window;
            window.Dress(program.Path(), SkinName(), expanded, scale);
            window.show();
            window.Fill();
            const QString suffix
                = QStringLiteral("%1-%2%3").arg(SkinName(), expanded ? "expanded" : "normal", scale > 1 ? "@2x" : "");
            std::vector<std::pair<QString, QWidget*>> controls { { "Spectrum", window.spectrum },
                { "Volume", window.volume }, { "Filter", window.filter } };
            for (const auto& [name, button] : window.buttons)
                controls.emplace_back(name, button);
            for (const auto& [name, label] : window.labels)
                controls.emplace_back(name, label);
            for (const auto& [name, control] : controls) {
                if (control->isHidden() || control->size().isEmpty())
                    continue;
                const QImage image = skin_test::Render(control, scale);
                EXPECT_EQ(image.size(), control->size() * scale) << name.toStdString();
                EXPECT_FALSE(skin_test::IsUniform(image)) << name.toStdString() << " " << suffix.toStdString();
                skin_test::SaveShot(image, name + "-" + suffix);
            }
            skin_test::SaveShot(skin_test::Render(&window, scale), "mock-" + suffix);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BuiltIn, SkinRenderTest, ::testing::Values("Standard.kvn", "Light.kvn"),
    [](const ::testing::TestParamInfo<const char*>& info) {
        return QString::fromLatin1(info.param).section(u'.', 0, 0).toStdString();
    });

} // namespace
