# shellcheck shell=bash
# A private desktop, sourced by the end-to-end suite (run.sh) and the gap benchmark
# (tools/bench/gap-bench): Xvfb, a session bus, PulseAudio with a null sink that parec
# records, the zuna binary on them, and what drives it from outside as a person would.
#
# The sourcing script sets work (a fresh mktemp -d under /tmp, short: the sound server's
# socket lives in it) and defines fail MESSAGE, which does not return; its EXIT trap calls
# stop_desktop.

: "${work:?}"
mkdir -m 700 "$work/run"
mkdir -p "$work/home"
capture=$work/capture.raw
sink=zuna_e2e
xvfb_pid="" bus_pid="" pulse_pid="" keeper_pid="" rec_pid="" zuna_pid=""

# A private world: nothing is read from or written to the real home, and the programs find
# this run's servers only.
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config \
       XDG_CACHE_HOME=$work/home/.cache XDG_DATA_HOME=$work/home/.local/share
export PULSE_SERVER=unix:$work/run/pulse/native PULSE_CLIENTCONFIG=$work/client.conf
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"  # never a server of the clients' own making
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE DBUS_SESSION_BUS_ADDRESS SDL_AUDIODRIVER \
      SDL_AUDIO_DEVICE_NAME

stop_pid() {  # PID: TERM, then KILL if it is still there after 2 s
    local pid=$1
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
}

stop_desktop() {
    stop_pid "$zuna_pid"
    stop_sound_server
    stop_pid "$bus_pid"
    stop_pid "$xvfb_pid"
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
xdo() { timeout 5 xdotool "$@"; }  # no xdotool call may hang the caller

# --- the servers ---------------------------------------------------------------------
start_servers() {  # Xvfb, a session bus, PulseAudio with a null sink as the default, parec on it
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
         3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    wait_for 10 "Xvfb to start" test -s "$work/display"
    display=$(head -n 1 "$work/display")
    export DISPLAY=:$display
    # shellcheck disable=SC2034 # the root window, which run.sh tells from the others
    root=$(( $(xwininfo -root | awk '/Window id:/ { print $4 }') ))

    # A bare session bus of this run's own: nothing on it can be activated (no accessibility
    # bus, no portals), and the user's bus is never reached. Without one, libdbus would start
    # a bus on the X display by itself, which the run would not stop.
    cat >"$work/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/run/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">  <!-- as the standard session bus has it -->
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
  </policy>
</busconfig>
EOF
    dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile >"$work/dbus.log" 2>&1 &
    bus_pid=$!
    wait_for 5 "the session bus to listen" test -S "$work/run/bus"
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus

    start_sound_server
}
start_sound_server() {  # PulseAudio with a null sink as the default, parec recording it
    # In the foreground of a background job, so that it stays this script's child and goes
    # with it whatever happens.
    pulseaudio --daemonize=no --system=no --exit-idle-time=-1 --disallow-exit=yes -n \
        --use-pid-file=no --log-target="file:$work/pulseaudio.log" \
        --load="module-native-protocol-unix auth-anonymous=1" \
        --load="module-null-sink sink_name=$sink rate=44100 channels=2" &
    pulse_pid=$!
    wait_for 5 "PulseAudio to listen" eval "pactl info >/dev/null 2>&1"
    pactl set-default-sink "$sink"
    # An idle null sink gives its monitor nothing at all; a stream of zeros keeps it running,
    # so the recording is one unbroken timeline, silences included.
    pacat --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 --device="$sink" </dev/zero &
    keeper_pid=$!
    wait_for 5 "the sink to run" sink_running
    # Emptied here, not only by the redirection below: that happens in the background job,
    # maybe after the caller has already taken a recording left from an earlier server for
    # the new one's.
    : >"$capture"
    parec --device="$sink.monitor" --format=s16le --rate=44100 --channels=2 --latency-msec=20 \
          >"$capture" 2>"$work/parec.log" &
    rec_pid=$!
}
stop_sound_server() {  # the recording, what keeps the sink running, and the server itself
    [ -z "$rec_pid" ] || kill -INT "$rec_pid" 2>/dev/null || true
    stop_pid "$rec_pid"
    stop_pid "$keeper_pid"
    stop_pid "$pulse_pid"
    rec_pid="" keeper_pid="" pulse_pid=""
}
sink_running() { pactl list short sinks | grep -q "^[0-9]*[[:space:]]${sink}[[:space:]].*RUNNING"; }
recorded() { echo $(( $(stat -c %s "$capture") / 4 * 4 )); }  # bytes, whole frames

# --- the player ----------------------------------------------------------------------
start_player() {  # ZUNA [FILE...]: starts it, waits for its window (window) and its geometry dump
    (cd "$work" && ZUNA_DUMP_GEOMETRY=$work/geometry.txt exec "$1" "${@:2}") >"$work/zuna.log" 2>&1 &
    zuna_pid=$!
    window=$(open_window '^ZUNA$')
    [ -n "$window" ] || fail "no window titled ZUNA"
    wait_for 5 "the geometry dump" test -s "$work/geometry.txt"
}
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
window_gone() { ! xdo search --onlyvisible --name "$1" >/dev/null 2>&1; }
open_window() {  # TITLE-REGEX: waits (10 s at most) for a window to show, prints its id
    timeout 10 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true
}
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
add_files() {  # PATH...: "+", then the paths typed into the file dialog's name field
    local dialog text="" path
    press addtrackbutton
    dialog=$(open_window '^Select audio files$')
    [ -n "$dialog" ] || fail "no file dialog after '+'"
    # Shown is not yet focused (there is no window manager to hand it the focus): keys typed
    # before it has the focus are lost, and the dialog waits on an empty name.
    xdo windowfocus --sync "$dialog"
    for path in "$@"; do text+="\"$path\" "; done
    xdo type --delay 4 "${text% }"
    xdo key Return
    wait_for 5 "the file dialog to close" window_gone '^Select audio files$'
}
