#!/usr/bin/env bash
# End-to-end: the real zuna binary on a real X server (Xvfb) with a real sound server
# (PulseAudio, null sink), driven from outside as a person would: xdotool clicks widgets
# where they are on the screen and types into the dialogs, parec records what reaches the
# sink, and sound.py / look.py judge the recording and screenshots.
#
#   tests/e2e/run.sh ZUNA_BINARY
#
# Starts and stops its own X and sound servers (as root too), so runs can go in parallel.
# Every wait has a timeout. On failure the screenshots of each step, the logs and the
# recording are copied to $ZUNA_E2E_ARTIFACTS (default: ./e2e-desktop-artifacts) and the
# message says where.
set -euo pipefail

zuna=$(readlink -f "${1:?usage: run.sh ZUNA_BINARY}")
here=$(cd "$(dirname "$0")" && pwd)
data=$(cd "$here/../data" && pwd)
py=/usr/bin/python3  # Debian's, which has numpy
artifacts=${ZUNA_E2E_ARTIFACTS:-$PWD/e2e-desktop-artifacts}
[ -x "$zuna" ] || { echo "not an executable: $zuna" >&2; exit 2; }

work=$(mktemp -d /tmp/zuna-e2e.XXXXXX)  # short: the sound server's socket lives in it
mkdir -m 700 "$work/run"
mkdir "$work/home" "$work/shots" "$work/media"
capture=$work/capture.raw
sink=zuna_e2e
xvfb_pid="" pulse_pid="" keeper_pid="" rec_pid="" zuna_pid=""
passed=false
step="setting up"
t0=$(date +%s%N)

# A private world: nothing is read from or written to the real home, and the programs find
# this run's servers only.
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config \
       XDG_CACHE_HOME=$work/home/.cache XDG_DATA_HOME=$work/home/.local/share
export PULSE_SERVER=unix:$work/run/pulse/native PULSE_CLIENTCONFIG=$work/client.conf
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"  # never a server of the clients' own making
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=pulseaudio LC_ALL=C.UTF-8
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE DBUS_SESSION_BUS_ADDRESS SDL_AUDIO_DEVICE_NAME

stop_pid() {  # PID: TERM, then KILL if it is still there after 2 s
    local pid=$1
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
}

