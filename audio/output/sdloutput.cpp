// The real sound device through SDL2's callback API.

#include "audio/output/sdloutput.h"

#include <SDL2/SDL.h>
#include <dlfcn.h>

#include <algorithm>

#include "audio/output/resolvesymbol.h"

namespace zuna {

namespace {

// SDL2's audio functions, loaded the first time a track plays. Linked in, SDL2 would be
// loaded at every start of the player, with the sound-server, display and codec libraries
// it depends on: a good part of the start-up time and memory, for nothing yet.
struct SdlApi {
    decltype(&SDL_SetHint) setHint = nullptr;
    decltype(&SDL_InitSubSystem) initSubSystem = nullptr;
    decltype(&SDL_QuitSubSystem) quitSubSystem = nullptr;
    decltype(&SDL_OpenAudioDevice) openAudioDevice = nullptr;
    decltype(&SDL_CloseAudioDevice) closeAudioDevice = nullptr;
    decltype(&SDL_PauseAudioDevice) pauseAudioDevice = nullptr;
    decltype(&SDL_GetAudioDeviceStatus) getAudioDeviceStatus = nullptr;
};

// The API, or null when SDL2 is not installed (then there is no sound device). The
// library stays loaded for the life of the process.
const SdlApi *sdl()
{
    static const SdlApi *const api = []() -> const SdlApi * {
        void *library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        static SdlApi loaded;
        const bool complete =
            resolveSymbol(library, "SDL_SetHint", &loaded.setHint) &&
            resolveSymbol(library, "SDL_InitSubSystem", &loaded.initSubSystem) &&
            resolveSymbol(library, "SDL_QuitSubSystem", &loaded.quitSubSystem) &&
            resolveSymbol(library, "SDL_OpenAudioDevice", &loaded.openAudioDevice) &&
            resolveSymbol(library, "SDL_CloseAudioDevice", &loaded.closeAudioDevice) &&
            resolveSymbol(library, "SDL_PauseAudioDevice", &loaded.pauseAudioDevice) &&
            resolveSymbol(library, "SDL_GetAudioDeviceStatus", &loaded.getAudioDeviceStatus);
        return complete ? &loaded : nullptr;
    }();
    return api;
}

// Device buffer: about 90 ms whatever the rate (a power of two, as SDL asks): enough for
// music on a busy machine, and a pause, which lets the buffer play out, still answers
// within a tenth of a second. A buffer of fixed frames would make a 22.05 kHz track's end
// known twice as late as a 44.1 kHz one's.
Uint16 bufferFrames(int rate)
{
    Uint16 frames = 256;
    while (frames < 8192 && frames * 2 * 10 <= rate)
        frames *= 2;
    return frames;
}

class SdlOutput : public Output {
public:
    SdlOutput(RenderSource &from, int channelCount) : source(from), channels(channelCount) {}

    ~SdlOutput() override
    {
        if (device != 0)
            sdl()->closeAudioDevice(device);  // waits for a running callback to return
    }

    AudioResult open(const AudioFormat &format)
    {
        SDL_AudioSpec wanted{};
        wanted.freq = format.rate;
        wanted.format = AUDIO_F32SYS;
        wanted.channels = Uint8(format.channels);
        wanted.samples = bufferFrames(format.rate);
        wanted.callback = &SdlOutput::callback;
        wanted.userdata = this;
        SDL_AudioSpec obtained{};
        // No changes allowed: SDL converts to whatever the hardware wants.
        device = sdl()->openAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        return device != 0 ? AudioResult::Ok : AudioResult::NoDevice;
    }

    void setPaused(bool paused) override { sdl()->pauseAudioDevice(device, paused ? 1 : 0); }
    // SDL disables a device it has lost and reports it stopped from then on; a device of
    // ours is otherwise paused or playing.
    bool failed() const override
    {
        return sdl()->getAudioDeviceStatus(device) == SDL_AUDIO_STOPPED;
    }

private:
    static void callback(void *userdata, Uint8 *stream, int bytes)
    {
        static_cast<SdlOutput *>(userdata)->pull(reinterpret_cast<float *>(stream), bytes);
    }

    void pull(float *out, int bytes)
    {
        // What the previous callback queued has been played by now; what this one renders
        // is what the device holds next.
        if (queued > 0)
            source.played(queued);
        const size_t frames = size_t(bytes) / (sizeof(float) * size_t(channels));
        bool ended = false;
        queued = source.render(out, frames, &ended);
        std::fill(out + queued * size_t(channels), out + frames * size_t(channels), 0.0f);
    }

    RenderSource &source;
    const int channels;
    SDL_AudioDeviceID device = 0;
    size_t queued = 0;  // touched by the callback only
};

class SdlOutputDriver : public OutputDriver {
public:
    ~SdlOutputDriver() override
    {
        if (initialised)
            sdl()->quitSubSystem(SDL_INIT_AUDIO);
    }

    AudioResult openOutput(const AudioFormat &format, RenderSource &source,
                           std::unique_ptr<Output> *output) override
    {
        output->reset();
        // SDL's audio subsystem (and with it the connection to the sound server) starts
        // with the first track played, not when the player starts.
        if (!initialised) {
            if (!sdl())
                return AudioResult::NoDevice;
            // SDL would otherwise take SIGINT and SIGTERM for its event queue, and the
            // player would no longer end when asked to.
            sdl()->setHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
            if (sdl()->initSubSystem(SDL_INIT_AUDIO) != 0)
                return AudioResult::NoDevice;
            initialised = true;
        }
        auto sdl = std::make_unique<SdlOutput>(source, format.channels);
        const AudioResult result = sdl->open(format);
        if (result == AudioResult::Ok)
            *output = std::move(sdl);
        return result;
    }

private:
    bool initialised = false;
};

}  // namespace

std::unique_ptr<OutputDriver> makeSdlOutputDriver()
{
    return std::make_unique<SdlOutputDriver>();
}

}  // namespace zuna
