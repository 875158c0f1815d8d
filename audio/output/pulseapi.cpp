#include "audio/output/pulseapi.h"

#include <dlfcn.h>

#include "audio/output/resolvesymbol.h"

namespace zuna {

const PulseApi *pulseApi()
{
    static const PulseApi *const api = []() -> const PulseApi * {
        void *library = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        static PulseApi p;
        const bool complete =
            resolveSymbol(library, "pa_threaded_mainloop_new", &p.mainloopNew) &&
            resolveSymbol(library, "pa_threaded_mainloop_free", &p.mainloopFree) &&
            resolveSymbol(library, "pa_threaded_mainloop_start", &p.mainloopStart) &&
            resolveSymbol(library, "pa_threaded_mainloop_stop", &p.mainloopStop) &&
            resolveSymbol(library, "pa_threaded_mainloop_lock", &p.lock) &&
            resolveSymbol(library, "pa_threaded_mainloop_unlock", &p.unlock) &&
            resolveSymbol(library, "pa_threaded_mainloop_wait", &p.wait) &&
            resolveSymbol(library, "pa_threaded_mainloop_signal", &p.signal) &&
            resolveSymbol(library, "pa_threaded_mainloop_get_api", &p.mainloopApi) &&
            resolveSymbol(library, "pa_context_new", &p.contextNew) &&
            resolveSymbol(library, "pa_context_unref", &p.contextUnref) &&
            resolveSymbol(library, "pa_context_connect", &p.contextConnect) &&
            resolveSymbol(library, "pa_context_disconnect", &p.contextDisconnect) &&
            resolveSymbol(library, "pa_context_get_state", &p.contextState) &&
            resolveSymbol(library, "pa_context_set_state_callback", &p.contextSetStateCallback) &&
            resolveSymbol(library, "pa_stream_new", &p.streamNew) &&
            resolveSymbol(library, "pa_stream_unref", &p.streamUnref) &&
            resolveSymbol(library, "pa_stream_connect_playback", &p.connectPlayback) &&
            resolveSymbol(library, "pa_stream_disconnect", &p.streamDisconnect) &&
            resolveSymbol(library, "pa_stream_get_state", &p.streamState) &&
            resolveSymbol(library, "pa_stream_set_state_callback", &p.streamSetStateCallback) &&
            resolveSymbol(library, "pa_stream_set_write_callback", &p.setWriteCallback) &&
            resolveSymbol(library, "pa_stream_set_underflow_callback", &p.setUnderflowCallback) &&
            resolveSymbol(library, "pa_stream_writable_size", &p.writableSize) &&
            resolveSymbol(library, "pa_stream_begin_write", &p.beginWrite) &&
            resolveSymbol(library, "pa_stream_cancel_write", &p.cancelWrite) &&
            resolveSymbol(library, "pa_stream_write", &p.write) &&
            resolveSymbol(library, "pa_stream_cork", &p.cork) &&
            resolveSymbol(library, "pa_stream_flush", &p.flush) &&
            resolveSymbol(library, "pa_stream_trigger", &p.trigger) &&
            resolveSymbol(library, "pa_stream_get_latency", &p.latency) &&
            resolveSymbol(library, "pa_operation_unref", &p.operationUnref) &&
            resolveSymbol(library, "pa_stream_get_index", &p.streamIndex) &&
            resolveSymbol(library, "pa_context_set_sink_input_volume", &p.setStreamVolume) &&
            resolveSymbol(library, "pa_sw_volume_from_linear", &p.volumeFromLinear) &&
            resolveSymbol(library, "pa_cvolume_set", &p.setVolumes);
        return complete ? &p : nullptr;
    }();
    return api;
}

}  // namespace zuna
