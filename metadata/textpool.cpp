#include "metadata/textpool.h"

namespace zuna {

QString TextPool::shared(const QString &text)
{
    const auto found = texts.constFind(text);
    if (found != texts.cend())
        return *found;
    texts.insert(text);
    return text;
}

void TextPool::shareRepeated(TrackMetadata *metadata)
{
    static const QString kRepeated[] = {QStringLiteral("ARTIST"), QStringLiteral("ALBUM")};
    for (const QString &key : kRepeated) {
        const auto found = metadata->find(key);
        if (found != metadata->end())
            *found = shared(*found);
    }
}

}  // namespace zuna
