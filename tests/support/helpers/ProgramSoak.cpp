#include "tests/support/helpers/ProgramSoak.h"
#include "tests/support/TempProgramFolder.h"

#include "core/InstanceMessenger.h"
#include "tests/support/IcecastServer.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/VirtualDisplay.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>

#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

using namespace testing_support;

namespace
{

constexpr int kStartMs = 30000; // for the program's window to show
constexpr int kHandOverLimitMs = 20000; // a start that hands its line over ends well within this
constexpr int kQuestionCheckMs = 400;
constexpr int kRecordingWaitMs = 6000; // for a recording asked for to show and grow
constexpr int kSettleMs = 8000; // a stopped player fades out and finishes (7.1 s at most with crossfade)
constexpr int kExitLimitMs = 10000;
const QString kPictureArtTitle = QStringLiteral("Kavrilune album art");

// A cover for every title the album-art window looks up.
QByteArray CoverPicture()
{
    QImage cover(200, 200, QImage::Format_RGB32);
    QPainter painter(&cover);
    QLinearGradient sky(0, 0, 0, 200);
    sky.setColorAt(0.0, QColor(18, 14, 52));
    sky.setColorAt(1.0, QColor(255, 122, 89));
    painter.fillRect(cover.rect(), sky);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    cover.save(&buffer, "JPG", 85);
    return bytes;
}

QStringList FileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

ProgramSoak::ProgramSoak(const QString& stagedFolder)
    : m_staged(stagedFolder)
    , m_sharedMemory(QStringLiteral("/kavrilune-soak-%1").arg(getpid()))
{
}

ProgramSoak::~ProgramSoak()
{
    for (HandOver& start : m_handOvers)
        start.process->kill();
    for (HandOver& start : m_handOvers)
        start.process->waitForFinished(5000);
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(5000);
    }
    m_xServer.reset();
    shm_unlink(m_sharedMemory.toUtf8().constData());
    CInstanceMessenger::SetFolderOverride({});
}

QProcessEnvironment ProgramSoak::Environment() const
{
    QProcessEnvironment environment = ProgramEnvironment(m_display, m_sharedMemory, m_locks.path(), m_home.path());
    environment.insert("KAVRILUNE_IMAGE_HOST", m_imageHost);
    return environment;
}

QString ProgramSoak::Tool(const QStringList& arguments) const
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", m_display);
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    tool.waitForFinished(10000);
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

bool ProgramSoak::SetUp(const QString& station)
{
    m_xServer.emplace();
    m_display = m_xServer->Name();
    if (m_display.isEmpty()) {
        std::fprintf(stderr, "program soak: Xvfb could not be started\n");
        return false;
    }

    if (!CopyFolder(m_staged, m_folder.path()) || !QDir().mkpath(m_home.path() + "/runtime")) {
        std::fprintf(stderr, "program soak: the program folder could not be made from %s\n", qPrintable(m_staged));
        return false;
    }
    QFile::setPermissions(
        m_home.path() + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile settings(m_folder.filePath("Kavrilune.xml"));
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    settings.write(QStringLiteral("<?xml version=\"1.0\"?><XMLConfigSettings><General>"
                                  "<Autoplay>0</Autoplay><Check_updates>0</Check_updates><Crossfade>1</Crossfade>"
                                  "<GlobalHotkeys>1</GlobalHotkeys><Volume>80</Volume>"
                                  "<Station_URL>%1</Station_URL><Station_Title>MP3 station</Station_Title>"
                                  "<Window_x>20</Window_x><Window_y>40</Window_y>"
                                  "<PictureArt><x>700</x><y>300</y><visible>1</visible></PictureArt>"
                                  "</General><Recordings><Folder>%2</Folder></Recordings></XMLConfigSettings>")
                       .arg(station, m_folder.filePath("Recordings"))
                       .toUtf8());
    settings.close();
    CInstanceMessenger::SetFolderOverride(m_locks.path());

    m_program.setProcessEnvironment(Environment());
    m_program.setStandardOutputFile(m_folder.filePath("program-output.txt"), QIODevice::Append);
    m_program.setStandardErrorFile(m_folder.filePath("program-output.txt"), QIODevice::Append);
    m_program.start(m_folder.filePath("kavrilune"), {});
    if (!m_program.waitForStarted(5000)) {
        std::fprintf(stderr, "program soak: the program did not start\n");
        return false;
    }
    PumpUntil(
        [&] {
            m_mainWindow = Tool({ "search", "--onlyvisible", "--pid", QString::number(m_program.processId()) })
                               .section('\n', 0, 0);
            return !m_mainWindow.isEmpty() || m_program.state() == QProcess::NotRunning;
        },
        kStartMs);
    if (m_mainWindow.isEmpty()) {
        std::fprintf(stderr, "program soak: the program's window did not show\n");
        return false;
    }
    m_knownWindows.insert(m_mainWindow);
    // Away from the window: no tooltip is ever shown.
    Tool({ "mousemove", "1270", "890" });
    m_questionCheck.start();
    return true;
}

void ProgramSoak::HandOverLine(const QStringList& switches)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(Environment());
    process->setStandardOutputFile(m_folder.filePath("program-output.txt"), QIODevice::Append);
    process->setStandardErrorFile(m_folder.filePath("program-output.txt"), QIODevice::Append);
    process->start(m_folder.filePath("kavrilune"), QStringList { QStringLiteral("/reuse") } + switches);
    m_lastAction = "/reuse " + switches.join(u' ');
    ++m_handOverCount;
    HandOver start { std::move(process), {} };
    start.age.start();
    m_handOvers.push_back(std::move(start));
}

