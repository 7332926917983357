#pragma once

#include "core/InstanceLock.h"
#include "core/InstanceMessenger.h"
#include "core/NamedMutex.h"
#include "core/ServerHosts.h"
#include "ui/mainwindow/CommandLineRunner.h"
#include "ui/mainwindow/KavriluneDlg.h"
#include "ui/mainwindow/MainMenus.h"
#include "ui/mainwindow/PlaybackControl.h"
#include "ui/mainwindow/ProgramLifecycle.h"
#include "ui/mainwindow/SettingsKeeper.h"
#include "ui/mainwindow/SkinLayout.h"
#include "ui/mainwindow/StatusDisplay.h"
#include "ui/mainwindow/UpdateChecks.h"
#include "ui/mainwindow/WindowInput.h"
#include "ui/mainwindow/WindowPresence.h"
#include "ui/skin/WindowFader.h"

#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/FakeTrayBackend.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace ui_testing
{

// A main window in a temporary program folder with the built-in skin, its own instance names, lock and
// socket folders, data and configuration folders, no fades and no sound device; Autoplay and the
// update checks off unless a test writes other settings before Start().
class MainWindowFixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        skin_test::EnsureApplication();
        CWindowFader::SetDurationOverride(0);
        qputenv("SDL_AUDIODRIVER", "dummy");
    }

    void SetUp() override
    {
        static std::atomic<int> counter { 0 };
        ASSERT_TRUE(skin_test::CopyStagedSkin("Standard.kvn", program.Path()));
        CInstanceLock::SetSharedMemoryNameOverride(
            QStringLiteral("/kavrilune-window-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter));
        CNamedMutex::SetFolderOverride(locks.path());
        CInstanceMessenger::SetFolderOverride(sockets.path());
        // Song titles are looked up nowhere but on loopback.
        SetImageHostOverride(QStringLiteral("http://127.0.0.1:9"));
        qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
        WriteSettings("<General><Autoplay>0</Autoplay><Check_updates>0</Check_updates></General>");
    }

    void TearDown() override
    {
        window.reset();
        CInstanceLock::SetSharedMemoryNameOverride(QString());
        CNamedMutex::SetFolderOverride(QString());
        CInstanceMessenger::SetFolderOverride(QString());
        SetImageHostOverride(QString());
    }

    QString SettingsPath() const { return program.FilePath("Kavrilune.xml"); }
    void WriteSettings(const QString& innerXml) { ASSERT_TRUE(skin_test::WriteSkinFile(SettingsPath(), innerXml)); }
    QString SettingsText() const { return QString::fromUtf8(testing_support::ReadBytes(SettingsPath())); }

    // Creates the window and runs events until the posted start-up has run and the window shows.
    CKavriluneDlg& Start()
    {
        auto backend = std::make_unique<FakeTrayBackend>();
        tray = backend.get();
        window = std::make_unique<CKavriluneDlg>(std::move(backend));
        EXPECT_TRUE(window->OnInitDialog());
        EXPECT_TRUE(testing_support::PumpUntil([this] { return window->isVisible(); }, 5000));
        return *window;
    }

    testing_support::TempProgramFolder program;
    QTemporaryDir locks;
    QTemporaryDir sockets;
    QTemporaryDir dataHome;
    QTemporaryDir configHome;
    std::unique_ptr<CKavriluneDlg> window;
    FakeTrayBackend* tray = nullptr;
};

} // namespace ui_testing
