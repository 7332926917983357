#pragma once

#include "tests/support/VirtualDisplay.h"
#include "tests/support/helpers/SoakCycle.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <vector>

// The soak of the whole program: the staged program runs from a temporary program folder on a virtual
// X display of its own, with the environment's knobs for its shared memory, lock and socket folders,
// SDL's dummy audio and no update checks. Every few seconds a new start hands its command line over
// ("/reuse /play /source=... /station=...", "/reuse /record"); recordings and playback are stopped
// with the program's global hot keys, the command line having no switch for them. A question the
// program asks (stop the recording?) is answered with Yes and counted. The figures are the program
// process's, read from /proc/<pid>; the error-log lines are those of its program folder.
class ProgramSoak
{
public:
    explicit ProgramSoak(const QString& stagedFolder);
    ~ProgramSoak();

    // 0 when every limit held, 1 when one did not, 2 on a set-up failure.
    int Run(double minutes, double warmupMinutes);

private:
    struct HandOver {
        std::unique_ptr<QProcess> process;
        QElapsedTimer age;
    };

    bool SetUp(const QString& station);
    QProcessEnvironment Environment() const;
    QString Tool(const QStringList& arguments) const;
    void HandOverLine(const QStringList& switches);
    void Keys(const QString& keys);
    // Pumps for that long, answering questions and collecting the ended hand-over starts.
    void RunFor(int ms);
    void AnswerQuestions();
    void CollectHandOvers(bool waitForAll);
    // Whether the newest recording grows within a second.
    bool RecordingGrows();
    void StopRecordingIfRunning();
    soak::SoakActions Actions();
    bool EndProgram();

    QString m_staged;
    QTemporaryDir m_folder; // the program folder
    QTemporaryDir m_home; // data, configuration and runtime folders
    QTemporaryDir m_locks; // instance slots and sockets
    QString m_sharedMemory;
    QString m_display;
    std::optional<testing_support::VirtualDisplay> m_xServer;
    QString m_imageHost; // the album art's image search
    QProcess m_program;
    QString m_mainWindow;
    QSet<QString> m_knownWindows; // the main and the album-art window
    std::vector<HandOver> m_handOvers;
    QElapsedTimer m_questionCheck;
    QString m_lastAction; // for the report of a question

    int m_handOverCount = 0;
    int m_handOverFailures = 0;
    qint64 m_slowestHandOverMs = 0;
    int m_questions = 0;
    int m_recordingsStopped = 0;
    bool m_programEnded = false;
};
