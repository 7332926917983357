// The main window's skin layout on a window of its own with the built-in skin: what it puts on, when
// it does nothing, and how it falls back.

#include "ui/mainwindow/SkinLayout.h"

#include "tests/support/TempProgramFolder.h"
#include "tests/ui/support/SkinTestSupport.h"
#include "ui/controls/FilterBox.h"
#include "ui/controls/GdipButton.h"
#include "ui/controls/HyperStatic.h"
#include "ui/controls/SliderCtrlEx.h"
#include "ui/controls/SpectrumButton.h"
#include "ui/options/PropSkins.h"
#include "ui/skin/WindowFader.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QFile>
#include <QProgressBar>
#include <gtest/gtest.h>

namespace
{

class SkinLayoutTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        skin_test::EnsureApplication();
        CWindowFader::SetDurationOverride(0);
    }

    void SetUp() override { ASSERT_TRUE(skin_test::CopyStagedSkin("Standard.kvn", program.Path())); }

    testing_support::TempProgramFolder program;
    QWidget window;
    CGdipButton exit { &window }, options { &window }, mute { &window }, favorites { &window }, rec { &window },
        next { &window }, back { &window }, play { &window }, sources { &window }, filterLabel { &window },
        minimize { &window }, expand { &window }, onTop { &window };
    CSpectrumButton spectrum { &window };
    QObject listOwner;
    CStationsListCtrl list { &listOwner, &window };
    CSliderCtrlEx volume { &window };
    CFilterBox filter { &window };
    QProgressBar bufferIndicator { &window };
    CHyperStatic songTitle { &window }, status { &window }, foundNumber { &window }, rotatedInfo { &window },
        bufferInfo { &window };
    CPropSkins skins;
    bool expanded = false;
    QPoint windowPos { 40, 50 };
    QPoint expandedPos { 60, 70 };
    int dressed = 0;
    CSkinLayout layout { { window, &exit, &options, &mute, &favorites, &rec, &next, &back, &play, &sources,
                             &filterLabel, &minimize, &expand, &onTop, spectrum, list, volume, filter, bufferIndicator,
                             songTitle, status, foundNumber, rotatedInfo, bufferInfo },
        skins, { expanded, windowPos, expandedPos }, [this] { return program.Path(); }, [this] { ++dressed; } };
};

TEST_F(SkinLayoutTest, TheChosenSkinDressesEveryControlOnceUnlessForced)
{
    skins.m_skin = QStringLiteral("Standard");
    layout.ApplySkin(0, false);
    EXPECT_EQ(layout.ApplyCount(), 1);
    EXPECT_EQ(dressed, 1);
    EXPECT_EQ(layout.AuthorName(), "Kavrilune");
    EXPECT_FALSE(layout.Background().isNull());
    EXPECT_EQ(play.geometry(), QRect(175, 269, 40, 40));
    EXPECT_EQ(window.pos(), windowPos);
    const QSize normal = window.size();
    EXPECT_EQ(window.palette().color(QPalette::Base), list.BkColor()) << "the window takes the list's colours";

    layout.ApplySkin(0, false);
    EXPECT_EQ(layout.ApplyCount(), 1) << "the same choice again changes nothing";
    EXPECT_EQ(dressed, 1);

    expanded = true;
    layout.ApplySkin(0, true);
    EXPECT_EQ(layout.ApplyCount(), 2);
    EXPECT_EQ(dressed, 2);
    EXPECT_TRUE(expanded);
    EXPECT_EQ(window.pos(), expandedPos);
    EXPECT_NE(window.size(), normal);
}

TEST_F(SkinLayoutTest, AMissingSkinFallsBackToTheBuiltInOneAndAMissingLayoutToTheNormalOne)
{
    skins.m_skin = QStringLiteral("Gone");
    expanded = true;
    layout.ApplySkin(0, true);
    EXPECT_EQ(skins.m_skin, "Standard");
    EXPECT_EQ(layout.AuthorName(), "Kavrilune");
    EXPECT_TRUE(expanded);

    // A skin without the expanded layout shows the normal one, and the window's state follows.
    ASSERT_TRUE(QFile::remove(program.FilePath("skins/Standard.kvn/skin2.kvn")));
    layout.ApplySkin(0, true);
    EXPECT_FALSE(expanded);
    EXPECT_EQ(window.pos(), windowPos);
}

} // namespace
