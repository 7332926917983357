#include "ui/skin/WindowFader.h"

#include "tests/ui/support/ProgramFixture.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <xcb/xcb.h>

namespace
{

// Keeps the fade duration and the opacity probe of one test from leaking into the next.
class FaderSettings
{
public:
    FaderSettings()
        : m_duration(CWindowFader::Duration(-1))
    {
    }
    ~FaderSettings()
    {
        CWindowFader::SetDurationOverride(m_duration);
        CWindowFader::SetOpacityProbe({});
    }

private:
    int m_duration;
};

TEST(WindowFaderTest, WithoutVisibleOpacityTheWindowShowsAndHidesAtOnceWithItOnlyItFades)
{
    skin_test::EnsureApplication();
    FaderSettings restore;
    CWindowFader::SetDurationOverride(60);
    int asked = 0;
    bool opacityShows = false;
    CWindowFader::SetOpacityProbe([&] {
        ++asked;
        return opacityShows;
    });

    QWidget window;
    window.resize(120, 80);
    EXPECT_FALSE(CWindowFader::FadeIn(&window, 500)) << "no opacity steps where opacity is not seen";
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowOpacity(), 1.0);
    EXPECT_FALSE(CWindowFader::FadeOut(&window, 500));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowOpacity(), 1.0);
    EXPECT_EQ(asked, 2) << "the window system is asked at every fade: a compositor may come and go";

    opacityShows = true;
    EXPECT_TRUE(CWindowFader::FadeIn(&window, 500));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowOpacity(), 1.0);
    EXPECT_TRUE(CWindowFader::FadeOut(&window, 500));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowOpacity(), 1.0) << "restored for the next showing";

    // A duration of 0 never asks.
    CWindowFader::SetDurationOverride(0);
    asked = 0;
    EXPECT_FALSE(CWindowFader::FadeIn(&window, 500));
    EXPECT_FALSE(CWindowFader::FadeOut(&window, 500));
    EXPECT_EQ(asked, 0);
}

QStringList warnings; // UI thread only

void KeepWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        warnings.append(text);
}

TEST(WindowFaderTest, APlatformOtherThanX11ShowsOrHidesTheWindowAtOnceWithoutWarnings)
{
    skin_test::EnsureApplication();
    ASSERT_NE(QGuiApplication::platformName(), "xcb");
    FaderSettings restore;
    CWindowFader::SetDurationOverride(-1);
    EXPECT_FALSE(CWindowFader::OpacityShows());

    QWidget window;
    window.resize(120, 80);
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(KeepWarning);
    QElapsedTimer clock;
    clock.start();
    const bool fadedIn = CWindowFader::FadeIn(&window, 2000);
    const bool shown = window.isVisible();
    const bool fadedOut = CWindowFader::FadeOut(&window, 2000);
    const qint64 elapsed = clock.elapsed();
    qInstallMessageHandler(previous);
    EXPECT_FALSE(fadedIn);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(fadedOut);
    EXPECT_FALSE(window.isVisible());
    EXPECT_LT(elapsed, 1000) << "a fade nobody can see held the window";
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

TEST(WindowFaderTest, ACompositorIsSeenByItsScreensSelectionOnARealXServer)
{
    skin_test::EnsureApplication();
    ui_testing::VirtualDisplay display;
    ASSERT_FALSE(display.Name().isEmpty()) << "Xvfb could not be started";
    int screen = -1;
    xcb_connection_t* connection = xcb_connect(display.Name().toLatin1().constData(), &screen);
    ASSERT_EQ(xcb_connection_has_error(connection), 0);
    EXPECT_FALSE(CWindowFader::CompositorRuns(connection, screen)) << "a bare X server composites nothing";

    // A compositing manager announces itself by owning _NET_WM_CM_S<screen>.
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t owner = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, owner, root->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
        root->root_visual, 0, nullptr);
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.c_str()), nullptr);
    ASSERT_NE(atom, nullptr);
    xcb_set_selection_owner(connection, owner, atom->atom, XCB_CURRENT_TIME);
    EXPECT_TRUE(CWindowFader::CompositorRuns(connection, screen));
    EXPECT_FALSE(CWindowFader::CompositorRuns(connection, screen + 1)) << "another screen's manager";

    xcb_destroy_window(connection, owner);
    EXPECT_FALSE(CWindowFader::CompositorRuns(connection, screen)) << "the manager went away";
    std::free(atom);
    xcb_disconnect(connection);
}

} // namespace
