// The FFmpeg decoder module's entry point: the only symbol it exports.

extern "C" {
#include <libavutil/log.h>
}

#include <mutex>

#include "audio/decode/ffmpeg/ffmpegdecoder.h"
#include "audio/decode/ffmpegmodule.h"

namespace zuna {

extern "C" __attribute__((visibility("default"))) int zuna_ffmpeg_open_decoder_v1(
    ByteSource *source, const char *demuxer, Decoder **decoder, TagLayout *tags)
{
    // FFmpeg reports damaged data on stderr by itself; the player's log is its own.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    std::unique_ptr<FfmpegDecoder> opened;
    const AudioResult result = FfmpegDecoder::open(*source, demuxer, &opened);
    if (result != AudioResult::Ok)
        return int(result);
    *tags = opened->tagLayout();
    *decoder = opened.release();
    return int(AudioResult::Ok);
}

// Checked where it is built: the name the loader looks for is this function's.
static_assert(sizeof(ZUNA_FFMPEG_ENTRY) == sizeof("zuna_ffmpeg_open_decoder_v1"));

}  // namespace zuna
