// The real sound device through SDL2's callback API.

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>

#include "audio/output.h"

namespace {

// Device buffer in frames: about 23 ms at 44.1 kHz, short enough for a prompt pause and
// position, long enough not to underrun on a busy machine.
constexpr Uint16 kDeviceBufferFrames = 1024;

class SdlOutput : public Output {
public:
    SdlOutput(RenderSource &source, int channels) : source(source), channels(channels) {}

    ~SdlOutput() override
    {
        if (device != 0)
            SDL_CloseAudioDevice(device);  // waits for a running callback to return
    }

    AudioResult open(const AudioFormat &format)
    {
        SDL_AudioSpec wanted{};
        wanted.freq = format.rate;
        wanted.format = AUDIO_F32SYS;
        wanted.channels = Uint8(format.channels);
        wanted.samples = kDeviceBufferFrames;
        wanted.callback = &SdlOutput::callback;
        wanted.userdata = this;
        SDL_AudioSpec obtained{};
        // No changes allowed: SDL converts to whatever the hardware wants.
        device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        return device != 0 ? AudioResult::Ok : AudioResult::NoDevice;
    }

    void start() override { SDL_PauseAudioDevice(device, 0); }
    void setPaused(bool paused) override { SDL_PauseAudioDevice(device, paused ? 1 : 0); }
    int64_t framesPlayed() const override { return heard.load(std::memory_order_acquire); }
    // SDL disables a device it has lost and reports it stopped from then on; a device of
    // ours is otherwise paused or playing.
    bool failed() const override { return SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED; }

private:
    static void callback(void *userdata, Uint8 *stream, int bytes)
    {
        static_cast<SdlOutput *>(userdata)->pull(reinterpret_cast<float *>(stream), bytes);
    }

    void pull(float *out, int bytes)
    {
        // What the previous callback queued has been played by now; what this one renders
        // is what the device holds next.
        heard.fetch_add(queued, std::memory_order_acq_rel);
        const size_t frames = size_t(bytes) / (sizeof(float) * size_t(channels));
        bool ended = false;
        const size_t real = source.render(out, frames, &ended);
        std::fill(out + real * size_t(channels), out + frames * size_t(channels), 0.0f);
        queued = int64_t(real);
    }

    RenderSource &source;
    const int channels;
    SDL_AudioDeviceID device = 0;
    std::atomic<int64_t> heard{0};
    int64_t queued = 0;  // touched by the callback only
};

class SdlOutputDriver : public OutputDriver {
public:
    ~SdlOutputDriver() override
    {
        if (initialised)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    AudioResult openOutput(const AudioFormat &format, RenderSource &source,
                           std::unique_ptr<Output> *output) override
    {
        output->reset();
        // SDL's audio subsystem (and with it the connection to the sound server) starts
        // with the first track played, not when the player starts.
        if (!initialised) {
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
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
