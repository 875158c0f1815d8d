#include "metadata/trackmetadata.h"

#include <QFile>
#include <algorithm>
#include <memory>

#include "audio/audiosystem.h"

using namespace zuna;

namespace {
const QString kUnknownTag = QStringLiteral("Unknow");

// No real title, artist or album comes near this many characters, while laying out a tag
// of megabytes in a label would freeze the window; longer texts keep their start.
constexpr qsizetype kMaxTagLength = 1024;

QString shownText(const std::string &utf8)
{
    // Each character takes at most four bytes, so this prefix holds the whole of the
    // characters kept, and converting it costs the same for any size of tag.
    const size_t bytes = std::min(utf8.size(), size_t(kMaxTagLength) * 4);
    QString text = QString::fromUtf8(utf8.data(), qsizetype(bytes));
    if (text.size() > kMaxTagLength)
        text.truncate(text.at(kMaxTagLength - 1).isHighSurrogate() ? kMaxTagLength - 1
                                                                   : kMaxTagLength);
    return text;
}

bool isShownTag(const std::string &name)
{
    return name == "TITLE" || name == "ARTIST" || name == "ALBUM";
}

QString typeText(SoundType type)
{
    switch (type) {
        case SoundType::Mpeg:
            return QStringLiteral("MP3");
        case SoundType::Flac:
            return QStringLiteral("FLAC");
        case SoundType::Other:
            break;
    }
    return QStringLiteral("UNKNOW");
}
}  // namespace

TrackMetadata readTrackMetadata(QString path)
{
    TrackMetadata metadata;
    int tagCount = 0;
    int64_t lengthMs = 0;
    SoundType type = SoundType::Other;
    qint64 size = -1;
    {
        // A system of its own: the engine's is on another thread, and creating one touches
        // no device. The stream must go before its system, hence the order.
        AudioSystem system;
        std::unique_ptr<AudioStream> stream;
        // Non-regular files (pipes, devices, directories) are refused before a byte is
        // read, so this cannot block.
        if (system.openStream(QFile::encodeName(path).toStdString(), &stream) == AudioResult::Ok) {
            tagCount = stream->tagCount();
            for (int i = 0; i < tagCount; ++i) {
                const Tag *tag = stream->tag(i);
                if (!isShownTag(tag->name))
                    continue;
                const QString text = shownText(tag->text);
                // Later tags of the same name replace earlier ones.
                metadata.insert(QString::fromLatin1(tag->name.data(), qsizetype(tag->name.size())),
                                text.trimmed().isEmpty() ? kUnknownTag : text);
            }
            lengthMs = framesToMs(stream->lengthFrames(), stream->format().rate);
            type = stream->type();
            size = stream->fileSize();
        }
    }
    if (tagCount == 0) {
        for (const char *name : {"TITLE", "ARTIST", "ALBUM"})
            metadata.insert(QString::fromLatin1(name), kUnknownTag);
    }
    metadata.insert(QStringLiteral("LENGTH"), QString::number(lengthMs));
    metadata.insert(QStringLiteral("TYPE"), typeText(type));
    // The size as the file system reports it, in full 64 bits: for a file that opened, as
    // its stream was told at opening; otherwise from a stat (no open), 0 for a path that leads
    // nowhere, including a dangling link.
    if (size < 0)
        size = QFile(path).size();
    metadata.insert(QStringLiteral("SIZE"), QString::number(size));
    return metadata;
}
