#include "audio/playback/channelcore.h"

#include <algorithm>
#include <utility>

#include "audio/decode/decoder.h"
#include "audio/decode/trackfile.h"

namespace zuna {

namespace {
constexpr long kChunkFrames = 2048;
constexpr int64_t kPrefillFrames = 8192;
// Volume and mute changes glide over this long, so they never click.
constexpr double kRampSeconds = 0.010;

size_t ringFrames(int rate)
{
    return std::max<size_t>(16384, size_t(rate) / 2);
}
}  // namespace

ChannelCore::ChannelCore(std::shared_ptr<TrackFile> first, EndListener listener)
    : channels(first->format().channels),
      sampleRate(first->format().rate),
      onTrackEnd(std::move(listener)),
      current(std::move(first)),
      ring(ringFrames(sampleRate) * size_t(channels))
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
        while (!decoderDone && pushed < kPrefillFrames)
            decodeChunk(chunk, lock);
    }
    const AudioResult opened = driver.openOutput(current->format(), *this, &output);
    if (opened != AudioResult::Ok) {
        stopped = true;
        return opened;
    }
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
        stopping = true;
        stopped = true;
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
        if (stopped || lastEndReported)
            return AudioResult::InvalidHandle;
        dropQueuedAudio();
        next = std::move(track);
        rewindNext = rewind;
        if (decoderDone) {  // the current track is decoded to its end already: go on
            feedingNext = true;
            decoderDone = false;
        }
    }
    wake.notify_all();
    return AudioResult::Ok;
}

void ChannelCore::release(const TrackFile &track)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (current.get() != &track) {
            if (next.get() == &track)
                dropQueuedAudio();
            return;
        }
    }
    stop();
}

bool ChannelCore::hears(const TrackFile &track) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return !stopped && current.get() == &track;
}

void ChannelCore::dropQueuedAudio()
{
    if (feedingNext) {
        // The ring keeps the current track's audio only; what lies past its end is gone.
        const int64_t keep = std::max<int64_t>(0, boundary - rendered);
        ringFill = std::min(ringFill, size_t(keep) * size_t(channels));
        pushed = rendered + int64_t(ringFill / size_t(channels));
        feedingNext = false;
        decoderDone = true;
        ++generation;  // and a chunk being decoded from it right now is dropped
    }
    next.reset();
    nextEnd = kUnknown;
    rewindNext = false;
}

void ChannelCore::decodeChunk(std::vector<float> &chunk, std::unique_lock<std::mutex> &lock)
{
    const uint64_t decodingFor = generation;
    const std::shared_ptr<TrackFile> track = feedingNext ? next : current;
    const bool rewind = feedingNext && std::exchange(rewindNext, false);
    lock.unlock();
    long frames = 0;
    AudioResult result = rewind ? track->decoder().seek(0) : AudioResult::Ok;
    if (result == AudioResult::Ok)
        result = track->decoder().read(chunk.data(), kChunkFrames, &frames);
    lock.lock();
    if (decodingFor != generation)
        return;  // a seek or withdrawal came in meanwhile; this audio is not wanted
    // Damaged data ends the track where the damage starts.
    if (result == AudioResult::Ok && frames > 0) {
        push(chunk.data(), size_t(frames) * size_t(channels));
        pushed += frames;
    } else {
        trackDecoded();
    }
}

void ChannelCore::trackDecoded()
{
    if (feedingNext) {
        nextEnd = pushed;
        decoderDone = true;  // nothing is queued behind a queued track
        return;
    }
    boundary = pushed;
    if (next)
        feedingNext = true;  // straight on: its first frame follows this track's last
    else
        decoderDone = true;
    // The output may have played all of it already, while the end was not yet known.
    if (passedBoundaries())
        wake.notify_all();
}

void ChannelCore::feed()
{
    std::vector<float> chunk(size_t(kChunkFrames) * size_t(channels));
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
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
            lock.unlock();
            const AudioResult result = track->decoder().seek(target);
            lock.lock();
            // A decoder that could not get there would play from anywhere; the track ends
            // at the place it was asked to go to instead.
            if (result != AudioResult::Ok && seekingFor == generation)
                trackDecoded();
            continue;
        }
        // Ahead of the listener by no more than the ring holds, whatever the device holds:
        // decoding further ahead only lengthens what a change of the queued track cannot
        // take back.
        const size_t ahead = size_t(pushed - heard) * size_t(channels);
        if (decoderDone || ring.size() - ringFill < chunk.size() ||
            ahead + chunk.size() > ring.size()) {
            wake.wait(lock);
            continue;
        }
        decodeChunk(chunk, lock);
    }
}

