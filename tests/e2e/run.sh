#!/usr/bin/env bash
# End-to-end: the real zuna binary on a real X server (Xvfb) with a real sound server
# (PulseAudio, null sink) and a session bus of its own, driven from outside as a person
# would: xdotool clicks widgets where they are on the screen and types into the dialogs,
# playerctl uses the desktop's media controls, parec records what reaches the sink, and
# sound.py / look.py judge the recording and screenshots.
#
#   tests/e2e/run.sh ZUNA_BINARY
#
# Starts and stops its own X and sound servers (as root too), so runs can go in parallel.
# Every wait has a timeout. A step that fails is reported and the run goes on with the
# next (each runs in a subshell of its own; what later steps need of it is kept); the run
# fails at the end, naming every failed step. Only the servers, the window and its closing
# end the run when they fail: nothing after them could be checked. On failure the
# screenshots of each step, the logs and the recording are copied to $ZUNA_E2E_ARTIFACTS
# (default: ./e2e-desktop-artifacts) and the message says where.
set -euo pipefail

zuna=$(readlink -f "${1:?usage: run.sh ZUNA_BINARY}")
here=$(cd "$(dirname "$0")" && pwd)
data=$(cd "$here/../data" && pwd)
py=/usr/bin/python3  # Debian's, which has numpy
artifacts=${ZUNA_E2E_ARTIFACTS:-$PWD/e2e-desktop-artifacts}
[ -x "$zuna" ] || { echo "not an executable: $zuna" >&2; exit 2; }

work=$(mktemp -d /tmp/zuna-e2e.XXXXXX)  # short: the sound server's socket lives in it
mkdir "$work/shots" "$work/media"
passed=false
step="setting up"
t0=$(date +%s%N)
other_pid=""  # a second player, while one runs
watcher=""    # a loop reading what the desktop is told, while one runs
busy=""       # a loop keeping a core busy, while one runs
# shellcheck source=tests/e2e/desktop.sh
. "$here/desktop.sh"

failed=()  # the steps that failed so far

