// Plays a URL stream through the audio library for a number of seconds, with the settings the
// player uses, and reports how long the stream took from creation to playing, and when its first
// stream bytes came (what the server's answer took of that). For end-to-end measurements
// (bench/audio-library-stream.sh).
//
//     kavrilune_stream_play URL SECONDS [DEVICE]

#include "audio/library/AudioLibrary.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

std::atomic<uint64_t> downloaded { 0 };
std::atomic<int> stalls { 0 };
std::atomic<Clock::rep> firstBytesAt { 0 }; // download thread: when the first stream bytes came

void CountBytes(const void*, uint32_t length, void*)
{
    if (length > 0 && downloaded.fetch_add(length) == 0)
        firstBytesAt = Clock::now().time_since_epoch().count();
}

double MsSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

void CountStalls(AudioSync, uint32_t, uint32_t data, void*)
{
    if (data == 0)
        ++stalls;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s URL SECONDS [DEVICE]\n", argv[0]);
        return 1;
    }
    const char* url = argv[1];
    const int seconds = std::atoi(argv[2]);
    const int device = argc > 3 ? std::atoi(argv[3]) : AUDIO_DEVICE_NO_SOUND;
    if (!BASS_Init(device, 44100, AUDIO_INIT_SPEAKERS)) {
        std::fprintf(stderr, "cannot initialise device %d: error %d\n", device, BASS_ErrorGetCode());
        return 2;
    }
    BASS_SetConfig(AUDIO_CONFIG_VOLUME_CURVE, 0);
    BASS_SetConfig(AUDIO_CONFIG_BUFFER, 500);
    BASS_SetConfig(AUDIO_CONFIG_NET_BUFFER, 4000);
    BASS_SetConfig(AUDIO_CONFIG_NET_PREBUFFER, 100);
    BASS_SetConfig(AUDIO_CONFIG_NET_TIMEOUT, 30000);
    BASS_SetConfig(AUDIO_CONFIG_NET_PLAYLIST, 1);
    BASS_SetConfig(AUDIO_CONFIG_UPDATE_THREADS, 4);

    const auto created = Clock::now();
    const AudioStream stream = BASS_StreamCreateURL(
        url, 0, AUDIO_STREAM_STATUS | AUDIO_STREAM_BLOCK | AUDIO_STREAM_AUTOFREE, &CountBytes, nullptr);
    if (!stream) {
        std::fprintf(stderr, "cannot open %s: error %d\n", url, BASS_ErrorGetCode());
        BASS_Free();
        return 3;
    }
    BASS_ChannelSetSync(stream, AUDIO_SYNC_STALL | AUDIO_SYNC_MIXTIME, 0, &CountStalls, nullptr);
    if (!BASS_ChannelPlay(stream, false)) {
        std::fprintf(stderr, "cannot play: error %d\n", BASS_ErrorGetCode());
        BASS_Free();
        return 4;
    }
    const auto playing = Clock::now();
    const Clock::time_point firstBytes { Clock::duration(firstBytesAt.load()) };
    std::printf("creation to playing: %.1f ms\n", MsSince(created, playing));
    if (firstBytesAt.load() != 0)
        std::printf("creation to first stream bytes: %.1f ms\n", MsSince(created, firstBytes));
    std::fflush(stdout);

    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const uint32_t state = BASS_ChannelIsActive(stream);
    std::printf("state after %d s: %u, stalls: %d, bytes downloaded: %llu\n", seconds, state, stalls.load(),
        static_cast<unsigned long long>(downloaded.load()));
    BASS_ChannelStop(stream);
    BASS_Free();
    return state == AUDIO_ACTIVE_PLAYING ? 0 : 5;
}
