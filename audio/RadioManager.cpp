#include "audio/RadioManager.h"

#include "core/ErrorLog.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/SeException.h"
#include "core/WindowMessage.h"

#include <QDir>

#include <algorithm>
#include <chrono>

#include <ctime>
#include <malloc.h>

namespace
{

// More than this many whole seconds without the channel seen playing make the watchdog reconnect.
constexpr int64_t kSilenceLimitSeconds = 30;

// Registered at start-up, like every message the program uses.
[[maybe_unused]] const int kStatusMessageRegistered = PlayerStatusMessage();
[[maybe_unused]] const int kSpectrumMessageRegistered = RegisterWindowMessage("WM_KAVRILUNE_SPECTRUM_UPDATE");

int64_t Now()
{
    return int64_t(std::time(nullptr));
}

// A copy that keeps the source being played (a plain copy starts at the first source).
CStationItem CopyOf(const CStationItem& station)
{
    CStationItem copy(station);
    copy.SetCurrentSource(station.GetCurrentSource());
    return copy;
}

} // namespace

CRadioManager::CRadioManager(QObject* notifyWindow)
    : m_appFolder(GetAppFolder())
    , m_notifyWindow(notifyWindow)
{
}

CRadioManager::~CRadioManager()
{
    Shutdown(kShutdownWaitMs);
}

bool CRadioManager::Shutdown(int waitMs)
{
    if (m_shutDown)
        return true;
    m_shutDown = true;
    m_exit = true;
    std::vector<RadioPlayer*> players;
    {
        QMutexLocker lock(&m_lock);
        players.swap(m_players);
        m_currentPlayer = nullptr;
    }
    for (RadioPlayer* player : players) {
        player->DetachNotifyWindow();
        player->Abort();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    bool allEnded = true;
    for (RadioPlayer* player : players) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (player->WaitForThread(int(std::max<int64_t>(left.count(), 0)))) {
            delete player;
        } else {
            allEnded = false;
            WriteErrorLog("RadioManager", __LINE__, QStringLiteral("A player did not stop in time."));
        }
    }
    m_playerCount = 0;
    m_playing = false;
    m_reconnecting = false;
    m_recording = false;
    return allEnded;
}

void CRadioManager::SetPlayerOptions(
    int device, bool crossfade, int recorderBitrate, int netBufferMs, bool preBuffering, bool normalize)
{
    m_device = device;
    m_crossfade = crossfade;
    m_recorderBitrate = recorderBitrate;
    m_netBuffer = netBufferMs;
    m_preBuffering = preBuffering;
    m_normalize = normalize;
}

// --- playing ---

void CRadioManager::PlayStation(const CStationItem& station, bool /*ignored*/, bool keepActive)
{
    if (m_exit)
        return;
    if (!keepActive)
        m_wasActive = false;
    if (&station != &m_currentStation) {
        m_currentStation = station;
        m_currentStation.SetCurrentSource(station.GetCurrentSource());
    }
    Play(m_currentStation.GetTitle(), m_currentStation.GetCurrentSourceUrl());
}

void CRadioManager::Play(const QString& name, const QString& url)
{
    if (m_exit)
        return;
    InstallSeTranslator();
    try {
        AudioStream previousChannel = 0;
        {
            QMutexLocker lock(&m_lock);
            if (m_currentPlayer) {
                // A player nobody hears has nothing to fade from: the new one opens the output afresh.
                if (Heard())
                    previousChannel = m_currentPlayer->GetHandle();
                m_currentPlayer->Stop(m_crossfade);
            }
        }
        auto* player = new RadioPlayer(name, url, previousChannel, m_device, m_volume, m_crossfade, m_notifyWindow,
            m_netBuffer, m_recorderBitrate, m_preBuffering);
        ++m_playerCount;
        m_players.push_back(player);
        player->SetMute(m_muted);
        player->SetNormalize(m_normalize);
        player->SetOutputRequired(m_reconnecting);
        player->StartThread();
        player->SetEqualizerPreset(m_equalizerPreset);
        {
            QMutexLocker lock(&m_lock);
            m_currentPlayer = player;
        }
        m_playing = true;
        m_failed = false;
    } catch (CSeException* e) {
        e->Log("RadioManager", __LINE__);
        e->Delete();
    }
}

void CRadioManager::Stop(bool fade, bool restart)
{
    {
        QMutexLocker lock(&m_lock);
        StopRecording(true, restart);
        if (m_currentPlayer)
            m_currentPlayer->StopNow(fade);
    }
    if (!restart) {
        m_playing = false;
        m_failed = false;
        m_reconnecting = false;
    }
}

// --- recording ---

