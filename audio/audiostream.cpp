#include "audio/audiostream.h"

#include "audio/decode/decoder.h"
#include "audio/decode/tagreader.h"
#include "audio/decode/trackfile.h"
#include "audio/playback/channelcore.h"

AudioStream::AudioStream(std::unique_ptr<TrackFile> opened) : track(std::move(opened)) {}

AudioStream::~AudioStream()
{
    stopPlaying();
}

SoundType AudioStream::type() const
{
    return track->type();
}

AudioFormat AudioStream::format() const
{
    return track->format();
}

int64_t AudioStream::lengthFrames() const
{
    return track->lengthFrames();
}

uint32_t AudioStream::lengthMs() const
{
    return uint32_t(framesToMs(track->lengthFrames(), track->format().rate));
}

int AudioStream::tagCount()
{
    if (!tags)
        tags = readTags(track->type(), track->file());
    return int(tags->size());
}

const Tag *AudioStream::tag(int index)
{
    if (index < 0 || index >= tagCount())
        return nullptr;
    return &(*tags)[size_t(index)];
}

void AudioStream::stopPlaying()
{
    if (channel)
        channel->stop();
    channel.reset();
}

AudioResult AudioStream::startOn(OutputDriver &driver, bool paused,
                                 std::shared_ptr<ChannelCore> *core)
{
    core->reset();
    stopPlaying();  // the decoder is this thread's again
    if (rewindFirst && track->decoder().seek(0) != AudioResult::Ok)
        return AudioResult::Corrupt;
    rewindFirst = true;
    auto started = std::make_shared<ChannelCore>(track);
    const AudioResult result = started->start(driver, paused);
    if (result != AudioResult::Ok)
        return result;
    channel = started;
    *core = started;
    return AudioResult::Ok;
}
