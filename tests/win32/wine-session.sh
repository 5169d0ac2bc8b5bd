# SPDX-License-Identifier: GPL-3.0-or-later
# The harness every Windows program case runs in, sourced by program-cases.sh: a private X
# display, the program started under wine in a folder of its own, keys sent to its windows, what
# its main window shows read by the probe, and everything started ended by its PID (the wine
# server of the prefix with it, so no key reaches the next case).
#
# From the test's environment: VIREON_EXE, VIREON_PROBE, VIREON_GUI_PREFIX and WORK, the case's
# own empty folder.
set -euo pipefail
wine=/usr/lib/wine
export WINEPREFIX=$VIREON_GUI_PREFIX WINEDEBUG=-all
# Wine's audio goes through ALSA alone, to a configuration each case chooses.
export WINEDLLOVERRIDES="winepulse.drv,wineoss.drv=d"
rm -rf "$WORK" && mkdir -p "$WORK/program"

xvfb_pid='' program_pid='' helper_pids=()
# Also between the runs of a case that starts the program more than once.
end_session() {
  if [[ -n $program_pid ]]; then kill "$program_pid" 2>/dev/null || true; fi
  for pid in "${helper_pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  "$wine/wineserver" -k >/dev/null 2>&1 || true
  if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  program_pid='' helper_pids=() xvfb_pid=''
}
trap end_session EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }

# Sound: "null", a device that takes every sample and plays none; "none", no device at all;
# "jack RATE", a private JACK server at RATE Hz (a dummy without hardware) through ALSA's JACK
# plugin, whose name is then in $JACK_DEFAULT_SERVER.
use_sound() {
  case $1 in
    null) printf 'pcm.!default { type null }\n' >"$WORK/asound.conf" ;;
    none) : >"$WORK/asound.conf" ;;
    jack)
      export JACK_DEFAULT_SERVER=vireon-wine-$$-$2
      # 10 ms periods, as wine's own device period.
      jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r "$2" -p $(($2 / 100)) \
        >"$WORK/jackd.log" 2>&1 &
      helper_pids+=($!)
      for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
      jack_lsp >/dev/null 2>&1 || fail "the JACK server did not start"
      cp "$VIREON_ALSA_JACK_CONFIG" "$WORK/asound.conf" ;;
  esac
  export ALSA_CONFIG_PATH=$WORK/asound.conf
}

start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [[ -s $WORK/display ]] && break; sleep 0.1; done
  [[ -s $WORK/display ]] || fail "Xvfb did not start"
  export DISPLAY=:$(head -n1 "$WORK/display")
}

# Starts the program from its folder with arguments $@; the settings file is
# $WORK/program/chaos.txt.
start_program() {
  cp "$VIREON_EXE" "$WORK/program/vireon.exe"
  (cd "$WORK/program" && exec "$wine/wine64" vireon.exe "$@" >"$WORK/program.log" 2>&1) &
  program_pid=$!
}

# Prints the X window titled exactly $1 once it is there.
wait_window() {
  local id=''
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [[ -n $id ]] && break
    sleep 0.1
  done
  [[ -n $id ]] || fail "no window titled '$1'"
  echo "$id"
}

# Sends keys to window $1 one at a time; keys sent before the window has the focus are lost.
send_keys() {
  local window=$1; shift
  xdotool windowfocus --sync "$window"
  sleep 0.5
  for key; do xdotool key "$key"; sleep 0.2; done
}

# Chooses item $3 (1 for the first, -1 for the last) of menu $2 (1 for "?") of the main window
# $1: the menu bar opens with a click on "?" (a key would need a window manager to reach it), the
# rest is keys.
choose_from_menu() {
  xdotool windowfocus --sync "$1"
  sleep 0.5
  xdotool mousemove --window "$1" 8 9 click 1
  sleep 0.5
  # A menu opened with the click has no item highlighted, one reached with Right has its first;
  # Up from either reaches the last.
  local key=Down steps=$3
  for _ in $(seq 2 "$2"); do xdotool key Right; sleep 0.2; steps=$(($3 - 1)); done
  if (($3 < 0)); then key=Up steps=$((-$3)); fi
  for _ in $(seq "$steps"); do xdotool key "$key"; sleep 0.2; done
  xdotool key Return
}

# Chooses entry $4 (1 for the first) of the context menu at point $2,$3 of window $1's X window.
choose_from_context_menu() {
  xdotool windowfocus --sync "$1"
  sleep 0.5
  xdotool mousemove --window "$1" "$2" "$3" click 3
  sleep 0.5
  for _ in $(seq "$4"); do xdotool key Down; sleep 0.2; done
  xdotool key Return
  sleep 0.5
}

# One line of what the main window shows, e.g. `probe text 14`, without its line end.
probe() {
  "$wine/wine64" "$VIREON_PROBE" | tr -d '\r' | grep -m1 "^$* " | cut -d" " -f$(($# + 1))-
}

# Asks the window titled $1 to close.
close_window() { "$wine/wine64" "$VIREON_PROBE" close "$1"; }

expect() { [[ $2 == "$3" ]] || fail "$1: '$2', expected '$3'"; }

# Like expect, for what the program does in its own time: runs the command $3... until it prints
# $2, for up to 10 s.
expect_soon() {
  local got
  for _ in $(seq 100); do
    got=$("${@:3}") && [[ $got == "$2" ]] && return
    sleep 0.1
  done
  fail "$1: '$got', expected '$2'"
}

# Waits for the program to end and checks that it ended with status ${1:-0}.
expect_exit_zero() {
  local status=0
  for _ in $(seq 150); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$program_pid" 2>/dev/null && fail "the program did not end"
  wait "$program_pid" || status=$?
  program_pid=''
  expect "exit status" "$status" "${1:-0}"
}

# The float32 samples of raw file $1 from its first non-zero one on, as hexadecimal words, one
# a line, at most $2 of them.
sound_words() {
  od -An -v -tx4 -w4 "$1" | tr -d ' ' | awk -v n="$2" \
    '(started || ($0 != "00000000" && $0 != "80000000")) && k < n { started = 1; print; ++k }'
}

# The settings file's bytes, with CR and LF spelled out.
settings_file() { od -An -c "$WORK/program/chaos.txt" | tr -s ' ' | sed 's/^ //'; }
