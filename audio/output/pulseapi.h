#pragma once

#include <pulse/pulseaudio.h>

namespace zuna {

// The parts of libpulse the sound-server output uses, loaded the first time a track plays:
// linked in, libpulse and what it depends on would be mapped at every start of the player.
struct PulseApi {
    decltype(&pa_threaded_mainloop_new) mainloopNew = nullptr;
    decltype(&pa_threaded_mainloop_free) mainloopFree = nullptr;
    decltype(&pa_threaded_mainloop_start) mainloopStart = nullptr;
    decltype(&pa_threaded_mainloop_stop) mainloopStop = nullptr;
    decltype(&pa_threaded_mainloop_lock) lock = nullptr;
    decltype(&pa_threaded_mainloop_unlock) unlock = nullptr;
    decltype(&pa_threaded_mainloop_wait) wait = nullptr;
    decltype(&pa_threaded_mainloop_signal) signal = nullptr;
    decltype(&pa_threaded_mainloop_get_api) mainloopApi = nullptr;
    decltype(&pa_context_new) contextNew = nullptr;
    decltype(&pa_context_unref) contextUnref = nullptr;
    decltype(&pa_context_connect) contextConnect = nullptr;
    decltype(&pa_context_disconnect) contextDisconnect = nullptr;
    decltype(&pa_context_get_state) contextState = nullptr;
    decltype(&pa_context_set_state_callback) contextSetStateCallback = nullptr;
    decltype(&pa_stream_new) streamNew = nullptr;
    decltype(&pa_stream_unref) streamUnref = nullptr;
    decltype(&pa_stream_connect_playback) connectPlayback = nullptr;
    decltype(&pa_stream_disconnect) streamDisconnect = nullptr;
    decltype(&pa_stream_get_state) streamState = nullptr;
    decltype(&pa_stream_set_state_callback) streamSetStateCallback = nullptr;
    decltype(&pa_stream_set_write_callback) setWriteCallback = nullptr;
    decltype(&pa_stream_set_underflow_callback) setUnderflowCallback = nullptr;
    decltype(&pa_stream_writable_size) writableSize = nullptr;
    decltype(&pa_stream_begin_write) beginWrite = nullptr;
    decltype(&pa_stream_cancel_write) cancelWrite = nullptr;
    decltype(&pa_stream_write) write = nullptr;
    decltype(&pa_stream_cork) cork = nullptr;
    decltype(&pa_stream_flush) flush = nullptr;
    decltype(&pa_stream_trigger) trigger = nullptr;
    decltype(&pa_stream_get_latency) latency = nullptr;
    decltype(&pa_operation_unref) operationUnref = nullptr;
    decltype(&pa_stream_get_index) streamIndex = nullptr;
    decltype(&pa_context_set_sink_input_volume) setStreamVolume = nullptr;
    decltype(&pa_sw_volume_from_linear) volumeFromLinear = nullptr;
    decltype(&pa_cvolume_set) setVolumes = nullptr;
};

// The API, or null when libpulse is not installed. The library stays loaded for the life
// of the process.
const PulseApi *pulseApi();

}  // namespace zuna
