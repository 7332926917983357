// The command line: the window's side of the switches of this process's own start or of a line another
// start handed over, the hand-over itself ("/reuse") and ending every running instance
// ("/terminateall"), which the command-line runner carries out.

#include "ui/mainwindow/KavriluneDlg.h"

#include "ui/stationlist/StationsListCtrl.h"

void CKavriluneDlg::CreateCommandLineRunner()
{
    CCommandLineRunner::Hooks hooks;
    hooks.autoplay = [this] { return m_general.m_autoplay; };
    hooks.setDuration = [this](int seconds) { m_duration = seconds; };
    hooks.setRecordingName = [this](const QString& name) { SetRecordingName(name); };
    hooks.setPendingRecord = [this](bool record) { SetPendingRecord(record); };
    hooks.confirmStopRecording = [this] { return ConfirmStopRecording(false); };
    hooks.play = [this](const QString& title, const QString& source) {
        CStationItem station;
        if (!source.isEmpty())
            m_list->FindOrAddStation(station, title, source);
        else
            m_radio.GetCurrentStation(station);
        PlayStation(station, true);
    };
    hooks.mute = [this] {
        m_radio.SetMute(true);
        UpdateMuteButton();
    };
    hooks.armStart = [this](bool show) { m_timers.Set(show ? kTimerShow : kTimerHide, show ? 0 : 250); };
    hooks.isShown = [this] { return IsShown(); };
    hooks.bringToFront = [this] { BringToFront(); };
    hooks.endUnshown = [this] {
        m_settings->SkipSaveAtExit();
        OnExit();
    };
    hooks.isClosing = [this] { return m_closing; };
    hooks.quit = [this] { QuitApplication(); };
    m_commandLine = std::make_unique<CCommandLineRunner>(m_instanceLock, std::move(hooks));
}

void CKavriluneDlg::SetArguments(const QStringList& arguments)
{
    m_commandLine->SetArguments(arguments);
}

int CKavriluneDlg::ExitCode() const
{
    return m_commandLine->ExitCode();
}

int CKavriluneDlg::ParseCommandLine(const QString& text)
{
    return m_commandLine->ParseCommandLine(text);
}

LRESULT CKavriluneDlg::OnCmdLine()
{
    return m_commandLine->OnCmdLine();
}

int CKavriluneDlg::HandleTerminateAll()
{
    return m_commandLine->HandleTerminateAll();
}
