#!/usr/bin/env bash
# End-to-end, the player as a desktop citizen, on the private desktop of run.sh (Xvfb,
# PulseAudio's null sink recorded, a session bus) with an accessibility bus besides:
# files opened as a file manager's Open With opens them, one player a session; what a
# screen reader finds through AT-SPI; OpenUri's refusals with the music playing on; a long
# title in a window of the user's size; a session of the keyboard alone.
#
#   tests/e2e/citizen.sh ZUNA_BINARY
#
# On failure the screenshots, the logs and the recording are copied to $ZUNA_E2E_ARTIFACTS
# (default: ./e2e-citizen-artifacts).
set -euo pipefail

zuna=$(readlink -f "${1:?usage: citizen.sh ZUNA_BINARY}")
here=$(cd "$(dirname "$0")" && pwd)
data=$(cd "$here/../data" && pwd)
py=/usr/bin/python3  # Debian's, which has numpy and pyatspi
artifacts=${ZUNA_E2E_ARTIFACTS:-$PWD/e2e-citizen-artifacts}
[ -x "$zuna" ] || { echo "not an executable: $zuna" >&2; exit 2; }

work=$(mktemp -d /tmp/zuna-e2e.XXXXXX)
mkdir "$work/shots" "$work/media"
passed=false
step="setting up"
t0=$(date +%s%N)
other_pid="" a11y_pid="" listener=""
# shellcheck source=tests/e2e/desktop.sh
. "$here/desktop.sh"

cleanup() {
    stop_pid "$other_pid"
    stop_pid "$listener"
    stop_desktop
    stop_pid "$a11y_pid"
    if $passed; then
        rm -rf "$work"
    else
        mkdir -p "$artifacts"
        rm -rf "$artifacts/shots" "$artifacts"/*.log "$artifacts"/*.txt "$artifacts/capture.raw"
        cp -r "$work/shots" "$work"/*.log "$work"/*.txt "$artifacts/" 2>/dev/null || true
        cp "$capture" "$artifacts/" 2>/dev/null || true
        rm -rf "$work"
        echo "Screenshots, logs, AT-SPI dumps and the recording: $artifacts" >&2
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP PIPE
set -E
trap 'fail "\"$BASH_COMMAND\" failed (line $LINENO)"' ERR

ms() { echo $(( ($(date +%s%N) - ${1:-$t0}) / 1000000 )); }
seconds() { awk -v ms="$1" 'BEGIN { printf "%.1f", ms / 1000 }'; }
begin() { step=$1; step_t0=$(date +%s%N); }
ok() { printf 'ok   %5s s  %s (%s s)\n' "$(seconds "$(ms)")" "$step" "$(seconds "$(ms "$step_t0")")"; }
shot() { import -window root "$work/shots/$(printf '%06d' "$(ms)")-$1.png" 2>/dev/null || true; }
fail() {
    trap - ERR
    [ "$BASH_SUBSHELL" -gt 0 ] || shot failure
    echo "FAIL: $step: $*" >&2
    [ ! -s "$work/zuna.log" ] || { echo "--- zuna's output:" >&2; tail -n 20 "$work/zuna.log" >&2; }
    exit 1
}
hear() {  # wait|hold EXPECT...: sound.py on the recording; a mismatch fails the step
    local out
    out=$("$py" "$here/sound.py" "$1" "$capture" "${@:2}") || fail "$out"
}
rows_are() {  # PATTERN: the visible playlist's rows, one character per 40 px band
    local rect
    read -r -a rect < <(geometry qt_scrollarea_viewport)
    seen="rows $("$py" "$here/look.py" rows "$(shot_path rows)" "${rect[@]}")"
    [ "$seen" = "rows $1" ]
}
shot_path() { local f="$work/shots/$(printf '%06d' "$(ms)")-$1.png"; import -window root "$f" 2>/dev/null; echo "$f"; }
ctl() { timeout 5 playerctl --player=zuna "$@"; }
players() { seen=$(timeout 5 playerctl -l 2>&1 | sort | xargs); [ "$seen" = "$1" ]; }
windows() { xdo search --onlyvisible --name '^ZUNA$' 2>/dev/null | wc -l; }
size_of() { xwininfo -id "$1" | awk '/^ +Width:/ { w = $2 } /^ +Height:/ { h = $2 } END { print w "x" h }'; }
# What a screen reader finds: the player's tree as AT-SPI gives it, kept for the artifacts.
a11y() { "$py" "$here/atspi.py" dump zuna >"$work/atspi-$1.txt" 2>&1 || fail "AT-SPI: $(tail -n 3 "$work/atspi-$1.txt")"; }
has() {  # DUMP ROLE NAME: the dump holds an object of that role and name
    grep -qP "^\d+\t\Q$2\E\t\Q$3\E\t" "$work/atspi-$1.txt" || fail "no $2 named '$3' in the AT-SPI tree (atspi-$1.txt)"
}
a11y_finds() {  # ROLE NAME: whether the player's tree holds it now
    "$py" "$here/atspi.py" dump zuna >"$work/atspi-last.txt" 2>&1
    grep -qP "^\d+\t\Q$1\E\t\Q$2\E\t" "$work/atspi-last.txt"
}
open_uri() {  # URI: MPRIS's OpenUri, as a desktop sends it; prints the error name, if any
    timeout 5 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.zuna \
        /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player.OpenUri "string:$1" 2>&1 >/dev/null |
        sed -n 's/^Error \([^:]*\):.*/\1/p' || true
}
keys() {  # KEY...: typed into the window, given the focus first as a window manager gives it
    point_at_list  # back from a dialog: there is no window manager to hand the focus back
    xdo windowfocus --sync "$window"
    xdo key --delay 60 "$@"
}
point_at_list() { read -r lx ly < <(centre qt_scrollarea_viewport); point "$lx" "$ly"; }

