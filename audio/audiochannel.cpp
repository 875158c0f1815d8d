#include "audio/audiochannel.h"

#include "audio/audioformat.h"
#include "audio/audiostream.h"
#include "audio/playback/channelcore.h"

namespace zuna {

std::shared_ptr<ChannelCore> AudioChannel::live() const
{
    std::shared_ptr<ChannelCore> channel = core.lock();
    return channel && channel->isPlaying() ? channel : nullptr;
}

bool AudioChannel::isPlaying() const
{
    return live() != nullptr;
}

uint32_t AudioChannel::position() const
{
    const auto channel = live();
    return channel ? uint32_t(framesToMs(channel->positionFrames(), channel->rate())) : 0;
}

AudioResult AudioChannel::setPosition(uint32_t ms)
{
    const auto channel = live();
    if (!channel)
        return AudioResult::InvalidHandle;
    return channel->seek(msToFrames(ms, channel->rate())) ? AudioResult::Ok
                                                          : AudioResult::InvalidArgument;
}

bool AudioChannel::paused() const
{
    const auto channel = live();
    return channel && channel->paused();
}

AudioResult AudioChannel::setPaused(bool paused)
{
    const auto channel = live();
    if (!channel)
        return AudioResult::InvalidHandle;
    channel->setPaused(paused);
    return AudioResult::Ok;
}

bool AudioChannel::muted() const
{
    const auto channel = live();
    return channel && channel->muted();
}

AudioResult AudioChannel::setMuted(bool muted)
{
    const auto channel = live();
    if (!channel)
        return AudioResult::InvalidHandle;
    channel->setMuted(muted);
    return AudioResult::Ok;
}

float AudioChannel::volume() const
{
    const auto channel = live();
    return channel ? channel->volume() : 1.0f;
}

AudioResult AudioChannel::setVolume(float volume)
{
    const auto channel = live();
    if (!channel)
        return AudioResult::InvalidHandle;
    if (!(volume >= 0.0f && volume <= 1.0f))
        return AudioResult::InvalidArgument;
    channel->setVolume(volume);
    return AudioResult::Ok;
}

AudioResult AudioChannel::queue(AudioStream &next)
{
    const auto channel = live();
    return channel ? next.queueOn(channel) : AudioResult::InvalidHandle;
}

bool AudioChannel::plays(const AudioStream &stream) const
{
    const auto channel = live();
    return channel && channel->hears(*stream.track);
}

}  // namespace zuna