void ProgramSoak::Keys(const QString& keys)
{
    Tool({ "key", "--clearmodifiers", keys });
    m_lastAction = keys;
}

void ProgramSoak::RunFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        PumpFor(std::min<qint64>(100, ms - clock.elapsed()));
        if (m_questionCheck.elapsed() >= kQuestionCheckMs) {
            AnswerQuestions();
            CollectHandOvers(false);
            m_questionCheck.restart();
        }
    }
}

void ProgramSoak::AnswerQuestions()
{
    if (m_program.state() == QProcess::NotRunning) {
        m_programEnded = true;
        return;
    }
    const QStringList windows
        = Tool({ "search", "--onlyvisible", "--pid", QString::number(m_program.processId()) }).split(u'\n');
    for (const QString& window : windows) {
        if (window.isEmpty() || m_knownWindows.contains(window))
            continue;
        if (Tool({ "getwindowname", window }) == kPictureArtTitle) {
            m_knownWindows.insert(window);
            continue;
        }
        // Yes is the question's default button.
        ++m_questions;
        std::printf("program soak: a question answered after %s\n", qPrintable(m_lastAction));
        Tool({ "windowfocus", "--sync", window });
        Tool({ "key", "Return" });
    }
}

void ProgramSoak::CollectHandOvers(bool waitForAll)
{
    for (auto it = m_handOvers.begin(); it != m_handOvers.end();) {
        QProcess& process = *it->process;
        if (waitForAll)
            PumpUntil([&] { return process.state() == QProcess::NotRunning; },
                int(std::max<qint64>(0, kHandOverLimitMs - it->age.elapsed())));
        if (process.state() != QProcess::NotRunning && it->age.elapsed() < kHandOverLimitMs) {
            ++it;
            continue;
        }
        const qint64 ms = it->age.elapsed();
        if (process.state() != QProcess::NotRunning) {
            // It became an instance of its own: the running program did not take the line.
            std::printf("program soak: a hand-over start still runs after %lld ms\n", static_cast<long long>(ms));
            process.kill();
            process.waitForFinished(5000);
            ++m_handOverFailures;
        } else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            std::printf("program soak: a hand-over start ended with %s %d\n",
                process.exitStatus() == QProcess::NormalExit ? "code" : "a crash, code", process.exitCode());
            ++m_handOverFailures;
        } else {
            m_slowestHandOverMs = std::max(m_slowestHandOverMs, ms);
        }
        it = m_handOvers.erase(it);
    }
}

bool ProgramSoak::RecordingGrows()
{
    auto newest = [this] {
        QFileInfo found;
        QDirIterator files(m_folder.filePath("Recordings"), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QFileInfo file(files.next());
            if (!found.exists() || file.lastModified() > found.lastModified())
                found = file;
        }
        return found;
    };
    // The recording starts once the player plays, which may take a while after a hand-over.
    QElapsedTimer clock;
    clock.start();
    QFileInfo before = newest();
    while (clock.elapsed() < kRecordingWaitMs) {
        RunFor(500);
        const QFileInfo after = newest();
        if (before.exists() && after.filePath() == before.filePath() && after.size() > before.size())
            return true;
        before = after;
    }
    return false;
}