begin "X, sound, session and accessibility buses start"
start_servers
GSETTINGS_BACKEND=memory /usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/a11y.log" 2>&1 &
a11y_pid=$!
wait_for 5 "the accessibility bus" eval "timeout 2 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1"
# As a screen reader asks for it when it starts.
timeout 5 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
ok

# --- the media -----------------------------------------------------------------------
tagged() {  # FILE TITLE SECONDS FREQ: a tagged mono tone at 22050 Hz
    "$py" "$here/sound.py" tone "$work/media/t.raw" 22050 "$3" "$4"
    flac --silent --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 \
         --sample-rate=22050 -T "TITLE=$2" -T "ARTIST=ZUNA end-to-end" -o "$1" "$work/media/t.raw"
    rm "$work/media/t.raw"
}
a=$work/media/a.flac b=$work/media/b.flac long=$work/media/long.flac
tagged "$a" "Tone A" 40 550
tagged "$b" "Tone B" 40 770
c=$work/media/c.flac
tagged "$c" "Tone C" 40 1320
long_title=$(printf 'A title that goes on and on %.0s' $(seq 12) | cut -c1-300)
tagged "$long" "$long_title" 40 990
mkdir "$work/media/album" "$work/media/empty"
tagged "$work/media/album/1 one.flac" "Album One" 40 660
tagged "$work/media/album/2 two.flac" "Album Two" 40 880
level=0.5

# --- Open With, one player a session -------------------------------------------------
begin "zuna FILE opens a window that plays the file"
PULSE_LATENCY_MSEC=100 start_player "$zuna" "$a"
wait_for 5 "the recording to start" test -s "$capture"
hear wait tone 550 $level 8
wait_for 5 "one row" rows_are 1000
ok

