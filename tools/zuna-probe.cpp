// zuna-probe PATH...: prints what the player reads from each file, one line per path:
// the path as given, then TAB-separated KEY=value fields in the order TITLE, ARTIST,
// ALBUM, LENGTH, TYPE, SIZE; keys the reader left out are left out here too. Values are
// UTF-8 as read; a tab, line break or backslash in a value or path is written as \t, \n,
// \r or \\ so that every file stays on one line.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>

#include "metadata/trackmetadata.h"

namespace {
QByteArray escaped(const QByteArray &text)
{
    QByteArray out;
    for (const char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}
}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH...\n", argv[0]);
        return 2;
    }
    const char *const keys[] = {"TITLE", "ARTIST", "ALBUM", "LENGTH", "TYPE", "SIZE"};
    for (int i = 1; i < argc; ++i) {
        const TrackMetadata metadata = readTrackMetadata(QFile::decodeName(argv[i]));
        QByteArray line = escaped(QByteArray(argv[i]));
        for (const char *key : keys) {
            const auto found = metadata.constFind(QString::fromLatin1(key));
            if (found != metadata.constEnd())
                line += '\t' + QByteArray(key) + '=' + escaped(found->toUtf8());
        }
        line += '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
