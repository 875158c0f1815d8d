#include "playlist/folderwalk.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace {
// Names as people read them: runs of digits by their value ("2" before "10"), the rest
// regardless of case, whatever the locale (collators are plain byte order in the C locale).
bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            QStringView x = QStringView(a).mid(startA, i - startA);
            QStringView y = QStringView(b).mid(startB, j - startB);
            while (x.size() > 1 && x.front() == u'0')
                x = x.mid(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.mid(1);
            if (x.size() != y.size())
                return x.size() < y.size();  // no leading zeros: the longer is the larger
            if (const int c = x.compare(y); c != 0)
                return c < 0;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return j < b.size();  // the one that ran out first goes first
    return a < b;             // alike but for case or zeros: still one order
}

class FolderWalk {
public:
    void walk(const QString &folder, QStringList *files)
    {
        // Through links too, but each real folder once: a link back up would never end.
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || visited.contains(real))
            return;
        visited.insert(real);
        const QDir dir(folder);
        for (const QString &name : sorted(dir.entryList(kAudio, QDir::Files | QDir::Readable)))
            files->append(dir.filePath(name));
        for (const QString &name : sorted(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)))
            walk(dir.filePath(name), files);
    }

private:
    static QStringList sorted(QStringList names)
    {
        std::sort(names.begin(), names.end(), naturalLess);
        return names;
    }

    // Every kind that plays, by extension: QDir matches these without regard to case.
    inline static const QStringList kAudio = {
        QStringLiteral("*.mp3"),  QStringLiteral("*.flac"), QStringLiteral("*.ogg"),
        QStringLiteral("*.oga"),  QStringLiteral("*.opus"), QStringLiteral("*.m4a"),
        QStringLiteral("*.mp4"),  QStringLiteral("*.m4b"),  QStringLiteral("*.aac"),
        QStringLiteral("*.wav"),  QStringLiteral("*.aif"),  QStringLiteral("*.aiff"),
        QStringLiteral("*.aifc"), QStringLiteral("*.wv"),   QStringLiteral("*.ape"),
        QStringLiteral("*.mp2"),  QStringLiteral("*.mod"),  QStringLiteral("*.s3m"),
        QStringLiteral("*.xm"),   QStringLiteral("*.it"),   QStringLiteral("*.webm")};
    QSet<QString> visited;
};
}  // namespace

QStringList expandFolders(const QStringList &dropped)
{
    QStringList files;
    for (const QString &path : dropped) {
        if (QFileInfo(path).isDir())
            FolderWalk().walk(path, &files);  // a folder dropped twice gives its files twice
        else
            files.append(path);
    }
    return files;
}