cleanup() {
    stop_pid "$zuna_pid"
    [ -z "$rec_pid" ] || kill -INT "$rec_pid" 2>/dev/null || true
    stop_pid "$rec_pid"
    stop_pid "$keeper_pid"
    stop_pid "$pulse_pid"
    stop_pid "$xvfb_pid"
    if $passed; then
        rm -rf "$work"
    else
        mkdir -p "$artifacts"
        # Only what an earlier failure left here: the folder may be a user's own.
        rm -rf "$artifacts/shots" "$artifacts"/*.log "$artifacts/capture.raw" "$artifacts/geometry.txt"
        cp -r "$work/shots" "$work"/*.log "$artifacts/" 2>/dev/null || true
        cp "$capture" "$work/geometry.txt" "$artifacts/" 2>/dev/null || true
        rm -rf "$work"
        echo "Screenshots of each step, the logs and the recording (s16le, 2 ch, 44100 Hz):" \
             "$artifacts" >&2
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP PIPE  # through cleanup too
# Anything else that fails ends the run with the step named, not silently.
set -E
trap 'fail "\"$BASH_COMMAND\" failed (line $LINENO)"' ERR

ms() { echo $(( ($(date +%s%N) - ${1:-$t0}) / 1000000 )); }  # since t0, or since $1
seconds() { awk -v ms="$1" 'BEGIN { printf "%.1f", ms / 1000 }'; }
begin() { step=$1; step_t0=$(date +%s%N); }
ok() { printf 'ok   %5s s  %s (%s s)\n' "$(seconds "$(ms)")" "$step" "$(seconds "$(ms "$step_t0")")"; }
shot() {  # NAME: a screenshot of the whole screen into shots/, named by the time; prints its path
    local file
    file=$work/shots/$(printf '%06d' "$(ms)")-$1.png
    import -window root "$file" 2>/dev/null
    echo "$file"
}
fail() {
    trap - ERR
    [ "$BASH_SUBSHELL" -gt 0 ] || shot failure >/dev/null 2>&1 || true
    echo "FAIL: $step: $*" >&2
    [ ! -s "$work/zuna.log" ] || { echo "--- zuna's output:" >&2; tail -n 20 "$work/zuna.log" >&2; }
    exit 1
}
seen=""  # what the last check saw, for the failure message
wait_for() {  # SECONDS WHAT COMMAND...: runs COMMAND until it succeeds, or fails the step
    local seconds=$1 what=$2 deadline
    shift 2
    deadline=$(( $(date +%s%N) + seconds * 1000000000 ))
    seen=""
    until "$@"; do
        [ "$(date +%s%N)" -lt "$deadline" ] || fail "$what (waited $seconds s${seen:+, saw $seen})"
        sleep 0.1
    done
}
xdo() { timeout 5 xdotool "$@"; }  # no xdotool call may hang the suite
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }  # A B: A >= B, decimals too

# --- what the player shows and where ------------------------------------------------
geometry() {  # NAME: "x y width height" of a named widget, from the player's dump
    awk -v n="$1" '$1 == n { print $2, $3, $4, $5; exit }' "$work/geometry.txt"
}
centre() {  # NAME: "x y" of a named widget's centre
    geometry "$1" | awk '{ printf "%d %d\n", $1 + $3 / 2, $2 + $4 / 2 }'
}
point() {  # X Y: moves the pointer there (--sync would wait forever if it is there already)
    local x y
    read -r x y < <(xdo getmouselocation | sed 's/^x:\([0-9]*\) y:\([0-9]*\).*/\1 \2/')
    [ "$x $y" = "$1 $2" ] || xdo mousemove --sync "$1" "$2"
}
click() { point "$1" "$2"; xdo click 1; }
press() {  # NAME: a click on a button, by its object name
    local x y
    read -r x y < <(centre "$1")
    click "$x" "$y"
}
look() {  # WHAT NAME [SHOT]: look.py's measurement of a named widget on a fresh screenshot
    local file=${3:-$(shot "$1")} rect
    read -r -a rect < <(geometry "$2")
    "$py" "$here/look.py" "$1" "$file" "${rect[@]}"
}
rows_are() {  # PATTERN: the visible playlist's rows, one character per 40 px band
    seen="rows $(look rows qt_scrollarea_viewport)"
    [ "$seen" = "rows $1" ]
}
tabs_end() {  # where the tabs end; "Default" alone ends where the dump's tab bar does
    tabs_end_x=$(look tabsend playliststab_strip)
    seen="tabs ending at x=$tabs_end_x"
}
one_tab() { tabs_end; [ "$tabs_end_x" -le $((one_end + 2)) ]; }
two_tabs() { tabs_end; [ "$tabs_end_x" -gt $((one_end + 10)) ]; }
window_gone() { ! xdo search --onlyvisible --name "$1" >/dev/null 2>&1; }
open_window() {  # TITLE-REGEX: waits (10 s at most) for a window to show, prints its id
    timeout 10 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true
}
other_windows() {  # the visible windows besides the player's own (and the root window)
    xdo search --onlyvisible --name '' 2>/dev/null | grep -vx -e "$window" -e "$root" || true
}
dialog_shown() { [ -n "$(other_windows)" ]; }
dialog_gone() { [ -z "$(other_windows)" ]; }
row_centre() {  # ROW: "x y" of a playlist row, rows being 40 px from the list's top
    geometry qt_scrollarea_viewport | awk -v r="$1" '{ printf "%d %d\n", $1 + 100, $2 + 40 * r + 20 }'
}
click_row() {  # ROW [COUNT]: one click on a playlist row, or COUNT in a row
    local x y
    read -r x y < <(row_centre "$1")
    point "$x" "$y"
    xdo click --repeat "${2:-1}" --delay 80 1
}
double_click_row() { click_row "$1" 2; }
drag() {  # X Y TO_X...: presses the left button at X Y and moves through each TO_X
    local x=$1 y=$2 to
    shift 2
    point "$x" "$y"
    xdo mousedown 1
    for to in "$@"; do sleep 0.05; point "$to" "$y"; done
    sleep 0.05
    xdo mouseup 1
}
add_files() {  # PATH...: "+", then the paths typed into the file dialog's name field
    local dialog text="" path
    press addtrackbutton
    dialog=$(open_window '^Select audio files$')
    [ -n "$dialog" ] || fail "no file dialog after '+'"
    for path in "$@"; do text+="\"$path\" "; done
    xdo type --delay 4 "${text% }"
    xdo key Return
    wait_for 5 "the file dialog to close" window_gone '^Select audio files$'
}

