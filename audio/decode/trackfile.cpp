#include "audio/decode/trackfile.h"

#include "audio/decode/decoder.h"
#include "audio/decode/filereader.h"
#include "audio/decode/formatsniffer.h"

namespace zuna {

AudioResult TrackFile::open(const std::string &path, std::unique_ptr<TrackFile> *track)
{
    track->reset();
    std::unique_ptr<FileReader> reader;
    AudioResult result = FileReader::open(path, &reader);
    if (result != AudioResult::Ok)
        return result;
    const SniffedFormat sniffed = sniffFormat(*reader);
    std::unique_ptr<Decoder> pcm;
    TagLayout tags = TagLayout::None;
    result = openDecoder(sniffed, *reader, &pcm, &tags);
    if (result != AudioResult::Ok)
        return result;
    track->reset(new TrackFile(sniffed.type, tags, std::move(reader), std::move(pcm)));
    return AudioResult::Ok;
}

std::unique_ptr<TrackFile> TrackFile::adopt(SoundType type, std::unique_ptr<FileReader> file,
                                            std::unique_ptr<Decoder> decoder)
{
    return std::unique_ptr<TrackFile>(
        new TrackFile(type, TagLayout::None, std::move(file), std::move(decoder)));
}

TrackFile::TrackFile(SoundType type, TagLayout layout, std::unique_ptr<FileReader> file,
                     std::unique_ptr<Decoder> opened)
    : soundType(type),
      tags(layout),
      reader(std::move(file)),
      pcm(std::move(opened)),
      pcmFormat(pcm->format()),
      length(pcm->lengthFrames()),
      size(reader->size())
{
}

TrackFile::~TrackFile()
{
    pcm.reset();  // it reads through the file, which must outlive it
}

}  // namespace zuna
