#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class CInstanceLock;

// The program's command line: the switches of this process's own start or of a line another start
// handed over, the hand-over itself ("/reuse": the line goes to the running instance, and this start
// ends unshown) and ending every running instance ("/terminateall").
//
// UI thread only.
class CCommandLineRunner
{
public:
    // What a command line asks of the window.
    struct Hooks {
        // The General page's "Autoplay": play at start-up without "/play".
        std::function<bool()> autoplay;
        // "/duration", in seconds (0: no limit).
        std::function<void(int)> setDuration;
        // "/filename", already safe to be part of a path.
        std::function<void(const QString&)> setRecordingName;
        // Whether the station played next is to be recorded once it plays ("/record").
        std::function<void(bool)> setPendingRecord;
        // Asks about a running recording before another station plays; false when the user declined.
        std::function<bool()> confirmStopRecording;
        // Plays the station of that title and address, or the current station for an empty address.
        std::function<void(const QString& title, const QString& source)> play;
        // "/mute".
        std::function<void()> mute;
        // The own line only: shows or hides the window as soon as the event loop turns.
        std::function<void(bool show)> armStart;
        std::function<bool()> isShown;
        std::function<void()> bringToFront;
        // This start handed its line over: it ends without having been shown.
        std::function<void()> endUnshown;
        // The instance is on its way out.
        std::function<bool()> isClosing;
        std::function<void()> quit;
    };

    CCommandLineRunner(CInstanceLock& instanceLock, Hooks hooks);

    // Carries out a command line: this process's own for an empty text, else one handed over by
    // another start. 0 when the line was handed to a running instance.
    int ParseCommandLine(const QString& text);
    // Hands the line without its "/reuse" switch to the running instance; 0 when it took the line (this
    // instance is then ending), 1 when the line is to be carried out here.
    int ForwardCommandLine();
    // Another start handed its line over: 1 after carrying it out, 0 when there was none (or this
    // instance is ending and cannot carry it out).
    int OnCmdLine();
    // "/terminateall": ends every other instance; 0 when this process is to end (ExitCode says how), 1
    // when start-up goes on.
    int HandleTerminateAll();
    // The process's exit code when it ends before its event loop runs.
    int ExitCode() const { return m_exitCode; }
    // The program's arguments, the program first; the process's own unless a test set others.
    void SetArguments(const QStringList& arguments) { m_arguments = arguments; }
    QStringList Arguments() const;

private:
    CInstanceLock& m_instanceLock;
    Hooks m_hooks;
    QStringList m_arguments; // empty: the process's own
    int m_exitCode = 0;
};
