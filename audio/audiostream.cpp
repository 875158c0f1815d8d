#include "audio/audiostream.h"

#include "audio/channelcore.h"
#include "audio/decoder.h"
#include "audio/filereader.h"

AudioStream::AudioStream(SoundType type, std::unique_ptr<FileReader> file,
                         std::unique_ptr<Decoder> decoder)
    : soundType(type), file(std::move(file)), decoder(std::move(decoder))
{
}

AudioStream::~AudioStream() = default;

AudioFormat AudioStream::format() const
{
    return decoder->format();
}

int64_t AudioStream::lengthFrames() const
{
    return decoder->lengthFrames();
}

uint32_t AudioStream::lengthMs() const
{
    return uint32_t(framesToMs(decoder->lengthFrames(), decoder->format().rate));
}

int AudioStream::tagCount()
{
    if (!tags)
        tags = readTags(soundType, *file);
    return int(tags->size());
}

const Tag *AudioStream::tag(int index)
{
    if (index < 0 || index >= tagCount())
        return nullptr;
    return &(*tags)[size_t(index)];
}
