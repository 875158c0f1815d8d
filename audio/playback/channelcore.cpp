#include "audio/playback/channelcore.h"

#include <algorithm>
#include <utility>

#include "audio/decode/decoder.h"
#include "audio/decode/trackfile.h"

namespace zuna {

namespace {
constexpr long kChunkFrames = 2048;
constexpr int64_t kPrefillFrames = 8192;

size_t ringFrames(int rate)
{
    return std::max<size_t>(16384, size_t(rate) / 2);
}
}  // namespace

ChannelCore::ChannelCore(std::shared_ptr<TrackFile> first, EndListener listener)
    : channels(first->format().channels),
      sampleRate(first->format().rate),
      onTrackEnd(std::move(listener)),
      ring(ringFrames(sampleRate) * size_t(channels)),
      gain(sampleRate, channels),
      current(std::move(first))
{
}

ChannelCore::~ChannelCore()
{
    stop();
}

AudioResult ChannelCore::start(OutputDriver &driver, bool paused)
{
    // The first audio is decoded here, so the device's first callback has sound to play.
    std::vector<float> chunk(size_t(kChunkFrames) * size_t(channels));
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!decoderDone && timeline.aheadOfHeard() < kPrefillFrames)
            decodeChunk(chunk, lock);
    }
    const AudioResult opened = driver.openOutput(current->format(), *this, &output);
    {
        std::lock_guard<std::mutex> lock(mutex);
        phase = opened == AudioResult::Ok ? Phase::Playing : Phase::Stopped;
    }
    if (opened != AudioResult::Ok)
        return opened;
    feeder = std::thread(&ChannelCore::feed, this);
    gainChanged();
    setPaused(paused);
    return AudioResult::Ok;
}

void ChannelCore::stop()
{
    output.reset();  // the output's thread is done with render() once this returns
    {
        std::lock_guard<std::mutex> lock(mutex);
        phase = Phase::Stopped;
    }
    wake.notify_all();
    if (feeder.joinable())
        feeder.join();
}

AudioResult ChannelCore::queue(std::shared_ptr<TrackFile> track, bool rewind)
{
    const AudioFormat format = track->format();
    if (format.rate != sampleRate || format.channels != channels)
        return AudioResult::Unsupported;  // the output plays one format
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (phase != Phase::Playing || timeline.lastEnded())
            return AudioResult::InvalidHandle;
        withdrawQueued();
        next = std::move(track);
        rewindNext = rewind;
        if (decoderDone) {  // the current track is decoded to its end already: go on
            timeline.goOnIntoQueued();
            decoderDone = false;
        }
    }
    wake.notify_all();
    return AudioResult::Ok;
}

void ChannelCore::release(const TrackFile &track)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (current.get() == &track) {
        lock.unlock();
        stop();  // the feeder is gone once this returns
        return;
    }
    if (next.get() == &track)
        withdrawQueued();
    // Its owner may use the decoder once this returns: a read under way ends first.
    leftRead.wait(lock, [this, &track] { return reading != &track; });
}

bool ChannelCore::hears(const TrackFile &track) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return phase == Phase::Playing && current.get() == &track;
}

void ChannelCore::withdrawQueued()
{
    const bool decodedFrom = timeline.feedingQueued();
    const int64_t keep = timeline.withdrawQueued();
    if (decodedFrom) {
        // The ring keeps the current track's audio only; what lies past its end is gone.
        ring.truncate(size_t(keep) * size_t(channels));
        decoderDone = true;
        ++generation;  // and a chunk being decoded from it right now is dropped
    }
    next.reset();
    rewindNext = false;
}

void ChannelCore::leftDecoder()
{
    reading = nullptr;
    leftRead.notify_all();
}

void ChannelCore::decodeChunk(std::vector<float> &chunk, std::unique_lock<std::mutex> &lock)
{
    const uint64_t decodingFor = generation;
    const std::shared_ptr<TrackFile> track = timeline.feedingQueued() ? next : current;
    const bool rewind = timeline.feedingQueued() && std::exchange(rewindNext, false);
    reading = track.get();
    lock.unlock();
    long frames = 0;
    AudioResult result = rewind ? track->decoder().seek(0) : AudioResult::Ok;
    if (result == AudioResult::Ok)
        result = track->decoder().read(chunk.data(), kChunkFrames, &frames);
    const bool decoded = result == AudioResult::Ok && frames > 0;
    if (decoded)  // the feeder waited for this much room, and room only grows meanwhile
        ring.stage(chunk.data(), size_t(frames) * size_t(channels));
    lock.lock();
    leftDecoder();
    if (decodingFor != generation) {
        ring.unstage();  // a seek or withdrawal came in meanwhile; this audio is not wanted
        return;
    }
    if (!decoded) {
        trackDecoded();  // damaged data ends the track where the damage starts
        return;
    }
    ring.publish();  // nothing was taken back since the staging: the generation is the same
    timeline.pushed(frames);
}

