#include "audio/audiosystem.h"

#include "audio/decode/trackfile.h"
#include "audio/output/systemoutput.h"
#include "audio/playback/channelcore.h"

namespace zuna {

AudioSystem::AudioSystem(std::unique_ptr<OutputDriver> outputs)
    : driver(outputs ? std::move(outputs) : makeSystemOutputDriver())
{
}

AudioSystem::~AudioSystem()
{
    // A stream that outlives its system must not keep pulling through a driver that is gone.
    if (auto playing = current.lock())
        playing->stop();
}

AudioResult AudioSystem::openStream(const std::string &path, std::unique_ptr<AudioStream> *stream)
{
    stream->reset();
    std::unique_ptr<TrackFile> track;
    const AudioResult result = TrackFile::open(path, &track);
    if (result == AudioResult::Ok)
        stream->reset(new AudioStream(std::move(track)));
    return result;
}

AudioResult AudioSystem::play(AudioStream &stream, bool paused, AudioChannel *channel)
{
    *channel = AudioChannel();
    if (auto previous = current.lock())
        previous->stop();  // one channel per system
    std::shared_ptr<ChannelCore> core;
    const AudioResult result = stream.startOn(*driver, paused, onTrackEnd, &core);
    if (result != AudioResult::Ok)
        return result;
    current = core;
    *channel = AudioChannel(core);
    return AudioResult::Ok;
}

void AudioSystem::setTrackEndListener(std::function<void()> listener)
{
    onTrackEnd = std::move(listener);
}

}  // namespace zuna