void ChannelCore::push(const float *samples, size_t count)
{
    size_t write = (ringRead + ringFill) % ring.size();
    for (size_t done = 0; done < count;) {
        const size_t n = std::min(count - done, ring.size() - write);
        std::copy(samples + done, samples + done + n, ring.begin() + long(write));
        done += n;
        write = (write + n) % ring.size();
    }
    ringFill += count;
}

size_t ChannelCore::render(float *out, size_t frames, bool *ended)
{
    size_t got = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        got = std::min(frames, ringFill / size_t(channels));
        const size_t count = got * size_t(channels);
        for (size_t done = 0; done < count;) {
            const size_t n = std::min(count - done, ring.size() - ringRead);
            std::copy(ring.begin() + long(ringRead), ring.begin() + long(ringRead + n), out + done);
            done += n;
            ringRead = (ringRead + n) % ring.size();
        }
        ringFill -= count;
        rendered += int64_t(got);
        *ended = decoderDone && ringFill == 0;
    }
    wake.notify_one();
    applyGain(out, got);
    return got;
}

void ChannelCore::played(size_t frames)
{
    bool ends = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        // Frames rendered before a seek may still arrive; they count no further than what
        // was rendered since.
        heard = std::min(rendered, heard + int64_t(frames));
        ends = passedBoundaries();
    }
    if (ends)
        wake.notify_all();
    else
        wake.notify_one();  // the feeder may go further ahead now
}

bool ChannelCore::passedBoundaries()
{
    bool passed = false;
    while (heard >= boundary) {
        if (!feedingNext) {
            if (!std::exchange(lastEndReported, true)) {
                ++endsToReport;
                passed = true;
            }
            break;
        }
        // The listener is into the queued track: it becomes the current one, and the times
        // count from its start, its end (when already decoded) too.
        const int64_t ended = boundary;
        heard -= ended;
        rendered -= ended;
        pushed -= ended;
        base = 0;
        retired = std::exchange(current, std::move(next));
        feedingNext = false;
        boundary = nextEnd == kUnknown ? kUnknown : nextEnd - ended;
        nextEnd = kUnknown;
        ++endsToReport;
        passed = true;
    }
    return passed;
}

void ChannelCore::setMuted(bool muted)
{
    isMuted.store(muted);
    gainChanged();
}

void ChannelCore::setVolume(float volume)
{
    gainSetting.store(volume);
    gainChanged();
}

void ChannelCore::gainChanged()
{
    // A device with a long buffer would play the old level for as long as its buffer lasts
    // if the gain were applied here only.
    if (output)
        deviceGain.store(output->setGain(isMuted.load() ? 0.0f : gainSetting.load()));
}

void ChannelCore::applyGain(float *samples, size_t frames)
{
    if (deviceGain.load())
        return;
    const float target = isMuted.load() ? 0.0f : gainSetting.load();
    if (!gainPrimed) {
        gain = target;
        gainPrimed = true;
    }
    const float step = float(1.0 / (kRampSeconds * sampleRate));
    for (size_t i = 0; i < frames; ++i) {
        if (gain < target)
            gain = std::min(target, gain + step);
        else if (gain > target)
            gain = std::max(target, gain - step);
        for (int c = 0; c < channels; ++c)
            *samples++ *= gain;
    }
}

bool ChannelCore::isPlaying() const
{
    std::lock_guard<std::mutex> lock(mutex);
    // A failed device never pulls again; left playing, the track would never end.
    if (stopped || output->failed())
        return false;
    return !(decoderDone && ringFill == 0 && heard >= rendered);
}

int64_t ChannelCore::positionFrames() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return stopped ? 0 : base + heard;
}

bool ChannelCore::seek(int64_t frame)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopped || frame < 0 || frame > current->lengthFrames())
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
    ringRead = 0;
    ringFill = 0;
    decoderDone = false;
    base = seekTarget;
    rendered = heard = pushed = 0;
    boundary = nextEnd = kUnknown;
    lastEndReported = false;
    if (std::exchange(feedingNext, false))
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
