#include "audio/output/systemoutput.h"

#include <cstdlib>

#include "audio/output/pulseoutput.h"
#include "audio/output/sdloutput.h"

namespace zuna {

namespace {

class SystemOutputDriver : public OutputDriver {
public:
    AudioResult openOutput(const AudioFormat &format, RenderSource &source,
                           std::unique_ptr<Output> *output) override
    {
        if (!sdlChosen && pulse->openOutput(format, source, output) == AudioResult::Ok)
            return AudioResult::Ok;
        return sdl->openOutput(format, source, output);
    }

private:
    // Someone asked SDL2 for a particular driver (the tests' disk driver, say).
    const bool sdlChosen = std::getenv("SDL_AUDIODRIVER") != nullptr;
    std::unique_ptr<OutputDriver> pulse = makePulseOutputDriver();
    std::unique_ptr<OutputDriver> sdl = makeSdlOutputDriver();
};

}  // namespace

std::unique_ptr<OutputDriver> makeSystemOutputDriver()
{
    return std::make_unique<SystemOutputDriver>();
}

}  // namespace zuna
