#include "audio/audioresult.h"

namespace zuna {

const char *describe(AudioResult result)
{
    switch (result) {
        case AudioResult::Ok:
            return "ok";
        case AudioResult::CannotOpen:
            return "cannot open the file";
        case AudioResult::NotAFile:
            return "not a regular file";
        case AudioResult::Unsupported:
            return "no sound a decoder recognises";
        case AudioResult::Corrupt:
            return "damaged audio data";
        case AudioResult::NoDevice:
            return "no sound device";
        case AudioResult::InvalidHandle:
            return "channel no longer playing";
        case AudioResult::InvalidArgument:
            return "invalid argument";
    }
    return "unknown result";
}

}  // namespace zuna
