#include "audio/library/PulseOutput.h"

#include "audio/library/AudioLibrary.h"
#include "audio/library/Mixer.h"

#include "core/ErrorLog.h"

#include <BuildInfo.h>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace
{

// What the server keeps queued for us. With the sink's latency adjusted to the stream, the target
// is all that lies between the mixer and the ear. The server spends its time for a stream on
// wake-ups, its sink's above all: it gives the sink half of what the target leaves after twice the
// least request, and asks us for whatever the sink took each time it mixed. A long target and a
// small least request thus give the sink the longest latency, and the fewest wake-ups on both sides.
// A change that must be heard at once does not wait for the queue: the mixer mixes it again.
constexpr pa_usec_t kTargetUs = 450 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kRequestUs = 5 * PA_USEC_PER_MSEC;
// What may be mixed again: the queue, and what the sink may hold beyond the target.
constexpr pa_usec_t kRemixUs = kTargetUs + 150 * PA_USEC_PER_MSEC;
// What is left alone in front of the ear when the queue is mixed again: the time between asking the
// server how much lies ahead and its taking the new sound. A sink that cannot take back what it holds
// (one without a latency of its own to adjust: a pipe, a Bluetooth headset, a sound card the server
// does not drive by its timer) is left as much as it may hold as well.
constexpr pa_usec_t kRemixMarginUs = 10 * PA_USEC_PER_MSEC;
// PipeWire's PulseAudio service takes back only what is still in the stream's own queue, not what its
// graph has pulled from it, and the graph pulls a whole cycle at a time (a few tens of milliseconds on
// a desktop). There a rewrite starts this far behind the server's read point, which it reads afresh:
// a rewrite that began in front of it would lose its head, and with it the fade of a stopped channel.
constexpr pa_usec_t kGraphMarginUs = 50 * PA_USEC_PER_MSEC;
// PipeWire's timing answers, as libpulse interpolates them, put the ear too far back by up to 0.2 s;
// there the ear is the server's read point by its last answer, asked for this often.
constexpr pa_usec_t kTimingRefreshUs = 100 * PA_USEC_PER_MSEC;
// Connecting and each query: a server that does not answer in this time counts as absent.
constexpr pa_usec_t kAnswerTimeoutUs = 3 * PA_USEC_PER_SEC;
constexpr int kFrameBytes = 4; // 16-bit stereo

void SignalLoop(pa_threaded_mainloop* loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

bool UsableState(pa_stream_state_t state)
{
    return PA_STREAM_IS_GOOD(state);
}

} // namespace

// A connection to the server on a mainloop thread of its own. Every member is used with the
// mainloop's lock held, but the constructor's and destructor's.
struct CPulseOutput::Connection {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool late = false; // a wait ran out

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { Close(); }

    // Starts the thread and connects; leaves the lock held either way when the thread runs. AUDIO_OK,
    // AUDIO_ERROR_TIMEOUT when a server took the connection but did not answer in time, or
    // AUDIO_ERROR_DRIVER when there is none to connect to.
    int Open()
    {
        loop = pa_threaded_mainloop_new();
        if (!loop)
            return AUDIO_ERROR_DRIVER;
        if (pa_threaded_mainloop_start(loop) < 0) {
            pa_threaded_mainloop_free(loop);
            loop = nullptr;
            return AUDIO_ERROR_DRIVER;
        }
        pa_threaded_mainloop_lock(loop);
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), KAVRILUNE_PRODUCT_NAME);
        if (!context)
            return AUDIO_ERROR_DRIVER;
        pa_context_set_state_callback(
            context, [](pa_context*, void* user) { SignalLoop(static_cast<pa_threaded_mainloop*>(user)); }, loop);
        // Never start a server: the one the desktop runs, or none.
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return AUDIO_ERROR_DRIVER;
        WaitUntil([this] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        if (pa_context_get_state(context) == PA_CONTEXT_READY)
            return AUDIO_OK;
        return late || pa_context_errno(context) == PA_ERR_TIMEOUT ? AUDIO_ERROR_TIMEOUT : AUDIO_ERROR_DRIVER;
    }

    // Waits on the mainloop until done() holds; false when the server took too long. A server that
    // has let one wait run out is deaf or stalled: while opening it is not waited for again.
    bool WaitUntil(const std::function<bool()>& done)
    {
        if (late)
            return done();
        bool expired = false;
        struct Alarm {
            pa_threaded_mainloop* loop;
            bool* expired;
        } alarm { loop, &expired };
        pa_time_event* timer = pa_context_rttime_new(
            context, pa_rtclock_now() + kAnswerTimeoutUs,
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* user) {
                auto* alarm = static_cast<Alarm*>(user);
                *alarm->expired = true;
                SignalLoop(alarm->loop);
            },
            &alarm);
        while (!done() && !expired)
            pa_threaded_mainloop_wait(loop);
        if (timer)
            pa_threaded_mainloop_get_api(loop)->time_free(timer);
        late = !done();
        return !late;
    }

    bool WaitFor(pa_operation* operation)
    {
        if (!operation)
            return false;
        const bool done = WaitUntil([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        if (!done)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return done;
    }

    // Ends the connection and the thread; called with the lock held or before the thread runs.
    void Close()
    {
        if (!loop)
            return;
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
        pa_threaded_mainloop_unlock(loop);
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
        loop = nullptr;
    }
};

int CPulseOutput::ListSinks(std::vector<Sink>& sinks)
{
    sinks.clear();
    Connection connection;
    if (const int opened = connection.Open(); opened != AUDIO_OK)
        return opened;
    struct Query {
        pa_threaded_mainloop* loop;
        std::vector<Sink>* sinks;
        std::string defaultSink;
    } query { connection.loop, &sinks, {} };
    const bool answered = connection.WaitFor(pa_context_get_server_info(
                              connection.context,
                              [](pa_context*, const pa_server_info* info, void* user) {
                                  auto* query = static_cast<Query*>(user);
                                  if (info && info->default_sink_name)
                                      query->defaultSink = info->default_sink_name;
                                  SignalLoop(query->loop);
                              },
                              &query))
        && connection.WaitFor(pa_context_get_sink_info_list(
            connection.context,
            [](pa_context*, const pa_sink_info* info, int eol, void* user) {
                auto* query = static_cast<Query*>(user);
                if (eol == 0 && info) {
                    Sink sink;
                    sink.name = info->name ? info->name : "";
                    sink.description = info->description && *info->description ? info->description : sink.name;
                    query->sinks->push_back(std::move(sink));
                }
                SignalLoop(query->loop);
            },
            &query));
    for (Sink& sink : sinks)
        sink.isDefault = sink.name == query.defaultSink;
    if (answered)
        return AUDIO_OK;
    sinks.clear();
    return connection.late ? AUDIO_ERROR_TIMEOUT : AUDIO_ERROR_DRIVER;
}

CPulseOutput::CPulseOutput(CMixer& mixer, int sampleRate)
    : m_mixer(mixer)
    , m_rate(sampleRate)
{
}

CPulseOutput::~CPulseOutput()
{
    Stop();
}

int CPulseOutput::Open(const std::string& sink)
{
    auto connection = std::make_unique<Connection>();
    if (const int opened = connection->Open(); opened != AUDIO_OK)
        return opened;
    pa_sample_spec spec {};
    spec.format = PA_SAMPLE_S16NE;
    spec.rate = uint32_t(m_rate);
    spec.channels = 2;
    m_stream = pa_stream_new(connection->context, "Radio", &spec, nullptr);
    if (!m_stream)
        return AUDIO_ERROR_DRIVER;
    m_loop = connection->loop;
    m_context = connection->context;
    m_connection = std::move(connection);
    pa_stream_set_state_callback(m_stream, &CPulseOutput::OnStreamState, this);
    pa_stream_set_write_callback(m_stream, &CPulseOutput::OnWrite, this);
    pa_stream_set_moved_callback(m_stream, &CPulseOutput::OnMoved, this);
    pa_buffer_attr attributes {};
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = uint32_t(pa_usec_to_bytes(kTargetUs, &spec));
    attributes.minreq = uint32_t(pa_usec_to_bytes(kRequestUs, &spec));
    // Sound starts as soon as there is any, not once the whole target is queued.
    attributes.prebuf = attributes.minreq;
    attributes.fragsize = uint32_t(-1);
    // The time between the write end and the ear is known at any moment, to mix again what lies in it.
    const int flags = PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING
        | PA_STREAM_AUTO_TIMING_UPDATE;
    int result = AUDIO_OK;
    if (pa_stream_connect_playback(
            m_stream, sink.empty() ? nullptr : sink.c_str(), &attributes, pa_stream_flags_t(flags), nullptr, nullptr)
            < 0
        || !m_connection->WaitUntil([this] { return pa_stream_get_state(m_stream) != PA_STREAM_CREATING; })
        || pa_stream_get_state(m_stream) != PA_STREAM_READY) {
        if (m_connection->late)
            result = AUDIO_ERROR_TIMEOUT;
        else
            result = pa_context_get_state(m_context) == PA_CONTEXT_READY ? AUDIO_ERROR_DEVICE : AUDIO_ERROR_DRIVER;
    } else {
        // With the sink's latency adjusted, the target is all that lies between the mixer and the ear:
        // the server keeps part of it in the stream's buffer, the rest in the sink's.
        m_latencyFrames = int(pa_usec_to_bytes(kTargetUs, &spec) / kFrameBytes);
        const int remixFrames = int(pa_usec_to_bytes(kRemixUs, &spec) / kFrameBytes);
        m_pipeWire = IsPipeWire();
        m_remixMarginFrames = int(pa_usec_to_bytes(m_pipeWire ? kGraphMarginUs : kRemixMarginUs, &spec) / kFrameBytes);
        m_rewrite.assign(size_t(remixFrames) * 2, 0);
        m_mixer.Prepare(m_rate, remixFrames);
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
        m_rewriteEvent = api->defer_new(api, &CPulseOutput::OnRewrite, this);
        if (m_rewriteEvent)
            api->defer_enable(m_rewriteEvent, 0);
        // Unanswered, the sink counts as one that rewinds.
        m_sinkRewinds = true;
        m_connection->WaitFor(AskWhetherTheSinkRewinds());
        m_connection->late = false; // opened: a later question waits its own time again
        m_opened = true;
    }
    pa_threaded_mainloop_unlock(m_loop);
    if (result != AUDIO_OK)
        Stop();
    return result;
}

bool CPulseOutput::Start()
{
    if (!m_loop)
        return false;
    pa_threaded_mainloop_lock(m_loop);
    const bool started = !m_failed && m_stream;
    if (started) {
        if (pa_operation* operation = pa_stream_cork(m_stream, 0, nullptr, nullptr))
            pa_operation_unref(operation);
    }
    pa_threaded_mainloop_unlock(m_loop);
    if (started)
        m_mixer.SetRewriter(this);
    return started;
}

void CPulseOutput::Stop()
{
    if (!m_connection)
        return;
    m_mixer.SetRewriter(nullptr); // waits for a rewrite under way
    pa_threaded_mainloop_lock(m_loop);
    if (m_rewriteEvent) {
        pa_threaded_mainloop_get_api(m_loop)->defer_free(m_rewriteEvent);
        m_rewriteEvent = nullptr;
    }
    m_rewriteWaits = false;
    if (m_timingUpdate) {
        pa_operation_cancel(m_timingUpdate);
        pa_operation_unref(m_timingUpdate);
        m_timingUpdate = nullptr;
    }
    if (m_stream) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    m_connection->Close(); // unlocks, ends the thread
    m_connection.reset();
    m_loop = nullptr;
    m_context = nullptr;
}

void CPulseOutput::OnStreamState(pa_stream* stream, void* user)
{
    auto& self = *static_cast<CPulseOutput*>(user);
    if (self.m_opened && !UsableState(pa_stream_get_state(stream)))
        self.Fail();
    SignalLoop(self.m_loop);
}

void CPulseOutput::OnWrite(pa_stream*, size_t bytes, void* user)
{
    static_cast<CPulseOutput*>(user)->Fill(bytes);
}

void CPulseOutput::OnMoved(pa_stream*, void* user)
{
    // The answer comes on this thread later; until then the old sink's counts.
    if (pa_operation* operation = static_cast<CPulseOutput*>(user)->AskWhetherTheSinkRewinds())
        pa_operation_unref(operation);
}

pa_operation* CPulseOutput::AskWhetherTheSinkRewinds()
{
    const char* sink = pa_stream_get_device_name(m_stream);
    if (!sink)
        return nullptr;
    return pa_context_get_sink_info_by_name(
        m_context, sink,
        [](pa_context*, const pa_sink_info* info, int eol, void* user) {
            auto& self = *static_cast<CPulseOutput*>(user);
            // The server rewinds the sinks whose latency it adjusts; the others render what they hold.
            if (eol == 0 && info) {
                self.m_sinkRewinds = (info->flags & PA_SINK_DYNAMIC_LATENCY) != 0;
                self.m_sinkLatencyFrames = int(info->configured_latency * pa_usec_t(self.m_rate) / PA_USEC_PER_SEC);
            }
            SignalLoop(self.m_loop);
        },
        this);
}

bool CPulseOutput::IsPipeWire()
{
    struct Query {
        pa_threaded_mainloop* loop;
        bool pipeWire = false;
    } query { m_loop };
    m_connection->WaitFor(pa_context_get_server_info(
        m_context,
        [](pa_context*, const pa_server_info* info, void* user) {
            auto* query = static_cast<Query*>(user);
            query->pipeWire = info && info->server_name && std::strstr(info->server_name, "PipeWire");
            SignalLoop(query->loop);
        },
        &query));
    return query.pipeWire;
}

int CPulseOutput::ServerQueueFrames(int sinkFrames)
{
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    if (!timing || timing->write_index_corrupt || timing->read_index_corrupt)
        return -1;
    const int64_t played = int64_t(pa_timeval_age(&timing->timestamp)) * m_rate / int64_t(PA_USEC_PER_SEC);
    return int(std::max<int64_t>((timing->write_index - timing->read_index) / kFrameBytes + sinkFrames - played, 0));
}

bool CPulseOutput::AskTiming()
{
    if (m_timingUpdate)
        return true;
    m_timingUpdate = pa_stream_update_timing_info(
        m_stream,
        [](pa_stream*, int, void* user) {
            auto& self = *static_cast<CPulseOutput*>(user);
            pa_operation_unref(self.m_timingUpdate);
            self.m_timingUpdate = nullptr;
            if (self.m_rewriteWaits)
                self.Rewrite();
        },
        this);
    return m_timingUpdate != nullptr;
}

void CPulseOutput::RefreshTiming()
{
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    if (timing && pa_timeval_age(&timing->timestamp) >= kTimingRefreshUs)
        AskTiming();
}

int CPulseOutput::QueuedFrames()
{
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(m_stream, &latency, &negative) < 0)
        return -1;
    return negative ? 0 : int(latency * pa_usec_t(m_rate) / PA_USEC_PER_SEC);
}