begin "a second zuna FILE hands its file to the first and ends"
wait_for 10 "the player on the bus" players zuna
(cd "$work" && exec "$zuna" "$b") >"$work/zuna-second.log" 2>&1 &
other_pid=$!
wait_for 10 "the second launch to end" eval "! kill -0 $other_pid 2>/dev/null"
wait "$other_pid" || fail "the second launch ended with code $?"
other_pid=""
hear wait tone 770 $level 5
[ "$(windows)" -eq 1 ] || fail "$(windows) windows titled ZUNA"
players zuna || fail "playerctl lists '$seen'"
wait_for 5 "two rows" rows_are 1100
[ ! -s "$work/zuna-second.log" ] || fail "the second launch said: $(head -n 3 "$work/zuna-second.log")"
ok

begin "a second zuna without files shows the first and ends; one of a missing file says so"
(cd "$work" && exec "$zuna") >"$work/zuna-second.log" 2>&1 &
other_pid=$!
wait_for 10 "the second launch to end" eval "! kill -0 $other_pid 2>/dev/null"
wait "$other_pid" || fail "the second launch ended with code $?"
other_pid=""
code=0
(cd "$work" && exec "$zuna" "$work/media/missing.flac") >"$work/zuna-second.log" 2>&1 || code=$?
[ "$code" -eq 1 ] || fail "a launch with only a missing file ended with code $code"
grep -qF "missing.flac" "$work/zuna-second.log" || fail "it did not name the file: $(cat "$work/zuna-second.log")"
[ "$(windows)" -eq 1 ] || fail "$(windows) windows titled ZUNA"
hear wait tone 770 $level 3
ok

# --- a screen reader -----------------------------------------------------------------
begin "AT-SPI: every control and every row is named"
a11y first
for name in "Add files" "Remove track" "New playlist" Play Pause Previous Next Stop Mute Settings; do
    has first "push button" "$name"
done
has first slider Progress
has first slider Volume
has first "list item" "Tone A, ZUNA end-to-end, 00:40"
has first "list item" "Tone B, ZUNA end-to-end, 00:40"
has first "page tab" Default
has first label "Tone B"
ok

begin "AT-SPI: the now-playing labels announce the track that starts"
"$py" "$here/atspi.py" listen zuna 20 >"$work/announced.txt" 2>"$work/listener.log" &
listener=$!
wait_for 10 "the listener" grep -q listening "$work/announced.txt"
ctl previous
hear wait tone 550 $level 5
wait_for 5 "'Tone A' announced" grep -qxP "label\tTone A" "$work/announced.txt"
stop_pid "$listener"
listener=""
ok

# --- MPRIS that never lies -------------------------------------------------------------
begin "OpenUri refuses what cannot be played, and the music plays on"
cp "$data/not-audio.mp3" "$work/media/not-audio.mp3"
for case in "missing.flac FileNotFound" "not-audio.mp3 InvalidArgs" "empty InvalidArgs"; do
    read -r file want <<<"$case"
    seen=$(open_uri "file://$work/media/$file")
    [ "$seen" = "org.freedesktop.DBus.Error.$want" ] || fail "OpenUri of $file answered '$seen'"
done
seen=$(open_uri "https://example.org/a.flac")
[ "$seen" = "org.freedesktop.DBus.Error.InvalidArgs" ] || fail "OpenUri of a web address answered '$seen'"
hear wait tone 550 $level 3
rows_are 1100 || fail "after the refusals the playlist shows $seen"
ok

begin "OpenUri of a folder adds its music; of a file already there, plays that row"
seen=$(open_uri "file://$work/media/album")
[ -z "$seen" ] || fail "OpenUri of a folder answered $seen"
hear wait tone 660 $level 5
wait_for 5 "four rows" rows_are 1111
seen=$(open_uri "file://$b")
[ -z "$seen" ] || fail "OpenUri of a file in the playlist answered $seen"
hear wait tone 770 $level 5
sleep 0.3
rows_are 1111 || fail "the file opened again made the playlist $seen"
ok