bool CRadioManager::StopRecording(bool forced, bool keepWish)
{
    if (!m_recording)
        return true;
    if (!forced && MessageBox(GetLangString(300), QString(), MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return false;
    QMutexLocker lock(&m_lock);
    if (m_currentPlayer)
        m_currentPlayer->StopRecording();
    // Also without a player: a wish the user cancelled must not come back with the next player.
    if (!keepWish)
        m_recording = false;
    return true;
}

bool CRadioManager::StartRecording(
    const QString& folder, const QString& fallbackName, int recorderBitrate, bool dontOverwrite)
{
    m_recording = true;
    bool result = true;
    QMutexLocker lock(&m_lock);
    InstallSeTranslator();
    try {
        if (m_currentPlayer && m_currentPlayer->IsRecording())
            return true;

        m_recordingFolder = folder;
        m_recordingFallbackName = fallbackName;
        m_recorderBitrate = recorderBitrate;
        m_dontOverwrite = dontOverwrite;

        QString directory = RecordingDirectory(folder);
        QDir().mkdir(directory);
        directory = JoinPath(directory, SafePathComponent(m_currentStation.GetTitle()));
        QDir().mkdir(directory);

        // A player still connecting has no stream to record yet: the wish waits until it plays.
        if (m_currentPlayer && m_currentPlayer->GetHandle()) {
            QString fileName = SafePathComponent(m_currentPlayer->GetStreamName());
            if (fileName.isEmpty())
                fileName = fallbackName;
            result = m_currentPlayer->StartRecording(JoinPath(directory, fileName), recorderBitrate, dontOverwrite);
        }
    } catch (CSeException* e) {
        e->Log("RadioManager", __LINE__);
        e->Delete();
    }
    m_recording = result;
    return result;
}

bool CRadioManager::RestartRecording()
{
    return StartRecording(m_recordingFolder, m_recordingFallbackName, m_recorderBitrate, m_dontOverwrite);
}

void CRadioManager::SyncRecordingState()
{
    QMutexLocker lock(&m_lock);
    // A player without a stream cannot record yet; the wish waits for it.
    if (!m_currentPlayer || !m_recording || !m_currentPlayer->GetHandle() || m_currentPlayer->IsRecording())
        return;
    // A recording that failed on this player (a full disk, a folder gone) is not tried again over and
    // over: the wish ends with the failure, and the user asks anew.
    if (m_currentPlayer->HasRecordingFailed()) {
        m_recording = false;
        return;
    }
    RestartRecording();
}

QString CRadioManager::RecordingDirectory(const QString& folder) const
{
    if (QDir::isAbsolutePath(folder))
        return folder;
    return QDir::cleanPath(m_appFolder + folder);
}

QString CRadioManager::JoinPath(const QString& first, const QString& second)
{
    if (QDir::isAbsolutePath(second) || first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    if (first.endsWith(u'/'))
        return first + second;
    return first + u'/' + second;
}

QString CRadioManager::SafePathComponent(const QString& text)
{
    const QString safe = CRecorder::FitToBytes(CRecorder::MakeSafeFileName(text), CRecorder::kMaxFileNameBytes);
    // "." and ".." would lead out of the folder they are meant to name.
    if (!safe.isEmpty() && safe.count(u'.') == safe.size())
        return QString();
    return safe;
}

// --- watchdog ---

void CRadioManager::PostWatchdogStatus()
{
    PostWindowMessage(m_notifyWindow, PlayerStatusMessage(), WPARAM(PlayerStatusCannotConnect), 0);
}

void CRadioManager::OnWatchdogTick()
{
    InstallSeTranslator();
    try {
        bool hasPlayer = false;
        {
            QMutexLocker lock(&m_lock);
            hasPlayer = m_currentPlayer != nullptr;
        }
        // Only a failure is reported: no player although one should play, or the station failed. A
        // user's stop (or nothing played yet) says nothing.
        if (!hasPlayer && !m_wasActive && !m_reconnecting && (m_playing || m_failed)) {
            m_failed = true;
            m_playing = false;
            m_recording = false;
            PostWatchdogStatus();
        }

        SyncRecordingState();

        const int64_t now = Now();
        if (m_lastActivity == 0) {
            m_wasActive = false;
            m_lastActivity = now;
        }
        if (!m_playing) {
            m_lastActivity = now;
            return;
        }
        // A station whose output went away is tried again at every tick until an output opens.
        const bool outputWanted = m_reconnecting && m_awaitingOutput && !hasPlayer;
        if (outputWanted || now - m_lastActivity > kSilenceLimitSeconds) {
            const bool recording = m_recording;
            if (recording)
                StopRecording(true, true);
            Stop(false, true);
            PlayStation(CopyOf(m_currentStation), false, true);
            // The new player has no stream yet: the recording resumes once it has one.
            if (recording)
                SyncRecordingState();
            m_lastActivity = now;
        }
        QMutexLocker lock(&m_lock);
        if (m_currentPlayer && m_currentPlayer->IsPlaying()) {
            m_lastActivity = now;
            m_wasActive = true;
        }
    } catch (CSeException* e) {
        e->Log("RadioManager", __LINE__);
        e->Delete();
    }
}

// --- volume, mute, equaliser ---

void CRadioManager::SetVolume(int volume)
{
    m_volume = volume;
    QMutexLocker lock(&m_lock);
    if (m_currentPlayer)
        m_currentPlayer->SetVolume(volume);
}

void CRadioManager::SetMute(bool mute)
{
    m_muted = mute;
    QMutexLocker lock(&m_lock);
    if (m_currentPlayer)
        m_currentPlayer->SetMute(mute);
}

void CRadioManager::SetEqualizerPreset(int preset)
{
    m_equalizerPreset = preset;
    QMutexLocker lock(&m_lock);
    if (m_currentPlayer)
        m_currentPlayer->SetEqualizerPreset(preset);
}

// --- the current player's values ---

int CRadioManager::GetBufferPercent()
{
    QMutexLocker lock(&m_lock);
    return m_currentPlayer ? m_currentPlayer->GetBufferPercent() : 0;
}

int64_t CRadioManager::GetElapsedTime()
{
    QMutexLocker lock(&m_lock);
    return m_currentPlayer ? m_currentPlayer->GetElapsed() : 0;
}

int CRadioManager::GetBitrate()
{
    QMutexLocker lock(&m_lock);
    return m_currentPlayer ? m_currentPlayer->GetBitrate() : 0;
}

QString CRadioManager::GetStreamName()
{
    QMutexLocker lock(&m_lock);
    return m_currentPlayer ? m_currentPlayer->GetStreamName() : QString();
}

QString CRadioManager::GetStreamTitle()
{
    QMutexLocker lock(&m_lock);
    return m_currentPlayer ? m_currentPlayer->GetNextTitle() : QString();
}

QString CRadioManager::GetStreamInfo()
{
    QMutexLocker lock(&m_lock);
    return m_currentPlayer ? m_currentPlayer->GetInfoText() : QString();
}

bool CRadioManager::Heard() const
{
    QMutexLocker lock(&m_lock);
    if (!m_currentPlayer || m_currentPlayer->PlaysWithoutSound())
        return false;
    if (m_reconnecting && m_currentPlayer->IsPlaying())
        m_reconnecting = false; // back
    return !m_reconnecting;
}

bool CRadioManager::IsPlaying() const
{
    if (!m_playing)
        return false;
    QMutexLocker lock(&m_lock);
    return m_currentPlayer ? Heard() : !m_reconnecting;
}

bool CRadioManager::PlaysWithoutSound() const
{
    QMutexLocker lock(&m_lock);
    return m_currentPlayer && m_currentPlayer->PlaysWithoutSound();
}

bool CRadioManager::IsCurrentPlayer(RadioPlayer* player)
{
    QMutexLocker lock(&m_lock);
    return player && player == m_currentPlayer;
}

void CRadioManager::DeletePlayer(RadioPlayer* player)
{
    QMutexLocker lock(&m_lock);
    const auto found = std::find(m_players.begin(), m_players.end(), player);
    if (!player || found == m_players.end())
        return;
    if (player == m_currentPlayer) {
        m_currentPlayer = nullptr;
        // The current player ends only by a stop or a failure. A station that has played, or whose
        // output went away, is brought back by the watchdog and is not heard meanwhile; after any other
        // failure nothing plays any more.
        if (m_playing && (m_wasActive || m_reconnecting || player->LostOutput())) {
            m_reconnecting = true;
            m_awaitingOutput = player->LostOutput();
        } else if (!m_wasActive) {
            m_failed = m_failed || m_playing;
            m_playing = false;
            m_recording = false;
        }
    }
    m_players.erase(found);
    --m_playerCount;
    // Status 12 is the thread's last act, so it ends at once; the wait makes sure it has left the
    // player's code before the player goes.
    if (player->WaitForThread(kFinishedThreadWaitMs))
        delete player;
    else
        WriteErrorLog("RadioManager", __LINE__, QStringLiteral("A finished player's thread did not end."));
    // A player's streams free their buffers between blocks others still use, and the allocator keeps
    // such pages resident: play after play, the program's memory would creep up. Once the last player
    // has gone, what is free goes back to the system; not earlier, for the trim holds each arena while
    // it hands pages back, and a playing stream's thread would wait for it.
    const bool none = m_players.empty();
    lock.unlock();
    if (none)
        malloc_trim(0);
}

// --- station ---

void CRadioManager::SetCurrentStation(const CStationItem& station)
{
    m_currentStation = station;
    m_currentStation.SetCurrentSource(station.GetCurrentSource());
}

void CRadioManager::GetCurrentStation(CStationItem& station) const
{
    station = m_currentStation;
    station.SetCurrentSource(m_currentStation.GetCurrentSource());
}

QString CRadioManager::GetStationName() const
{
    return m_currentStation.GetTitle();
}

QString CRadioManager::GetStationUrl() const
{
    return m_currentStation.GetCurrentSourceUrl();
}

void CRadioManager::DrawSpectrum(CSoundDisplay& renderer)
{
    QMutexLocker lock(&m_lock);
    renderer.Render(m_currentPlayer, m_muted, m_playing, m_recording);
}
