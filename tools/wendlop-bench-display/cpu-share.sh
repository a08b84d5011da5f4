#!/usr/bin/env bash
# cpu-share.sh [--play [--stage N] [--pause]] [--display :N] [--screen WxH] [--wm] WENDLOP [SECONDS] [-- GAME ARGS...]
# Starts a virtual X server, runs the game in a real window on it and prints
# the game's processor share (user + system seconds per wall second, from
# /proc) over SECONDS (default 20) after a 3-second settling time, by thread
# (main, audio, the others), and the X server's beside it (it copies what the
# game presents onto its screen).
# With no input the game stays on the title screen; --play starts the
# demonstration from there once (needs xdotool). A click ends a demonstration,
# so choose a stage whose demonstration outlasts SECONDS and the settling time.
#   --stage N      with --play: the demonstration of stage N (default 1)
#   --pause        with --play: press P once the demonstration runs, and
#                  measure the paused game
#   --display :N   use this display number (default: the first free one from :90)
#   --screen WxH   the virtual screen's size (default 1024x768); a scaled
#                  window needs room, e.g. 2048x1536 for --scale 3
#   --wm           run openbox as the window manager (fullscreen needs one)
set -euo pipefail
play=0 stage=1 display="" screen=1024x768 wm=0 pause=0
while [ $# -gt 0 ]; do
  case $1 in
    --play) play=1; shift ;;
    --stage) stage=$2; shift 2 ;;
    --pause) pause=1; shift ;;
    --display) display=$2; shift 2 ;;
    --screen) screen=$2; shift 2 ;;
    --wm) wm=1; shift ;;
    *) break ;;
  esac
done
game=$1; shift
seconds=${1:-20}; [ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift

if [ -z "$display" ]; then
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
  done
fi
[ -n "$display" ] || { echo "cpu-share: no free X display number" >&2; exit 1; }

Xvfb "$display" -screen 0 "${screen}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
game_pid=""
clicker=""
wm_pid=""
cleanup() {
  [ -n "$clicker" ] && kill "$clicker" 2>/dev/null || true
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
if [ "$wm" = 1 ]; then
  DISPLAY=$display openbox --sm-disable >/dev/null 2>&1 &
  wm_pid=$!
  sleep 1
fi

DISPLAY=$display "$game" "$@" >/dev/null 2>&1 &
game_pid=$!
sleep 3
kill -0 "$game_pid" 2>/dev/null || { echo "cpu-share: the game ended early" >&2; exit 1; }
window=$(DISPLAY=$display xdotool search --name '^Wendlop' 2>/dev/null | head -1 || true)
if [ -n "$window" ]; then
  # A window manager may still be making the window fullscreen: wait until
  # its size holds still.
  geometry=""
  for _ in $(seq 20); do
    now=$(DISPLAY=$display xdotool getwindowgeometry --shell "$window")
    [ "$now" = "$geometry" ] && break
    geometry=$now
    sleep 0.5
  done
  width=$(echo "$geometry" | sed -n 's/^WIDTH=//p')
  height=$(echo "$geometry" | sed -n 's/^HEIGHT=//p')
  echo "window: ${width} x ${height}"
fi
if [ "$play" = 1 ]; then
  # DEMO is text cells 27..32 of row 23 on the title (16-pixel cells): canvas
  # point (480, 376), found in the window through the picture's whole-number
  # scale and its bars. The button is held for a few frames: the game samples
  # it once per frame.
  scale=$(( width / 640 < height / 480 ? width / 640 : height / 480 ))
  [ "$scale" -ge 1 ] || scale=1
  x=$(( (width - 640 * scale) / 2 + 480 * scale ))
  y=$(( (height - 480 * scale) / 2 + 376 * scale ))
  # The arrow that raises the stage number is text cell 25 of the same row.
  next=$(( (width - 640 * scale) / 2 + 408 * scale ))
  clicks=()
  for _ in $(seq 2 "$stage"); do clicks+=(mousedown 1 sleep 0.1 mouseup 1 sleep 0.1); done
  DISPLAY=$display xdotool mousemove --window "$window" "$next" "$y" "${clicks[@]}"
  DISPLAY=$display xdotool mousemove --window "$window" "$x" "$y" mousedown 1 sleep 0.2 mouseup 1
  sleep 2
  if [ "$pause" = 1 ]; then
    DISPLAY=$display xdotool key --window "$window" p
    sleep 1
  fi
fi

ticks() {  # utime + stime of a process or thread (/proc/PID or /proc/PID/task/TID), in clock ticks
  local stat; stat=$(cat "$1/stat" 2>/dev/null) || { echo 0; return; }
  stat=${stat##*) }  # fields after the command name, which may hold spaces
  read -r -a f <<<"$stat"
  echo $(( f[11] + f[12] ))  # fields 14 and 15 of the whole line
}
# The game's main thread and SDL's audio thread (which renders the music
# through the synthesizer and mixes the effects); the others (the music's
# timing thread, which each song starts anew) are what the process took
# beyond those two, as a thread that has ended keeps no figures of its own.
thread_ticks() {
  local main=0 audio=0 task name
  for task in /proc/"$game_pid"/task/*; do
    name=$(cat "$task/comm" 2>/dev/null || true)
    if [ "${task##*/}" = "$game_pid" ]; then main=$(ticks "$task")
    elif [[ $name == SDLAudio* ]]; then audio=$((audio + $(ticks "$task"))); fi
  done
  echo "$main $audio"
}
hz=$(getconf CLK_TCK)
t0=$(date +%s.%N); c0=$(ticks "/proc/$game_pid"); x0=$(ticks "/proc/$xvfb"); read -r m0 a0 < <(thread_ticks)
sleep "$seconds"
t1=$(date +%s.%N); c1=$(ticks "/proc/$game_pid"); x1=$(ticks "/proc/$xvfb"); read -r m1 a1 < <(thread_ticks)
awk -v c="$((c1 - c0))" -v x="$((x1 - x0))" -v hz="$hz" -v t0="$t0" -v t1="$t1" \
  -v m="$((m1 - m0))" -v a="$((a1 - a0))" -v o="$(((c1 - c0) - (m1 - m0) - (a1 - a0)))" \
  'BEGIN { w = t1 - t0; printf "cpu share: %.4f of a core (%.2f s processor time in %.2f s); X server %.4f\n", c / hz / w, c / hz, w, x / hz / w
           printf "by thread: main %.4f, audio %.4f, others %.4f\n", m / hz / w, a / hz / w, o / hz / w }'