# --- long texts ------------------------------------------------------------------------
begin "a 300-character title leaves the window at the user's size"
xdo windowsize --sync "$window" 520 440 || true
wait_for 5 "the window at 520x440" eval '[ "$(size_of "$window")" = 520x440 ]'
seen=$(open_uri "file://$long")
[ -z "$seen" ] || fail "OpenUri of the long title answered $seen"
hear wait tone 990 $level 5
sleep 0.5
seen=$(size_of "$window")
[ "$seen" = 520x440 ] || fail "the window went from 520x440 to $seen"
a11y long
has long label "$long_title"
has long "list item" "$long_title, ZUNA end-to-end, 00:40"
ok

# --- the keyboard alone ----------------------------------------------------------------
begin "keyboard: Tab leaves the list and comes back, Enter plays the row under the cursor"
keys Home shift+Tab Tab
# Tab into the list leaves the cursor on a row but selects none; Enter plays it all the same.
keys Return
hear wait tone 550 $level 5
keys Down Return
hear wait tone 770 $level 5
keys space
hear wait silence 3
keys space
hear wait tone 770 $level 3
ok

begin "keyboard: Ctrl+O adds a file, Ctrl+T opens a playlist, Ctrl+W closes it after the question"
keys ctrl+o
[ -n "$(open_window '^Select audio files$')" ] || fail "no file dialog after Ctrl+O"
xdo type --delay 4 "\"$c\""
xdo key Return
wait_for 5 "the file dialog to close" window_gone '^Select audio files$'
wait_for 15 "its row" a11y_finds "list item" "Tone C, ZUNA end-to-end, 00:40"
keys End Return
hear wait tone 1320 $level 5
keys ctrl+t
[ -n "$(open_window '^New playlist$')" ] || fail "no name dialog after Ctrl+T"
xdo type --delay 4 "Mix"
xdo key Return
wait_for 5 "the name dialog to close" window_gone '^New playlist$'
keys ctrl+Tab  # to the next tab
wait_for 3 "the new, empty playlist" rows_are 0000
keys ctrl+o
[ -n "$(open_window '^Select audio files$')" ] || fail "no file dialog after Ctrl+O"
xdo type --delay 4 "\"$data/flac16-880.flac\""
xdo key Return
wait_for 5 "the file dialog to close" window_gone '^Select audio files$'
wait_for 5 "a row in the new playlist" rows_are 1000
for answer in Escape y; do
    keys ctrl+w
    [ -n "$(open_window '^Close playlist$')" ] || fail "no question after Ctrl+W"
    xdo key "$answer"
    wait_for 5 "the question to close" window_gone '^Close playlist$'
    if [ "$answer" = Escape ]; then
        rows_are 1000 || fail "after Escape the playlist shows $seen"
    fi
done
a11y closed
grep -qP "\tpage tab\tMix\t" "$work/atspi-closed.txt" && fail "the playlist 'Mix' is still there"
# The music came from "Default": it plays on.
hear wait tone 1320 $level 3
ok

begin "keyboard: Ctrl+Q quits"
keys ctrl+q
wait_for 10 "the process to end" eval "! kill -0 $zuna_pid 2>/dev/null"
code=0
wait "$zuna_pid" || code=$?
zuna_pid=""
[ "$code" -eq 0 ] || fail "exit code $code"
if grep -Ev '^(Event: |Send event: )' "$work/zuna.log" >"$work/warnings.log"; then
    fail "the player logged warnings: $(head -n 5 "$work/warnings.log")"
fi
ok

begin "MPRIS's Quit ends a player started anew, with code 0"
mv "$work/zuna.log" "$work/zuna-first.log"
rm "$work/geometry.txt"
start_player "$zuna"
wait_for 10 "the player on the bus" players zuna
timeout 5 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.zuna \
    /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit >/dev/null
wait_for 10 "the process to end" eval "! kill -0 $zuna_pid 2>/dev/null"
wait "$zuna_pid" || fail "exit code $?"
zuna_pid=""
ok

passed=true
echo "all steps passed in $(seconds "$(ms)") s"