void ChannelCore::trackDecoded()
{
    // Nothing is queued behind a queued track; behind the current one, the feeder goes
    // straight on into the queued one: its first frame follows this track's last.
    decoderDone = timeline.feedingQueued() || !next;
    takeNote(timeline.decodedToEnd(next != nullptr));
}

void ChannelCore::takeNote(Timeline::Passed passed)
{
    if (passed.wentOn)
        retired = std::exchange(current, std::move(next));
    endsToReport += passed.ends;
}

void ChannelCore::feed()
{
    std::vector<float> chunk(size_t(kChunkFrames) * size_t(channels));
    std::unique_lock<std::mutex> lock(mutex);
    while (phase != Phase::Stopped) {
        if (endsToReport > 0 || retired) {
            const int ends = std::exchange(endsToReport, 0);
            std::shared_ptr<TrackFile> done = std::move(retired);
            lock.unlock();
            done.reset();  // closing a file is no work for the output's thread
            for (int i = 0; i < ends && onTrackEnd; ++i)
                onTrackEnd();
            lock.lock();
            continue;
        }
        if (seekPending) {
            seekPending = false;
            const int64_t target = seekTarget;
            const uint64_t seekingFor = generation;
            const std::shared_ptr<TrackFile> track = current;
            reading = track.get();
            lock.unlock();
            const AudioResult result = track->decoder().seek(target);
            lock.lock();
            leftDecoder();
            // A decoder that could not get there would play from anywhere; the track ends
            // at the place it was asked to go to instead.
            if (result != AudioResult::Ok && seekingFor == generation)
                trackDecoded();
            continue;
        }
        // Ahead of the listener by no more than the ring holds, whatever the device holds:
        // decoding further ahead only lengthens what a change of the queued track cannot
        // take back.
        const size_t ahead = size_t(timeline.aheadOfHeard()) * size_t(channels);
        if (decoderDone || ring.room() < chunk.size() || ahead + chunk.size() > ring.capacity()) {
            wake.wait(lock);
            continue;
        }
        decodeChunk(chunk, lock);
    }
}

size_t ChannelCore::render(float *out, size_t frames, bool *ended)
{
    size_t got = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        got = ring.claim(frames * size_t(channels)) / size_t(channels);
        timeline.rendered(int64_t(got));
        *ended = decoderDone && ring.fill() == 0;
    }
    ring.drain(out);
    {
        // Under the lock, so that the feeder, between its look at the room and its wait,
        // cannot miss the room freed here.
        std::lock_guard<std::mutex> lock(mutex);
        wake.notify_one();
    }
    gain.apply(out, got);
    return got;
}

void ChannelCore::played(size_t frames)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        takeNote(timeline.played(int64_t(frames)));
    }
    wake.notify_one();  // an end to tell, or the feeder may go further ahead now
}

void ChannelCore::setMuted(bool muted)
{
    gain.setMuted(muted);
    gainChanged();
}

void ChannelCore::setVolume(float volume)
{
    gain.setVolume(volume);
    gainChanged();
}

void ChannelCore::gainChanged()
{
    // A device with a long buffer would play the old level for as long as its buffer lasts
    // if the gain were applied here only.
    if (output)
        gain.setDeviceGain(output->setGain(gain.target()));
}

bool ChannelCore::isPlaying() const
{
    std::lock_guard<std::mutex> lock(mutex);
    // A failed device never pulls again; left playing, the track would never end.
    if (phase != Phase::Playing || output->failed())
        return false;
    return !(decoderDone && ring.fill() == 0 && timeline.allHeard());
}

int64_t ChannelCore::positionFrames() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return phase == Phase::Playing ? timeline.position() : 0;
}

bool ChannelCore::seek(int64_t frame)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (phase != Phase::Playing || frame < 0 || frame > current->lengthFrames())
            return false;
    }
    // What the device holds from before the seek goes with what the ring holds, at one
    // moment: the new place is heard at once, and nothing of the old one after it.
    output->discard([this, frame] { restartAt(frame); });
    wake.notify_all();
    return true;
}

void ChannelCore::restartAt(int64_t frame)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++generation;
    seekPending = true;
    // The listener may have gone on into a queued, shorter track since the seek was asked.
    seekTarget = std::min(frame, current->lengthFrames());
    ring.clear();
    decoderDone = false;
    if (timeline.restart(seekTarget))
        rewindNext = true;  // the queued track starts afresh when its turn comes again
}

void ChannelCore::setPaused(bool paused)
{
    if (!output)
        return;
    isPaused.store(paused);
    output->setPaused(paused);
}

}  // namespace zuna
