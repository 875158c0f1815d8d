#include "app/instancehandoff.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>

#include "app/mprisservice.h"

namespace zuna {

QStringList pathsFromArguments(const QStringList &arguments)
{
    QStringList paths;
    for (const QString &argument : arguments) {
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        paths.append(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    }
    return paths;
}

std::optional<int> handOverToRunningPlayer(const QStringList &paths)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(MprisService::kBusName))
        return std::nullopt;
    const QString path = QStringLiteral("/org/mpris/MediaPlayer2");
    QDBusMessage call =
        paths.isEmpty() ? QDBusMessage::createMethodCall(MprisService::kBusName, path,
                                                         QStringLiteral("org.mpris.MediaPlayer2"),
                                                         QStringLiteral("Raise"))
                        : QDBusMessage::createMethodCall(MprisService::kBusName, path,
                                                         QStringLiteral("io.github.zuna.Zuna"),
                                                         QStringLiteral("Open"));
    if (!paths.isEmpty())
        call << paths;
    const QDBusMessage reply = bus.call(call);
    QStringList notOpened;
    if (reply.type() == QDBusMessage::ReplyMessage) {
        if (!reply.arguments().isEmpty())
            notOpened = reply.arguments().constFirst().toStringList();
    } else if (reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.FileNotFound") ||
               reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs")) {
        notOpened = paths;  // the player answered: none of them
    } else {
        return std::nullopt;  // gone meanwhile, or a player that takes no files this way
    }
    for (const QString &file : std::as_const(notOpened))
        std::fprintf(stderr, "zuna: nothing to play in %s\n", qUtf8Printable(file));
    return notOpened.size() == paths.size() && !paths.isEmpty() ? 1 : 0;
}

}  // namespace zuna