cleanup() {
    [ ${#failed[@]} -eq 0 ] || printf 'FAILED: %s\n' "${failed[@]}" >&2
    stop_pid "$other_pid"
    stop_pid "$watcher"
    stop_pid "$busy"
    stop_desktop
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
on_error() { fail "\"$1\" failed (line $2)"; }
trap 'on_error "$BASH_COMMAND" "$LINENO"' ERR

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
    [ "$BASH_SUBSHELL" -gt "${step_shell:-0}" ] || shot failure >/dev/null 2>&1 || true
    echo "FAIL: $step: $*" >&2
    [ ! -s "$work/zuna.log" ] || { echo "--- zuna's output:" >&2; tail -n 20 "$work/zuna.log" >&2; }
    exit 1
}
# A step: FUNCTION run in a subshell, so that a failure ends the step, not the run.
step() {  # TITLE FUNCTION
    begin "$1"
    : >"$work/kept"
    trap - ERR  # here, a failed step is no failed command
    set +e
    (
        set -e
        # Whatever the step started, passed or failed, the run's end stops it.
        trap 'keep zuna_pid window other_pid watcher busy pulse_pid keeper_pid rec_pid' EXIT
        trap 'on_error "$BASH_COMMAND" "$LINENO"' ERR
        step_shell=$BASH_SUBSHELL
        "$2"
    )
    local status=$?
    set -e
    trap 'on_error "$BASH_COMMAND" "$LINENO"' ERR
    if [ "$status" -eq 0 ]; then ok; else failed+=("$1"); fi
    # shellcheck disable=SC1091
    . "$work/kept"
}
keep() {  # VARIABLE...: carries their values on to the steps after this one
    declare -p "$@" | sed 's/^declare /declare -g /' >>"$work/kept"
}
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }  # A B: A >= B, decimals too

# --- what the player shows and where ------------------------------------------------
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
other_windows() {  # the visible windows besides the player's own (and the root window)
    xdo search --onlyvisible --name '' 2>/dev/null | grep -vx -e "$window" -e "$root" || true
}
dialog_shown() { [ -n "$(other_windows)" ]; }
dialog_gone() { [ -z "$(other_windows)" ]; }
drag() {  # X Y TO_X...: presses the left button at X Y and moves through each TO_X
    local x=$1 y=$2 to
    shift 2
    point "$x" "$y"
    xdo mousedown 1
    for to in "$@"; do sleep 0.05; point "$to" "$y"; done
    sleep 0.05
    xdo mouseup 1
}

# --- what the desktop's media controls see ------------------------------------------
ctl() { timeout 5 playerctl --player=zuna "$@"; }  # MPRIS, as media keys and shells use it
status_is() { seen=$(ctl status 2>&1); [ "$seen" = "$1" ]; }
players() { seen=$(timeout 5 playerctl -l 2>&1 | sort | xargs); [ "$seen" = "$1" ]; }

# The other players' logs, as the first one's is checked when it closes (below).
known_lines_only() {  # LOG [LINE]: fails the step on lines besides the player's own and LINE
    grep -Ev "^(Event: |Send event: )${2:+|^$2\$}" "$1" >"$work/warnings.log" || return 0
    fail "the player logged warnings: $(head -n 5 "$work/warnings.log")"
}

# --- what the sink plays -------------------------------------------------------------
heard_second() {  # FROM [LEVEL]: the second file's second of 1500 Hz, whole, after byte FROM
    local out
    # Followed from before the click: on a busy machine the whole of it may have played
    # before a check that began after the click would start listening.
    out=$("$py" "$here/sound.py" sequence "$capture" "$1" 8 silence 0 inf \
          tone 1500 "${2:-0.5}" 0.8 1.2 silence 0.5 inf 2>/dev/null) || fail "$out"
}
hear() {  # wait|hold EXPECT...: sound.py on the recording; a mismatch fails the step
    local out
    out=$("$py" "$here/sound.py" "$1" "$capture" "${@:2}") || fail "$out"
}

# --- the servers ---------------------------------------------------------------------
begin "X server and sound server start"  # the recording starts in the background
start_servers
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
# For the media controls: "Remote A", 30 s of 550 Hz; "Remote B", 9 s of 770 Hz then 5 s of
# 1100 Hz, so that a seek to 10 s is heard at once.
remote() {  # FILE TITLE SECONDS FREQ [SECONDS FREQ...]: a tagged tone, as the long one
    "$py" "$here/sound.py" tone "$work/media/remote.raw" 22050 "${@:3}"
    flac --silent --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 \
         --sample-rate=22050 -T "TITLE=$2" -T "ARTIST=ZUNA end-to-end" -T "ALBUM=Remote" \
         -o "$1" "$work/media/remote.raw"
    rm "$work/media/remote.raw"
}
remote "$work/media/remote-a.flac" "Remote A" 30 550
remote "$work/media/remote-b.flac" "Remote B" 9 770 5 1100

# --- the player ----------------------------------------------------------------------
begin "the window opens"
start_player "$zuna"
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

step_3() {
    add_files "$long" "$second"
    wait_for 5 "two rows" rows_are 1100
}
step "'+' and the file dialog add two rows" step_3

level=0.5  # the tones' peak at full volume
step_4() {
    wait_for 5 "the recording to start" test -s "$capture"  # the null sink's first block is long
    started=$(recorded)
    keep started
    double_click_row 0
    hear wait tone 660 $level 5
    hear hold tone 660 $level 0.6
}
step "a double-click on the first row plays its file" step_4

step_5() {
    read -r pause_x pause_y < <(centre pausebutton)
    point "$pause_x" "$pause_y"
    clicked=$(recorded)  # before the click: what comes after it counts against the pause
    xdo click 1
    hear wait silence 3
    hear hold silence 0.8
    # The sound server's buffer holds half a second, but a pause corks it: no more is heard.
    # Within 200 ms of the click even on a busy machine (the click reaches the player through
    # the X server, the window and the engine's thread first); a pause that let the buffer
    # play out would take twice that. tools/bench/output-bench measures it (10 ms median).
    read -r heard_ms silent_after_ms < <("$py" "$here/sound.py" paused "$capture" "$started" "$clicked")
    at_least 200 "$silent_after_ms" || fail "silence came $silent_after_ms ms after the click"
    # Once the player's once-a-second report has come, the desktop is told where the pause
    # left the track: what the sink played of it, to 10 ms.
    settled() {
        local first
        first=$(ctl position)
        sleep 1.1
        seen=$(ctl position)
        [ "$first" = "$seen" ]
    }
    wait_for 10 "the position to settle" settled
    off=$(awk -v p="$seen" -v h="$heard_ms" 'BEGIN { d = p * 1000 - h; print (d < 0) ? -d : d }')
    at_least 10 "$off" || fail "paused at $seen s by the player, ${heard_ms} ms by the sink"
    echo "     paused: silent $silent_after_ms ms after the click at most; $heard_ms ms heard;" \
         "the player says $seen s"
    press playbutton
    hear wait tone 660 $level 3
    hear hold tone 660 $level 0.5
}
step "pause gives silence at once, where the player says it stands; play resumes" step_5

step_6() {
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
    keep vx vy
    [ "${value%.*}" -ge 98 ] || fail "unmuted, the volume slider stands at $value, not 99"
}
step "mute gives silence, unmute restores the level" step_6

step_7() {
    [ -n "${vx:-}" ] || fail "the volume slider's handle was not found by the step before"
    read -r _ _ vw _ < <(geometry volumeslider)
    drag "$vx" "$vy" $((vx - vw / 4)) $((vx - vw * 55 / 100))
    read -r _ _ value < <(look handle volumeslider)
    # The level follows the slider linearly: value / 100 of full scale.
    level=$(awk -v v="$value" 'BEGIN { printf "%.4f", 0.5 * v / 100 }')
    keep level
    at_least "$value" 20 && at_least 70 "$value" || fail "the handle went to $value"
    hear wait tone 660 "$level" 3
    hear hold tone 660 "$level" 0.5
}
step "moving the volume slider lowers the level" step_7

step_8() {
    read -r hx hy value < <(look handle progresslider)
    read -r sx _ sw _ < <(geometry progresslider)
    keep hx hy sx sw
    at_least 20 "$value" || fail "the progress handle stands at $value already"
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
}
step "the progress handle stays where it is held" step_8

step_9() {
    # On past the slider's end, and let go: 99 % of 120 s, so 1.2 s of the last segment are left.
    # Heard from here, the tone steady since the seeks of the step before: a block cut by a
    # seek can read a few per cent off the tone, and its run would not join the next.
    from=$(recorded)
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
}
step "dragging the progress slider seeks; the next row starts by itself" step_9

step_10() {
    click_row 0
    press deltrackbutton
    wait_for 3 "one row left" rows_are 1000
    # The row left must be the second file's: it plays 1500 Hz.
    from=$(recorded)
    double_click_row 0
    heard_second "$from" "$level"
}
step "'-' deletes the selected row" step_10

step_11() {
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
}
step "a new playlist opens under a typed name and closes after the question" step_11

step_12() {
    # Two FLAC, then two MP3 that carry lame's gapless header (encoder delay and padding), cut
    # from one tone where no FLAC block or MPEG frame ends: a join that loses, adds or delays a
    # single frame shows in the tone's length, its phase or as a quiet run. 75 Hz, so that its
    # period is longer than what the sound server may drop of a stream's start.
    cuts=(45000 50021 47777 52001)
    "$py" "$here/sound.py" cuts "$work/media/cut" 44100 2 75 "${cuts[@]}"
    for i in 1 2; do
        flac --silent --force-raw-format --endian=little --sign=signed --channels=2 --bps=16 \
             --sample-rate=44100 -o "$work/media/cut$i.flac" "$work/media/cut$i.raw"
    done
    for i in 3 4; do
        lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -V 2 \
             "$work/media/cut$i.raw" "$work/media/cut$i.mp3" 2>/dev/null
    done
    # Half a second of silence behind them: closing the sound device at the end of the playlist
    # may cut what the server still holds, and that is no join.
    head -c 88200 /dev/zero | flac --silent --force-raw-format --endian=little --sign=signed \
        --channels=2 --bps=16 --sample-rate=44100 -o "$work/media/cut5.flac" -
    click_row 0  # the row left from before goes, so that the four tone files are in sight
    press deltrackbutton
    wait_for 3 "an empty playlist" rows_are 0000
    add_files "$work"/media/cut{1,2}.flac "$work"/media/cut{3,4}.mp3 "$work/media/cut5.flac"
    wait_for 5 "the rows" rows_are 1111
    # One core kept busy meanwhile, as by a build: the sound server's buffer rides it out.
    (while :; do :; done) &
    busy=$!
    from=$(recorded)
    double_click_row 0
    out=$("$py" "$here/sound.py" gapless "$capture" "$from" 15 75 "$level" \
          $((cuts[0] + cuts[1] + cuts[2] + cuts[3]))) || fail "$out"
    stop_pid "$busy"
    busy=""
    echo "     $out"
}
step "four files cut from one tone play on without a gap" step_12

# --- the desktop's media controls: MPRIS on the run's session bus, through playerctl ---
step_13() {
    players zuna || fail "playerctl -l lists '$seen'"
    # From full volume, so that "volume 0.5" halves the level below.
    ctl volume 1
    level=0.5
    keep level
    for _ in 1 2 3 4 5; do  # the gapless step's rows go, so that the new ones are in sight
        click_row 0
        press deltrackbutton
    done
    wait_for 3 "an empty playlist" rows_are 0000
    add_files "$work/media/remote-a.flac" "$work/media/remote-b.flac"
    wait_for 5 "two rows" rows_are 1100
    double_click_row 0
    hear wait tone 550 $level 5
    wait_for 3 "status Playing" status_is Playing
    # The row's tags, and its length as the file has it: whole milliseconds, in microseconds.
    frames=$(metaflac --show-total-samples "$work/media/remote-a.flac")  # 22050 a second
    want="Remote A|ZUNA end-to-end|Remote|$((frames * 1000 / 22050 * 1000))"
    seen=$(ctl metadata --format '{{xesam:title}}|{{xesam:artist}}|{{xesam:album}}|{{mpris:length}}')
    [ "$seen" = "$want" ] || fail "metadata: '$seen', not '$want'"
}
step "playerctl finds the player and plays a double-clicked row" step_13

step_14() {
    ctl pause
    hear wait silence 3
    hear hold silence 0.3
    wait_for 3 "status Paused" status_is Paused
    ctl play-pause
    hear wait tone 550 $level 3
    hear hold tone 550 $level 0.3
    ctl next
    hear wait tone 770 $level 3
    seen=$(ctl metadata xesam:title)
    [ "$seen" = "Remote B" ] || fail "after next, the title is '$seen'"
}
step "playerctl pauses, resumes and goes to the next row" step_14

step_15() {
    ctl volume 0.5
    level=0.25
    keep level
    hear wait tone 770 $level 3
    read -r _ _ value < <(look handle volumeslider)
    at_least "$value" 47 && at_least 52 "$value" || fail "at volume 0.5 the slider stands at $value"
    before=$(date +%s%N)
    ctl position 10
    hear wait tone 1100 $level 3
    seen=$(ctl position)
    latest=$(awk -v ms="$(ms "$before")" 'BEGIN { print 10.5 + ms / 1000 }')
    at_least "$seen" 9.9 && at_least "$latest" "$seen" || fail "after a seek to 10 s, position $seen"
}
step "playerctl sets the volume (the slider follows) and the position" step_15

step_16() {
    cp "$data/long-6s-8k.flac" "$work/media/open me.flac"  # 6 s of 500 Hz; a space to escape
    url="file://$work/media/open%20me.flac"
    ctl open "$url"
    wait_for 3 "a third row" rows_are 1110
    hear wait tone 500 $level 3
    seen=$(ctl metadata xesam:url)
    [ "$seen" = "$url" ] || fail "the opened file's xesam:url is '$seen', not '$url'"
    ctl stop
    hear wait silence 3
    wait_for 3 "status Stopped" status_is Stopped
}
step "playerctl opens a file: a new row, played" step_16

step_17() {
    kinds=$work/media/kinds
    mkdir -p "$kinds"
    # One 75 Hz tone cut where no codec frame ends, in six kinds at 44.1 kHz stereo that join
    # without a gap as the FLAC and MP3 cuts above do; then 2 s of silence, 1 s of 550 Hz in
    # Opus (48 kHz) and the fixtures' module (0.96 s of 259 Hz at 48 kHz), which join too.
    # Each a second or more, as tracks are: a queued track shorter than what the channel decodes
    # ahead would be through before the one after it is queued.
    cuts=(45000 50021 47777 52001 46003 48999)
    "$py" "$here/sound.py" cuts "$kinds/cut" 44100 2 75 "${cuts[@]}"
    head -c 352800 /dev/zero >"$kinds/cut7.raw"
    encode() {  # N OUT RATE CHANNELS ENCODER-OPTIONS...: cutN.raw, tagged "Kind N" by "Every Kind"
        local n=$1 out=$2 rate=$3 channels=$4
        shift 4
        ffmpeg -nostdin -v error -y -f s16le -ar "$rate" -ac "$channels" -i "$kinds/cut$n.raw" "$@" \
            -metadata title="Kind $n" -metadata artist="Every Kind" "$kinds/$out"
    }
    encode 1 1.wav 44100 2 -c:a pcm_s16le
    encode 2 2.aiff 44100 2 -c:a pcm_s16be -write_id3v2 1
    # At their best quality: at lower ones the codecs' own error moves the tone's phase by more
    # than the half frame the check allows, though no frame is lost or added.
    encode 3 3.ogg 44100 2 -c:a libvorbis -q:a 10
    encode 4 4-aac.m4a 44100 2 -c:a aac -b:a 320k -movie_timescale 44100
    encode 5 5-alac.m4a 44100 2 -c:a alac -movie_timescale 44100
    encode 6 6.wv 44100 2 -c:a wavpack
    encode 7 7.wav 44100 2 -c:a pcm_s16le
    "$py" "$here/sound.py" tone "$kinds/cut8.raw" 48000 1 550
    encode 8 8.opus 48000 1 -af "pan=stereo|c0=c0|c1=c0" -c:a libopus -b:a 128k  # at full level
    cp "$data/tone-259.mod" "$kinds/9.mod"
    ctl volume 1
    level=0.5
    keep level
    for _ in 1 2 3; do  # the rows before go, so that the new ones are in sight
        click_row 0
        press deltrackbutton
    done
    wait_for 3 "an empty playlist" rows_are 0000
    add_files "$kinds"/{1.wav,2.aiff,3.ogg,4-aac.m4a,5-alac.m4a,6.wv,7.wav,8.opus,9.mod}
    wait_for 5 "the rows" rows_are 1111
    # What the desktop is told of each track as it plays: the title, artist and length its row
    # holds. Four times a second: each track lasts a second or more, and each playerctl is a
    # process of its own, whose start would take the machine from the player more often.
    (while :; do
        ctl metadata --format '{{xesam:title}}|{{xesam:artist}}|{{mpris:length}}' 2>/dev/null || true
        sleep 0.25
    done) >"$work/kinds-seen.txt" &
    watcher=$!
    from=$(recorded)
    double_click_row 0
    out=$("$py" "$here/sound.py" gapless "$capture" "$from" 15 75 "$level" \
          $((cuts[0] + cuts[1] + cuts[2] + cuts[3] + cuts[4] + cuts[5]))) || fail "$out"
    echo "     $out"
    out=$("$py" "$here/sound.py" sequence "$capture" "$(recorded)" 8 \
          silence 0 2 tone 550 "$level" 0.8 1.2 tone 258.97 0.246 0.7 1.2 silence 1 inf \
          2>"$work/sequence.log") || fail "$out"
    stop_pid "$watcher"
    watcher=""
    for i in 1 2 3 4 5 6; do
        want="Kind $i|Every Kind|$((cuts[i - 1] * 1000 / 44100 * 1000))"
        grep -qxF "$want" "$work/kinds-seen.txt" || fail "never told '$want': $(sort -u "$work/kinds-seen.txt")"
    done
    for want in "Kind 7|Every Kind|2000000" "Kind 8|Every Kind|1000000" "Tone Module||960000"; do
        grep -qxF "$want" "$work/kinds-seen.txt" || fail "never told '$want': $(sort -u "$work/kinds-seen.txt")"
    done
}
step "WAV, AIFF, Ogg, AAC, ALAC, WavPack, Opus, a module: each row read, each file heard" step_17

step_short() {
    # Short tracks are through before the window has answered the end of the one before, the
    # more so behind a sound server's buffer: none may be heard twice or left out.
    short=$work/media/short
    mkdir -p "$short"
    tones=()
    lengths=(0.1 0.4 0.2 0.1 0.3 1.0 0.15 0.5 0.1 0.25 0.7 0.2)
    for i in "${!lengths[@]}"; do
        freq=$((400 + 200 * i))
        tones+=("$freq" "${lengths[i]}")
        "$py" "$here/sound.py" tone "$short/$i.raw" 44100 "${lengths[i]}" "$freq"
        flac --silent --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 \
             --sample-rate=44100 -o "$short/$(printf '%02d' "$i").flac" "$short/$i.raw"
    done
    for _ in 1 2 3 4 5 6 7 8 9; do  # the rows before go, so that the new ones are in sight
        click_row 0
        press deltrackbutton
    done
    wait_for 3 "an empty playlist" rows_are 0000
    add_files "$short"/??.flac
    wait_for 5 "the rows" rows_are 1111
    from=$(recorded)
    lines=$(wc -l <"$work/zuna.log")
    double_click_row 0
    out=$("$py" "$here/sound.py" tones "$capture" "$from" 15 "$level" "${tones[@]}") || fail "$out"
    echo "     $out"
    # One line asking for each file and one telling of its end, in that order.
    for i in "${!lengths[@]}"; do
        printf 'Event: Playfile( "%s" )\nSend event: Finish\n' "$short/$(printf '%02d' "$i").flac"
    done >"$work/short-want.log"
    tail -n +$((lines + 1)) "$work/zuna.log" | grep -E '^(Event: Playfile|Send event: Finish)' \
        >"$work/short-seen.log" || true
    cmp -s "$work/short-want.log" "$work/short-seen.log" ||
        fail "the log: $(diff "$work/short-want.log" "$work/short-seen.log" | head -n 6 | xargs)"
}
step "twelve tones of 0.1 to 1 s, each heard once, in order" step_short

step_18() {
    (cd "$work" && exec "$zuna") >"$work/zuna-second.log" 2>&1 &
    other_pid=$!
    keep other_pid
    wait_for 10 "the second launch to end" eval "! kill -0 $other_pid 2>/dev/null"
    wait "$other_pid" || fail "the second launch ended with code $?"
    other_pid=""
    keep other_pid
    players zuna || fail "after the second launch, playerctl lists '$seen'"
    [ "$(xdo search --onlyvisible --name '^ZUNA$' | wc -l)" -eq 1 ] || fail "a second window titled ZUNA"
    known_lines_only "$work/zuna-second.log"
}
step "a second launch shows the running player and ends: one player a session" step_18

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

step_20() {
    mv "$work/zuna.log" "$work/zuna-first.log"
    rm "$work/geometry.txt"  # the new window's own, to wait for
    # Nothing listens there: no bus, and none started for the X display either.
    DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/no-bus start_player "$zuna"
    add_files "$second"
    wait_for 5 "a row" rows_are 1000
    from=$(recorded)
    double_click_row 0
    heard_second "$from"
    "$py" "$here/wmclose.py" "$window"
    wait_for 10 "the process to end" eval "! kill -0 $zuna_pid 2>/dev/null"
    wait "$zuna_pid" || fail "exit code $?"
    zuna_pid=""
    no_bus="No session bus: no media keys or desktop media controls"
    [ "$(grep -cxF "$no_bus" "$work/zuna.log")" -eq 1 ] || fail "the log does not say '$no_bus' once"
    known_lines_only "$work/zuna.log" "$no_bus"
}
step "without a session bus the player starts, plays and says so once" step_20

step_server_gone() {
    mv "$work/zuna.log" "$work/zuna-no-bus.log"
    rm "$work/geometry.txt"
    start_player "$zuna"
    add_files "$long" "$second"
    wait_for 5 "two rows" rows_are 1100
    double_click_row 0
    hear wait tone 660 0.5 5
    kill -KILL "$pulse_pid"
    stop_sound_server
    # The track ends as on an unplugged device, and the player waits without spinning.
    wait_for 5 "the track to end" grep -qx "Send event: Finish" "$work/zuna.log"
    local ticks
    ticks=$(awk '{ print $14 + $15 }' "/proc/$zuna_pid/stat")
    sleep 2
    ticks=$(( $(awk '{ print $14 + $15 }' "/proc/$zuna_pid/stat") - ticks ))
    [ "$ticks" -le $(( $(getconf CLK_TCK) / 5 )) ] ||
        fail "without a sound server the player used $ticks clock ticks of CPU in 2 s"
    # The server back, the next track plays on it.
    start_sound_server
    wait_for 5 "the recording to start" test -s "$capture"
    from=$(recorded)
    double_click_row 1
    heard_second "$from"
    "$py" "$here/wmclose.py" "$window"
    wait_for 10 "the process to end" eval "! kill -0 $zuna_pid 2>/dev/null"
    wait "$zuna_pid" || fail "exit code $?"
    zuna_pid=""
}
step "the sound server killed ends the track; back, it plays the next one" step_server_gone

[ ${#failed[@]} -eq 0 ] || exit 1
passed=true
echo "all steps passed in $(seconds "$(ms)") s"
