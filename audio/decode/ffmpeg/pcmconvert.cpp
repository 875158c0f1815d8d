#include "audio/decode/ffmpeg/pcmconvert.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <cmath>
#include <cstdint>
#include <cstring>

namespace zuna {

namespace {
template <typename Sample>
float toFloat(Sample s);
template <>
float toFloat(uint8_t s)
{
    return float(int(s) - 128) * (1.0f / 128);
}
template <>
float toFloat(int16_t s)
{
    return float(s) * (1.0f / 32768);
}
template <>
float toFloat(int32_t s)
{
    return float(double(s) * (1.0 / 2147483648.0));
}
template <>
float toFloat(int64_t s)
{
    return float(double(s) * (1.0 / 9223372036854775808.0));
}
template <>
float toFloat(float s)
{
    return std::isfinite(s) ? s : 0.0f;
}
template <>
float toFloat(double s)
{
    return std::isfinite(s) ? float(s) : 0.0f;
}

template <typename Sample>
void convert(const AVFrame &frame, int channels, bool planar, int first, float *out)
{
    for (int i = first; i < frame.nb_samples; ++i) {
        for (int c = 0; c < channels; ++c) {
            const auto *plane =
                reinterpret_cast<const Sample *>(frame.extended_data[planar ? c : 0]);
            *out++ = toFloat(plane[planar ? i : i * channels + c]);
        }
    }
}
}  // namespace

bool appendInterleaved(const AVFrame &frame, int first, std::vector<float> &out)
{
    const int channels = frame.ch_layout.nb_channels;
    if (first >= frame.nb_samples || channels <= 0)
        return true;
    const auto format = AVSampleFormat(frame.format);
    const bool planar = av_sample_fmt_is_planar(format);
    const size_t start = out.size();
    out.resize(start + size_t(frame.nb_samples - first) * size_t(channels));
    float *to = out.data() + start;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            convert<uint8_t>(frame, channels, planar, first, to);
            return true;
        case AV_SAMPLE_FMT_S16:
            convert<int16_t>(frame, channels, planar, first, to);
            return true;
        case AV_SAMPLE_FMT_S32:
            convert<int32_t>(frame, channels, planar, first, to);
            return true;
        case AV_SAMPLE_FMT_S64:
            convert<int64_t>(frame, channels, planar, first, to);
            return true;
        case AV_SAMPLE_FMT_FLT:
            convert<float>(frame, channels, planar, first, to);
            return true;
        case AV_SAMPLE_FMT_DBL:
            convert<double>(frame, channels, planar, first, to);
            return true;
        default:
            break;
    }
    out.resize(start);
    return false;
}

}  // namespace zuna
