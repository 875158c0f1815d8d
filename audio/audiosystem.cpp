#include "audio/audiosystem.h"

#include "audio/channelcore.h"
#include "audio/decoder.h"
#include "audio/filereader.h"
#include "audio/formatsniffer.h"

AudioSystem::AudioSystem(std::unique_ptr<OutputDriver> driver) : driver(std::move(driver)) {}

AudioSystem::~AudioSystem()
{
    // A stream that outlives its system must not keep pulling through a driver that is gone.
    if (auto playing = current.lock())
        playing->stop();
}

AudioResult AudioSystem::openStream(const std::string &path, std::unique_ptr<AudioStream> *stream)
{
    stream->reset();
    std::unique_ptr<FileReader> file;
    AudioResult result = FileReader::open(path, &file);
    if (result != AudioResult::Ok)
        return result;
    const SniffedFormat format = sniffFormat(*file);
    std::unique_ptr<Decoder> decoder;
    result = openDecoder(format, *file, &decoder);
    if (result != AudioResult::Ok)
        return result;
    stream->reset(new AudioStream(format.type, std::move(file), std::move(decoder)));
    return AudioResult::Ok;
}

AudioResult AudioSystem::play(AudioStream &stream, bool paused, AudioChannel *channel)
{
    *channel = AudioChannel();
    if (auto previous = current.lock())
        previous->stop();  // one channel per system
    stream.channel.reset();
    if (stream.played && !stream.decoder->seek(0))
        return AudioResult::Corrupt;
    stream.played = true;
    auto core = std::make_shared<ChannelCore>(*stream.decoder);
    const AudioResult result = core->start(*driver, paused);
    if (result != AudioResult::Ok)
        return result;
    stream.channel = core;
    current = core;
    *channel = AudioChannel(core);
    return AudioResult::Ok;
}
