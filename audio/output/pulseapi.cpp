#include "audio/output/pulseapi.h"

#include <dlfcn.h>

namespace {
template <typename Function>
bool resolve(void *library, const char *name, Function *function)
{
    *function = reinterpret_cast<Function>(dlsym(library, name));
    return *function != nullptr;
}
}  // namespace

const PulseApi *pulseApi()
{
    static const PulseApi *const api = []() -> const PulseApi * {
        void *library = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        static PulseApi p;
        const bool complete =
            resolve(library, "pa_threaded_mainloop_new", &p.mainloopNew) &&
            resolve(library, "pa_threaded_mainloop_free", &p.mainloopFree) &&
            resolve(library, "pa_threaded_mainloop_start", &p.mainloopStart) &&
            resolve(library, "pa_threaded_mainloop_stop", &p.mainloopStop) &&
            resolve(library, "pa_threaded_mainloop_lock", &p.lock) &&
            resolve(library, "pa_threaded_mainloop_unlock", &p.unlock) &&
            resolve(library, "pa_threaded_mainloop_wait", &p.wait) &&
            resolve(library, "pa_threaded_mainloop_signal", &p.signal) &&
            resolve(library, "pa_threaded_mainloop_get_api", &p.mainloopApi) &&
            resolve(library, "pa_context_new", &p.contextNew) &&
            resolve(library, "pa_context_unref", &p.contextUnref) &&
            resolve(library, "pa_context_connect", &p.contextConnect) &&
            resolve(library, "pa_context_disconnect", &p.contextDisconnect) &&
            resolve(library, "pa_context_get_state", &p.contextState) &&
            resolve(library, "pa_context_set_state_callback", &p.contextSetStateCallback) &&
            resolve(library, "pa_stream_new", &p.streamNew) &&
            resolve(library, "pa_stream_unref", &p.streamUnref) &&
            resolve(library, "pa_stream_connect_playback", &p.connectPlayback) &&
            resolve(library, "pa_stream_disconnect", &p.streamDisconnect) &&
            resolve(library, "pa_stream_get_state", &p.streamState) &&
            resolve(library, "pa_stream_set_state_callback", &p.streamSetStateCallback) &&
            resolve(library, "pa_stream_set_write_callback", &p.setWriteCallback) &&
            resolve(library, "pa_stream_set_underflow_callback", &p.setUnderflowCallback) &&
            resolve(library, "pa_stream_writable_size", &p.writableSize) &&
            resolve(library, "pa_stream_begin_write", &p.beginWrite) &&
            resolve(library, "pa_stream_cancel_write", &p.cancelWrite) &&
            resolve(library, "pa_stream_write", &p.write) &&
            resolve(library, "pa_stream_cork", &p.cork) &&
            resolve(library, "pa_stream_flush", &p.flush) &&
            resolve(library, "pa_stream_trigger", &p.trigger) &&
            resolve(library, "pa_stream_get_latency", &p.latency) &&
            resolve(library, "pa_operation_unref", &p.operationUnref) &&
            resolve(library, "pa_stream_get_index", &p.streamIndex) &&
            resolve(library, "pa_context_set_sink_input_volume", &p.setStreamVolume) &&
            resolve(library, "pa_sw_volume_from_linear", &p.volumeFromLinear) &&
            resolve(library, "pa_cvolume_set", &p.setVolumes);
        return complete ? &p : nullptr;
    }();
    return api;
}
