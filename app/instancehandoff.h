#pragma once

#include <QStringList>
#include <optional>

namespace zuna {

// The files a launch was given, as the desktop's Open With passes them (%F): paths made
// absolute against the working folder, file URLs taken as their paths.
QStringList pathsFromArguments(const QStringList &arguments);

// One player a session: a launch while another player runs on the session bus hands that
// one its files (to be added and played, the window raised), or without files asks it to
// show its window, and ends. Returns the launch's exit code when it was handed over (1 when
// none of the files could be opened, each named on standard error); nothing when there is no
// player to hand to (no bus, none running, or one that does not answer), so that this launch
// stands alone.
std::optional<int> handOverToRunningPlayer(const QStringList &paths);

}  // namespace zuna