void ProgramSoak::StopRecordingIfRunning()
{
    // The Rec hot key starts a recording when none runs: it is pressed only for one that is seen growing.
    // A recording wish with no file growing (a source that is away) is met by the next play's or stop's
    // question instead.
    if (!RecordingGrows())
        return;
    Keys(QStringLiteral("alt+shift+r"));
    ++m_recordingsStopped;
}

soak::SoakActions ProgramSoak::Actions()
{
    soak::SoakActions actions;
    actions.play = [this](const QString& name, const QString& url) {
        HandOverLine({ QStringLiteral("/play"), "/source=" + url, "/station=" + name });
    };
    actions.playAndRecord = [this](const QString& name, const QString& url) {
        HandOverLine({ QStringLiteral("/record"), QStringLiteral("/play"), "/source=" + url, "/station=" + name });
    };
    actions.startRecording = [this] { HandOverLine({ QStringLiteral("/record") }); };
    actions.stopRecording = [this] { StopRecordingIfRunning(); };
    actions.stop = [this] { Keys(QStringLiteral("alt+shift+s")); };
    actions.run = [this](int ms) { RunFor(ms); };
    actions.waitUntilIdle = [this] {
        RunFor(kSettleMs);
        CollectHandOvers(true);
        return true;
    };
    actions.measure = [this](const QElapsedTimer& clock) {
        if (m_program.state() == QProcess::NotRunning)
            m_programEnded = true;
        return soak::Measure(QStringLiteral("/proc/%1").arg(m_program.processId()), clock);
    };
    return actions;
}

bool ProgramSoak::EndProgram()
{
    QElapsedTimer clock;
    clock.start();
    CInstanceMessenger::SendInstanceMessage(m_program.processId(), "WM_KAVRILUNE_TERMINATE", 0, 1, 5000);
    const bool ended = PumpUntil([this] { return m_program.state() == QProcess::NotRunning; }, kExitLimitMs);
    const bool clean = ended && m_program.exitStatus() == QProcess::NormalExit && m_program.exitCode() == 0;
    std::printf("program soak: the program %s in %lld ms\n", clean ? "ended" : "did NOT end cleanly",
        static_cast<long long>(clock.elapsed()));
    return clean;
}

int ProgramSoak::Run(double minutes, double warmupMinutes)
{
    IcecastServer server;
    if (!soak::StartSources(server, "program soak"))
        return 2;
    LoopbackHttpServer images;
    images.RouteFixed("/images", 200, "text/html",
        ("<html><body><div id=ires><a href=/cover target=_blank><img src=" + images.Url("/cover.jpg")
            + " width=200 height=200></a></div></body></html>")
            .toUtf8());
    images.RouteFixed("/cover.jpg", 200, "image/jpeg", CoverPicture());
    m_imageHost = images.Url();
    if (!SetUp(server.Url(QStringLiteral("/mp3"))))
        return 2;

    soak::SoakActions actions = Actions();
    const soak::SoakRun run = soak::RunCycles(actions, server, QStringLiteral("/mp3"), QStringLiteral("/ogg"),
        m_folder.filePath("Recordings"), minutes, warmupMinutes);
    CollectHandOvers(true);
    const bool ended = EndProgram();

    QStringList logLines;
    const QDir logs(m_folder.filePath("Log"));
    for (const QString& name : logs.entryList({ QStringLiteral("log - *.txt") }, QDir::Files))
        logLines += FileLines(logs.filePath(name));
    bool ok = soak::ReportRun("program soak", run, warmupMinutes, logLines);
    std::printf("program soak: %d hand-over starts, %d failed, slowest %lld ms; %d recordings stopped with the "
                "hot key, %d questions answered\n",
        m_handOverCount, m_handOverFailures, static_cast<long long>(m_slowestHandOverMs), m_recordingsStopped,
        m_questions);
    const QStringList output = FileLines(m_folder.filePath("program-output.txt"));
    std::printf("program soak: %lld lines of program output\n", static_cast<long long>(output.size()));
    for (const QString& line : output.mid(0, 20))
        std::printf("  %s\n", qPrintable(line));
    auto fail = [&ok](const char* why) {
        std::printf("program soak: FAILED: %s\n", why);
        ok = false;
    };
    if (m_programEnded)
        fail("the program ended during the soak");
    if (m_handOverFailures > 0)
        fail("hand-over starts that did not end cleanly");
    if (!ended)
        fail("the program did not end cleanly when told to");
    return ok ? 0 : 1;
}
