#!/usr/bin/env bash
# What Kelvo costs while it does nothing but poll the meter: the desktop program on a virtual X
# server with its three start-up windows open (real time, history by days, history by months)
# and the meter simulator as Com1, measured from /proc over DURATION seconds:
#   - CPU time of the whole process (utime + stime), in per cent of one core;
#   - wake-ups per second (voluntary + involuntary context switches) and CPU share of the GUI
#     thread and of every other thread, by the thread's name (the program names its own: kelvo-poll, kelvo-archive, kelvo-mqtt, ...).
# Usage: bench/idle_cpu.sh KELVO METER_SIM [DURATION]   (DURATION in seconds, default 300)
# Needs Xvfb and python3 (the start-up boxes are answered through libX11). Everything it starts
# and its scratch directory go away when it ends, Ctrl+C included.
set -euo pipefail

if [ $# -lt 2 ]; then
    sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
kelvo=$(realpath "$1")
sim=$(realpath "$2")
duration=${3:-300}
# After the meter's first command: the probe, the first polls and the windows' first loads.
settle=15

dir=$(mktemp -d /tmp/kelvo-idle-XXXXXX)
xvfb_pid= sim_pid= kelvo_pid=

# True while the process runs (a child that ended stays a zombie until it is waited for).
alive() {
    local state
    state=$(sed 's/.*) \(.\).*/\1/' "/proc/$1/stat" 2>/dev/null) && [ "$state" != Z ]
}

# SIGTERM, up to $2 seconds to end, then SIGKILL.
stop() {
    local pid=$1 tenths=$(($2 * 10))
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || true
    while alive "$pid" && [ $tenths -gt 0 ]; do sleep 0.1; tenths=$((tenths - 1)); done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    trap - EXIT INT TERM
    stop "$kelvo_pid" 30  # it writes dast.data on the way out
    stop "$sim_pid" 5
    stop "$xvfb_pid" 5
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() { echo "idle_cpu.sh: $*" >&2; exit 1; }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local tenths=$(($1 * 10))
    shift
    until "$@"; do
        [ $tenths -gt 0 ] || return 1
        sleep 0.1
        tenths=$((tenths - 1))
    done
}

# Presses Return in every box on the display (the "vorn" box of the missing dast.cfg, then the
# login, both with a default button) until the main window shows.
answer_start_up_boxes() {
    python3 - "$1" <<'EOF'
import ctypes as c, sys, time
x = c.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = c.c_void_p
x.XDefaultRootWindow.restype = c.c_ulong
x.XDefaultRootWindow.argtypes = [c.c_void_p]
x.XQueryTree.argtypes = [c.c_void_p, c.c_ulong] + [c.c_void_p] * 4
x.XGetWindowAttributes.argtypes = [c.c_void_p, c.c_ulong, c.c_void_p]
x.XFetchName.argtypes = [c.c_void_p, c.c_ulong, c.c_void_p]
x.XStringToKeysym.restype = c.c_ulong
x.XKeysymToKeycode.argtypes = [c.c_void_p, c.c_ulong]
x.XSendEvent.argtypes = [c.c_void_p, c.c_ulong, c.c_int, c.c_long, c.c_void_p]
x.XFlush.argtypes = [c.c_void_p]
# A window that goes away between the query and the key is no error here.
ignore = c.CFUNCTYPE(c.c_int, c.c_void_p, c.c_void_p)(lambda d, e: 0)
x.XSetErrorHandler(ignore)

class Attributes(c.Structure):  # XWindowAttributes
    _fields_ = [("geometry", c.c_int * 6), ("visual", c.c_void_p), ("root", c.c_ulong),
                ("klass", c.c_int * 4), ("planes", c.c_ulong * 2), ("save_under", c.c_int),
                ("colormap", c.c_ulong), ("map_installed", c.c_int), ("map_state", c.c_int),
                ("event_masks", c.c_long * 3), ("override_redirect", c.c_int),
                ("screen", c.c_void_p)]

class Key(c.Structure):  # XKeyEvent, padded to the size of an XEvent
    _fields_ = [("type", c.c_int), ("serial", c.c_ulong), ("send_event", c.c_int),
                ("display", c.c_void_p), ("window", c.c_ulong), ("root", c.c_ulong),
                ("subwindow", c.c_ulong), ("time", c.c_ulong), ("xy", c.c_int * 4),
                ("state", c.c_uint), ("keycode", c.c_uint), ("same_screen", c.c_int),
                ("pad", c.c_long * 24)]

IS_VIEWABLE, KEY_PRESS, KEY_RELEASE = 2, 2, 3
d = x.XOpenDisplay(sys.argv[1].encode())
if not d:
    sys.exit("cannot open display " + sys.argv[1])
root = x.XDefaultRootWindow(d)
ret = x.XKeysymToKeycode(d, x.XStringToKeysym(b"Return"))
end = time.monotonic() + 60
while time.monotonic() < end:
    parent, children, count = c.c_ulong(), c.POINTER(c.c_ulong)(), c.c_uint()
    x.XQueryTree(d, root, c.byref(parent), c.byref(parent), c.byref(children), c.byref(count))
    for w in children[:count.value]:
        a = Attributes()
        if not x.XGetWindowAttributes(d, w, c.byref(a)) or a.map_state != IS_VIEWABLE \
                or a.override_redirect:
            continue
        name = c.c_char_p()
        x.XFetchName(d, w, c.byref(name))
        if name.value and name.value.startswith(b"Kelvo"):
            sys.exit(0)
        key = Key(display=d, window=w, root=root, same_screen=1, keycode=ret)
        for key.type, mask in ((KEY_PRESS, 1), (KEY_RELEASE, 2)):
            x.XSendEvent(d, w, 1, mask, c.byref(key))
        x.XFlush(d)
    time.sleep(1)  # a new box takes the keyboard a moment after it shows
sys.exit("the main window never showed")
EOF
}

# utime + stime of a process or thread, in clock ticks (fields 14 and 15; the name in
# parentheses before them may hold spaces).
cpu_ticks() { sed 's/.*) //' "$1/stat" | awk '{ print $12 + $13 }'; }
# Voluntary + involuntary context switches of a thread: each is one wake-up.
switches() { awk '/ctxt_switches/ { n += $2 } END { print n }' "$1/status"; }
meter_commands() { grep -c '^[0-9.]* rx AA' "$dir/sim.log" || true; }

# A free display: the server picks it and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb_pid=$!
wait_for 15 grep -q . "$dir/display" || fail "Xvfb did not start"
display=":$(head -1 "$dir/display")"

"$sim" --dir "$dir" --port 1 --log "$dir/sim.log" >"$dir/sim.out" 2>&1 &
sim_pid=$!
wait_for 5 test -e "$dir/Com1" || fail "the simulator made no Com1"

# No dast.cfg: Kelvo starts with its defaults after the "vorn" box.
(cd "$dir" && DISPLAY=$display QT_QPA_PLATFORM=xcb exec "$kelvo") >"$dir/kelvo.out" 2>&1 &
kelvo_pid=$!
answer_start_up_boxes "$display" || fail "could not get past the start-up boxes"
wait_for 60 test "$(meter_commands)" -gt 0 || fail "Kelvo never polled the meter"
sleep "$settle" & wait $!
alive "$kelvo_pid" || fail "Kelvo ended by itself"

# The GUI thread is the main thread: its id is the process id.
proc=/proc/$kelvo_pid
ticks=$(getconf CLK_TCK)
declare -A before ticks_before
for task in "$proc"/task/*; do
    before[${task##*/}]=$(switches "$task")
    ticks_before[${task##*/}]=$(cpu_ticks "$task")
done
cpu_before=$(cpu_ticks "$proc")
commands_before=$(meter_commands)
start=$(date +%s.%N)
sleep "$duration" & wait $!  # in the background, so Ctrl+C or TERM cleans up at once
cpu_after=$(cpu_ticks "$proc")
end=$(date +%s.%N)
alive "$kelvo_pid" || fail "Kelvo ended during the measurement"

# $1 per second of the measured time, two decimals.
rate() { awk -v n="$1" -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", n / (e - s) }'; }
echo "measured over: $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }') s"
echo "meter commands answered/s: $(rate $(($(meter_commands) - commands_before)))"
echo "CPU, % of one core: $(rate "$(((cpu_after - cpu_before) * 100))" | awk -v t="$ticks" '{ printf "%.2f", $1 / t }')"
# $1 clock ticks of CPU in per cent of one core over the measured time.
share() { rate "$(($1 * 100))" | awk -v t="$ticks" '{ printf "%.3f", $1 / t }'; }
gui=$proc/task/$kelvo_pid
echo "GUI thread wake-ups/s: $(rate $(($(switches "$gui") - before[$kelvo_pid]))), CPU %: $(share $(($(cpu_ticks "$gui") - ticks_before[$kelvo_pid])))"
others=0
for task in "$proc"/task/*; do
    tid=${task##*/}
    [ "$tid" != "$kelvo_pid" ] || continue
    n=$(($(switches "$task") - ${before[$tid]:-0}))  # a thread started during the run: from 0
    others=$((others + n))
    cpu=$(($(cpu_ticks "$task") - ${ticks_before[$tid]:-0}))
    echo "thread $tid $(cat "$task/comm") wake-ups/s: $(rate $n), CPU %: $(share $cpu)"
done
echo "other threads together wake-ups/s: $(rate $others)"
