#include "playlist/folderwalk.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace zuna {

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

bool isAudioName(const QString &name)
{
    // Every kind that plays, by extension, in any case.
    static const QSet<QString> kAudio = {
        QStringLiteral("mp3"),  QStringLiteral("flac"), QStringLiteral("ogg"),
        QStringLiteral("oga"),  QStringLiteral("opus"), QStringLiteral("m4a"),
        QStringLiteral("mp4"),  QStringLiteral("m4b"),  QStringLiteral("aac"),
        QStringLiteral("wav"),  QStringLiteral("aif"),  QStringLiteral("aiff"),
        QStringLiteral("aifc"), QStringLiteral("wv"),   QStringLiteral("ape"),
        QStringLiteral("mp2"),  QStringLiteral("mod"),  QStringLiteral("s3m"),
        QStringLiteral("xm"),   QStringLiteral("it"),   QStringLiteral("webm")};
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 && kAudio.contains(name.mid(dot + 1).toLower());
}

using Take = std::function<bool(const QStringList &)>;

class FolderWalk {
public:
    explicit FolderWalk(const Take &taker) : take(taker) {}

    // False once `take` has asked to stop.
    bool walk(const QString &folder)
    {
        // Through links too, but each real folder once: a link back up would never end.
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || visited.contains(real))
            return true;
        visited.insert(real);
        // One listing per folder, told apart by kind and name here: types come with the
        // listing, and name filters would be patterns compiled again for every folder.
        const QDir dir(folder);
        QStringList files, folders;
        const QFileInfoList entries =
            dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
        for (const QFileInfo &entry : entries) {
            if (entry.isDir())
                folders.append(entry.fileName());
            else if (isAudioName(entry.fileName()) && entry.isReadable())
                files.append(entry.fileName());
        }
        if (!files.isEmpty()) {
            QStringList paths;
            paths.reserve(files.size());
            for (const QString &name : sorted(files))
                paths.append(dir.filePath(name));
            if (!take(paths))
                return false;
        }
        for (const QString &name : sorted(folders)) {
            if (!walk(dir.filePath(name)))
                return false;
        }
        return true;
    }

private:
    static QStringList sorted(QStringList names)
    {
        std::sort(names.begin(), names.end(), naturalLess);
        return names;
    }

    const Take &take;
    QSet<QString> visited;
};
}  // namespace

void walkFolders(const QStringList &dropped, const Take &take)
{
    for (const QString &path : dropped) {
        // A folder dropped twice gives its files twice.
        const bool going = QFileInfo(path).isDir() ? FolderWalk(take).walk(path) : take({path});
        if (!going)
            return;
    }
}

QStringList expandFolders(const QStringList &dropped)
{
    QStringList files;
    walkFolders(dropped, [&files](const QStringList &found) {
        files += found;
        return true;
    });
    return files;
}

}  // namespace zuna