# --- what the sink plays -------------------------------------------------------------
hear() {  # wait|hold EXPECT...: sound.py on the recording; a mismatch fails the step
    local out
    out=$("$py" "$here/sound.py" "$1" "$capture" "${@:2}") || fail "$out"
}
recorded() { echo $(( $(stat -c %s "$capture") / 4 * 4 )); }

# --- the servers ---------------------------------------------------------------------
begin "X server and sound server start"  # the recording starts in the background
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
     3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 10 "Xvfb to start" test -s "$work/display"
display=$(head -n 1 "$work/display")
export DISPLAY=:$display
root=$(( $(xwininfo -root | awk '/Window id:/ { print $4 }') ))

# In the foreground of a background job, so that it stays this script's child and goes with
# it whatever happens.
pulseaudio --daemonize=no --system=no --exit-idle-time=-1 --disallow-exit=yes -n \
    --use-pid-file=no --log-target="file:$work/pulseaudio.log" \
    --load="module-native-protocol-unix auth-anonymous=1" \
    --load="module-null-sink sink_name=$sink rate=44100 channels=2" &
pulse_pid=$!
wait_for 5 "PulseAudio to listen" eval "pactl info >/dev/null 2>&1"
pactl set-default-sink "$sink"
# An idle null sink gives its monitor nothing at all; a stream of zeros keeps it running, so
# the recording is one unbroken timeline, silences included.
pacat --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 --device="$sink" </dev/zero &
keeper_pid=$!
sink_running() { pactl list short sinks | grep -q "^[0-9]*[[:space:]]${sink}[[:space:]].*RUNNING"; }
wait_for 5 "the sink to run" sink_running
parec --device="$sink.monitor" --format=s16le --rate=44100 --channels=2 --latency-msec=20 \
      >"$capture" 2>"$work/parec.log" &
rec_pid=$!
ok

# --- the media ---------------------------------------------------------------------
# 120 s, so that the progress handle creeps (a step of about 4 px in 1.2 s) and the suite
# can grab it; 660 Hz for the first 90 % and 990 Hz for the last 10 %, so that a seek to the
# end is heard at once, and how long the rest lasts tells where it landed.
long="$work/media/long tone.flac"  # a space, for the dialog's quoting
"$py" "$here/sound.py" tone "$work/media/long.raw" 22050 108 660 12 990
flac --silent --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 \
     --sample-rate=22050 -T "TITLE=Long tone" -T "ARTIST=ZUNA end-to-end" \
     -o "$long" "$work/media/long.raw"
rm "$work/media/long.raw"
second=$data/two-b-1500.flac  # 1 s of 1500 Hz, "Second"

