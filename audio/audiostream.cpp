#include "audio/audiostream.h"

#include "audio/decode/decoder.h"
#include "audio/decode/filereader.h"
#include "audio/decode/tagreader.h"
#include "audio/decode/trackfile.h"
#include "audio/playback/channelcore.h"

namespace zuna {

AudioStream::AudioStream(std::unique_ptr<TrackFile> opened) : track(std::move(opened)) {}

AudioStream::~AudioStream()
{
    leaveChannel();
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

int64_t AudioStream::fileSize() const
{
    return track->fileSize();
}

int AudioStream::tagCount()
{
    if (!tags) {
        if (!channel) {
            // The decoder is this thread's, and so is its file: TagLib reads through the
            // same buffer, where opening the stream left the file's first bytes.
            tags = readTags(track->tagLayout(), track->file());
        } else {
            // A channel's feeder thread may be reading the file at this moment.
            const std::unique_ptr<FileReader> own = track->file().twin();
            tags = own ? readTags(track->tagLayout(), *own) : std::vector<Tag>{};
        }
    }
    return int(tags->size());
}

const Tag *AudioStream::tag(int index)
{
    if (index < 0 || index >= tagCount())
        return nullptr;
    return &(*tags)[size_t(index)];
}

void AudioStream::leaveChannel()
{
    // Once heard to its end and left behind, the stream has nothing more to do with the
    // channel, which plays on.
    if (channel)
        channel->release(*track);
    channel.reset();
}

AudioResult AudioStream::startOn(OutputDriver &driver, bool paused,
                                 const std::function<void()> &onTrackEnd,
                                 std::shared_ptr<ChannelCore> *core)
{
    core->reset();
    leaveChannel();  // the channel's feeder has left the decoder: it is this thread's again
    if (rewindFirst && track->decoder().seek(0) != AudioResult::Ok)
        return AudioResult::Corrupt;
    rewindFirst = true;
    auto started = std::make_shared<ChannelCore>(track, onTrackEnd);
    const AudioResult result = started->start(driver, paused);
    if (result != AudioResult::Ok)
        return result;
    channel = started;
    *core = started;
    return AudioResult::Ok;
}

AudioResult AudioStream::queueOn(const std::shared_ptr<ChannelCore> &core)
{
    leaveChannel();
    // Opened here, on the caller's thread: the feeder reaches it only at the join, where a
    // slow opening (a long MP3 scanned for its length, FFmpeg's probing) would be heard.
    track->decoder().prepare();
    const AudioResult result = core->queue(track, rewindFirst);
    if (result == AudioResult::Ok) {
        channel = core;
        rewindFirst = true;  // the feeder may start on it, then have it taken back
    }
    return result;
}

}  // namespace zuna
