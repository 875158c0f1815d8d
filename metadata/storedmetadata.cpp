#include "metadata/storedmetadata.h"

namespace zuna {

namespace {
// In the order of the keys: text keys first, as `texts` holds them.
const QString kKeyNames[] = {QStringLiteral("TITLE"), QStringLiteral("ARTIST"),
                             QStringLiteral("ALBUM"), QStringLiteral("LENGTH"),
                             QStringLiteral("TYPE"),  QStringLiteral("SIZE")};

int textSlot(int key)
{
    return key == 4 ? 3 : key;  // TYPE is the fourth text
}

bool isTextKey(int key)
{
    return key != 3 && key != 5;
}

// The number exactly as written by QString::number, or nothing: anything else ("007",
// "+5", " 5", "x") could not be written back the same.
bool readNumber(const QString &text, qint64 *value)
{
    bool ok = false;
    *value = text.toLongLong(&ok, 10);
    return ok && QString::number(*value) == text;
}
}  // namespace

StoredMetadata::StoredMetadata(const TrackMetadata &metadata)
{
    int known = 0;
    for (int key = 0; key < KeyCount; ++key) {
        const auto found = metadata.constFind(kKeyNames[key]);
        if (found == metadata.cend())
            continue;
        ++known;
        present |= quint8(1u << key);
        if (isTextKey(key))
            texts[textSlot(key)] = found.value();
        else if (!readNumber(found.value(), key == Length ? &length : &size))
            compact = false;
    }
    if (known != metadata.size())
        compact = false;  // keys of other names
    if (!compact) {
        asItCame = metadata;
        for (QString &text : texts)
            text.clear();
    }
}

TrackMetadata StoredMetadata::toMap() const
{
    if (!compact)
        return asItCame;
    TrackMetadata map;
    for (int key = 0; key < KeyCount; ++key) {
        if (!has(Key(key)))
            continue;
        map.insert(kKeyNames[key], isTextKey(key) ? texts[textSlot(key)]
                                                  : QString::number(key == Length ? length : size));
    }
    return map;
}

QString StoredMetadata::text(Key key) const
{
    return compact ? texts[textSlot(key)] : asItCame.value(kKeyNames[key]);
}

qint64 StoredMetadata::number(Key key) const
{
    if (compact)
        return key == Length ? length : size;
    bool ok = false;
    const qint64 value = asItCame.value(kKeyNames[key]).toLongLong(&ok, 10);
    return ok ? value : 0;
}

QString StoredMetadata::title() const
{
    return text(Title);
}

QString StoredMetadata::artist() const
{
    return text(Artist);
}

QString StoredMetadata::type() const
{
    return text(Type);
}

qint64 StoredMetadata::lengthMs() const
{
    return number(Length);
}

qint64 StoredMetadata::sizeBytes() const
{
    return number(Size);
}

}  // namespace zuna