void CPulseOutput::Fill(size_t bytes)
{
    // Where a rewrite goes by the server's own count, that count is kept fresh.
    if (m_pipeWire || !m_sinkRewinds)
        RefreshTiming();
    // Until the server has told how much it holds, what it asks for is missing from its target.
    int ahead = m_pipeWire ? ServerQueueFrames() : QueuedFrames();
    if (ahead < 0)
        ahead = std::max(0, m_latencyFrames - int(bytes / kFrameBytes));
    while (bytes >= size_t(kFrameBytes)) {
        void* data = nullptr;
        size_t length = bytes;
        if (pa_stream_begin_write(m_stream, &data, &length) < 0 || !data) {
            m_scratch.resize(bytes / sizeof(int16_t));
            data = m_scratch.data();
            length = bytes;
        }
        length -= length % kFrameBytes;
        if (length == 0)
            break;
        m_mixer.Mix(static_cast<int16_t*>(data), int(length / kFrameBytes), false, ahead);
        if (pa_stream_write(m_stream, data, length, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            break;
        ahead += int(length / kFrameBytes);
        bytes -= std::min(bytes, length);
    }
}

void CPulseOutput::RewriteQueued()
{
    // The mainloop's lock is held only while its thread runs a callback, never while it waits for the
    // server: the request returns at once, and the rewrite runs on that thread before anything else.
    if (!m_loop)
        return;
    const bool inLoop = pa_threaded_mainloop_in_thread(m_loop);
    if (!inLoop)
        pa_threaded_mainloop_lock(m_loop);
    if (m_rewriteEvent)
        pa_threaded_mainloop_get_api(m_loop)->defer_enable(m_rewriteEvent, 1);
    if (!inLoop)
        pa_threaded_mainloop_unlock(m_loop);
}

void CPulseOutput::OnRewrite(pa_mainloop_api* api, pa_defer_event* event, void* user)
{
    api->defer_enable(event, 0);
    static_cast<CPulseOutput*>(user)->Rewrite();
}

void CPulseOutput::Rewrite()
{
    // What lies between the ear and the write end, but a margin in front of the ear, is mixed again and
    // written over the queue; the server takes back from its sink what it holds of it. A sink that cannot
    // is left what it holds.
    int queued = -1;
    int margin = m_remixMarginFrames;
    const bool usable = m_stream && !m_failed && pa_stream_get_state(m_stream) == PA_STREAM_READY;
    const pa_timing_info* timing = usable ? pa_stream_get_timing_info(m_stream) : nullptr;
    const bool counted = timing && !timing->write_index_corrupt && !timing->read_index_corrupt;
    if (usable && m_pipeWire) {
        queued = ServerQueueFrames();
    } else if (usable && m_sinkRewinds) {
        queued = QueuedFrames();
        if (queued == 0 && counted && !timing->playing) {
            // Before the server reads the stream (it starts corked, and waits for its pre-buffer)
            // nothing it holds has been heard, though the library counts no time ahead of the ear:
            // all of it is mixed again, or a first station would wait behind the silence queued.
            queued = int(std::max<int64_t>(timing->write_index - timing->read_index, 0) / kFrameBytes);
        }
    } else if (counted) {
        // By the server's count, less what was heard since: the time the library interpolates runs
        // behind it for the stream's first second or so. The sink takes a whole block when it has room
        // for one, so it may hold as much as its latency by the time the new sound arrives.
        const int sinkFrames = int(timing->sink_usec * pa_usec_t(m_rate) / PA_USEC_PER_SEC);
        queued = ServerQueueFrames(sinkFrames);
        margin += std::max(m_sinkLatencyFrames, sinkFrames);
    }
    // Until the server has told how much lies ahead, the change waits for its answer (once).
    if (usable && queued < 0 && !m_rewriteWaits && AskTiming()) {
        m_rewriteWaits = true;
        return;
    }
    m_rewriteWaits = false;
    // A change that cannot be mixed over the queue takes effect at the next frame mixed.
    const int wanted = std::clamp(queued - margin, 0, int(m_rewrite.size() / 2));
    const int frames = m_mixer.Remix(m_rewrite.data(), wanted);
    if (frames > 0) {
        const size_t bytes = size_t(frames) * kFrameBytes;
        pa_stream_write(m_stream, m_rewrite.data(), bytes, nullptr, -int64_t(bytes), PA_SEEK_RELATIVE);
    }
    if (usable && (m_pipeWire || !m_sinkRewinds))
        RefreshTiming();
}

void CPulseOutput::Fail()
{
    if (m_failed)
        return;
    m_failed = true;
    const char* reason = m_context ? pa_strerror(pa_context_errno(m_context)) : "";
    WriteErrorLog("PulseOutput", __LINE__,
        QStringLiteral("The sound server ended our stream: %1").arg(QString::fromUtf8(reason)));
    m_mixer.OutputLost();
}
