#include "audio/decode/ffmpegloader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "audio/decode/decoder.h"
#include "audio/decode/ffmpegmodule.h"

namespace zuna {

namespace {
// Where the installed layout puts the module, from the program's folder.
std::string besideProgram()
{
    char program[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", program, sizeof program - 1);
    if (n <= 0)
        return {};
    std::string folder(program, size_t(n));
    folder.erase(folder.rfind('/') + 1);
    return folder + ZUNA_FFMPEG_MODULE_FROM_BINARY;
}

FfmpegOpenDecoder loadModule()
{
    std::string tried;
    for (const std::string &path : {besideProgram(), std::string(ZUNA_FFMPEG_MODULE_IN_BUILD)}) {
        if (path.empty() || ::access(path.c_str(), R_OK) != 0)
            continue;
        // Never closed: decoders made by it may live until the process ends.
        if (void *module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (void *entry = ::dlsym(module, ZUNA_FFMPEG_ENTRY))
                return reinterpret_cast<FfmpegOpenDecoder>(entry);
            tried += " " + path + ": no " ZUNA_FFMPEG_ENTRY;
        } else {
            tried += " " + std::string(::dlerror());
        }
    }
    std::fprintf(stderr, "ZUNA: no decoder module, only MP3 and FLAC will play:%s\n",
                 tried.empty() ? " zuna-ffmpeg.so not found" : tried.c_str());
    return nullptr;
}
}  // namespace

AudioResult openFfmpegDecoder(ByteSource &source, const char *demuxer,
                              std::unique_ptr<Decoder> *decoder, TagLayout *tags)
{
    decoder->reset();
    static FfmpegOpenDecoder open = nullptr;
    static std::once_flag loaded;
    std::call_once(loaded, [] { open = loadModule(); });
    if (!open)
        return AudioResult::Unsupported;
    Decoder *opened = nullptr;
    TagLayout layout = TagLayout::None;
    const int result = open(&source, demuxer, &opened, &layout);
    if (result != int(AudioResult::Ok) || !opened)
        return result == int(AudioResult::Corrupt) ? AudioResult::Corrupt
                                                   : AudioResult::Unsupported;
    decoder->reset(opened);
    *tags = layout;
    return AudioResult::Ok;
}

}  // namespace zuna