# --- the player ----------------------------------------------------------------------
begin "the window opens"
(cd "$work" && ZUNA_DUMP_GEOMETRY=$work/geometry.txt exec "$zuna") >"$work/zuna.log" 2>&1 &
zuna_pid=$!
window=$(open_window '^ZUNA$')
[ -n "$window" ] || fail "no window titled ZUNA"
wait_for 5 "the geometry dump" test -s "$work/geometry.txt"
for name in addtrackbutton deltrackbutton addplaylistbutton playbutton pausebutton mutebutton \
            volumeslider progresslider playliststab qt_tabwidget_tabbar qt_scrollarea_viewport; do
    [ -n "$(geometry $name)" ] || fail "no $name in the geometry dump"
done
# The tab bar's strip across the whole tab widget: new tabs appear in it, right of "Default".
read -r tx ty tw _ < <(geometry playliststab)
read -r bx _ bw th < <(geometry qt_tabwidget_tabbar)
echo "playliststab_strip $tx $ty $tw $th" >>"$work/geometry.txt"
one_end=$((bx + bw))
rows_are 0000 || fail "the new window shows $seen"
# Docks and task bars match a window to its launcher entry by the window's class.
wm_class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= "\([^"]*\)", "\([^"]*\)".*/\2/p')
entry_class=$(sed -n 's/^StartupWMClass=//p' "$here/../../resources/desktop/io.github.zuna.Zuna.desktop")
[ "$wm_class" = "$entry_class" ] ||
    fail "the window's class is '$wm_class', the launcher entry expects '$entry_class'"
ok

begin "'+' and the file dialog add two rows"
add_files "$long" "$second"
wait_for 5 "two rows" rows_are 1100
ok

level=0.5  # the tones' peak at full volume
begin "a double-click on the first row plays its file"
wait_for 5 "the recording to start" test -s "$capture"  # the null sink's first block is long
double_click_row 0
hear wait tone 660 $level 5
hear hold tone 660 $level 0.6
ok

begin "pause gives silence, play resumes"
press pausebutton
hear wait silence 3
hear hold silence 0.8
press playbutton
hear wait tone 660 $level 3
hear hold tone 660 $level 0.5
ok

begin "mute gives silence, unmute restores the level"
press mutebutton
hear wait silence 3
hear hold silence 0.8
# The window mirrors the mute: the volume handle goes to 0.
read -r _ _ value < <(look handle volumeslider)
[ "${value%.*}" -le 1 ] || fail "muted, the volume slider stands at $value, not 0"
press mutebutton
hear wait tone 660 $level 3
hear hold tone 660 $level 0.5
read -r vx vy value < <(look handle volumeslider)
[ "${value%.*}" -ge 98 ] || fail "unmuted, the volume slider stands at $value, not 99"
ok

begin "moving the volume slider lowers the level"
read -r _ _ vw _ < <(geometry volumeslider)
drag "$vx" "$vy" $((vx - vw / 4)) $((vx - vw * 55 / 100))
read -r _ _ value < <(look handle volumeslider)
# The level follows the slider linearly: value / 100 of full scale.
level=$(awk -v v="$value" 'BEGIN { printf "%.4f", 0.5 * v / 100 }')
at_least "$value" 20 && at_least 70 "$value" || fail "the handle went to $value"
hear wait tone 660 "$level" 3
hear hold tone 660 "$level" 0.5
ok

begin "the progress handle stays where it is held"
read -r hx hy value < <(look handle progresslider)
read -r sx _ sw _ < <(geometry progresslider)
at_least 20 "$value" || fail "the progress handle stands at $value already"
from=$(recorded)
point "$hx" "$hy"
xdo mousedown 1
for to in $((hx + 60)) $((sx + sw / 2)); do sleep 0.05; point "$to" "$hy"; done
read -r _ _ put < <(look handle progresslider)
sleep 2.5  # two of the player's once-a-second updates at least
read -r _ _ held < <(look handle progresslider)
# The track plays on meanwhile, but the handle is the user's until released: were it to
# follow the playback, each move would be a seek back to a whole percent.
at_least 0.7 "$(awk -v a="$put" -v b="$held" 'BEGIN { print (a > b) ? a - b : b - a }')" ||
    fail "the held handle moved from $put to $held"
ok

begin "dragging the progress slider seeks; the next row starts by itself"
# On past the slider's end, and let go: 99 % of 120 s, so 1.2 s of the last segment are left.
sleep 0.05
point $((sx + sw + 30)) "$hy"
sleep 0.05
xdo mouseup 1
out=$("$py" "$here/sound.py" sequence "$capture" "$from" 14 \
      tone 660 "$level" 0 inf \
      tone 990 "$level" 0.85 1.6 \
      silence 0 2.0 \
      tone 1500 "$level" 0.8 1.2 \
      silence 1.2 inf 2>"$work/sequence.log") || fail "$out"
sed 's/^/     /' "$work/sequence.log"
ok

begin "'-' deletes the selected row"
click_row 0
press deltrackbutton
wait_for 3 "one row left" rows_are 1000
# The row left must be the second file's: it plays 1500 Hz.
double_click_row 0
hear wait tone 1500 "$level" 4
hear wait silence 3
ok

begin "a new playlist opens under a typed name and closes after the question"
name_playlist() {  # TEXT: the new-playlist button, TEXT typed into the name dialog, Enter
    press addplaylistbutton
    [ -n "$(open_window '^New playlist$')" ] || fail "no name dialog after the new-playlist button"
    [ -z "$1" ] || xdo type --delay 4 "$1"
    xdo key Return
    wait_for 5 "the name dialog to close" window_gone '^New playlist$'
}
name_playlist ""
sleep 0.3  # a tab would come with the dialog's end; give it time to be drawn
one_tab || fail "a playlist without a name was opened ($seen)"
name_playlist "Mix"
wait_for 3 "a second tab" two_tabs
click $((one_end + 15)) $((ty + th / 2))  # on the new tab, just past "Default"
wait_for 3 "the new, empty playlist" rows_are 0000
add_files "$data/flac16-880.flac"
wait_for 5 "a row in the new playlist" rows_are 1000
# Only the current tab's close button is red.
read -r -a icons < <(look closeicons playliststab_strip)
[ ${#icons[@]} -eq 1 ] || fail "expected one red close button, saw ${#icons[@]}"
IFS=, read -r cx cy <<<"${icons[0]}"
[ "$cx" -gt "$one_end" ] || fail "the red close button at x=$cx is not on the new tab"
for answer in Escape y; do  # Cancel keeps the playlist, Yes closes it
    click "$cx" "$cy"
    wait_for 5 "a question when closing a playlist that holds a row" dialog_shown
    shot question >/dev/null
    xdo key "$answer"
    wait_for 5 "the question to close" dialog_gone
    if [ "$answer" = Escape ]; then
        two_tabs || fail "Cancel closed the playlist ($seen)"
        rows_are 1000 || fail "after Cancel the playlist shows $seen"
    fi
done
wait_for 3 "the playlist to close" one_tab
rows_are 1000 || fail "back on 'Default', it shows $seen, not its one row"
ok

begin "closing the window ends the process with code 0"
"$py" "$here/wmclose.py" "$window"
wait_for 10 "the process to end" eval "! kill -0 $zuna_pid 2>/dev/null"
set +e
wait "$zuna_pid"
code=$?
set -e
zuna_pid=""
[ "$code" -eq 0 ] || fail "exit code $code"
# Qt reports misuse of threads, timers and objects on the log; the player's own lines are
# "Event: ..." and "Send event: ...".
if grep -Ev '^(Event: |Send event: )' "$work/zuna.log" >"$work/warnings.log"; then
    fail "the player logged warnings: $(head -n 5 "$work/warnings.log")"
fi
ok

passed=true
echo "all steps passed in $(seconds "$(ms)") s"
