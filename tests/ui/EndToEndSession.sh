# What the end-to-end scripts share: the Wine session they run in, a
# scratch folder, copies of Tarnic.exe started and ended by process id, and
# the waits on its window. Sourced after the script has set state (the
# session's folder), program (Tarnic.exe) and name (for its messages); a
# script with more to undo on the way out defines extra_cleanup.
command -v xdotool >/dev/null || { echo "$name: xdotool is not installed" >&2; exit 77; }
[ -f "$state/session.env" ] || { echo "$name: no Wine session in $state" >&2; exit 1; }

DISPLAY=""
# shellcheck disable=SC1091
. "$state/session.env"
export DISPLAY
export WINEPREFIX="$state/prefix" WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree=;mshtml="
WINE=${WINE:-/usr/lib/wine/wine64}

# The exact title: the candidate pop-up is "IntelliSense : Pellor by Qel".
title='^Pellor by Qel$'
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarnic-$name.XXXXXX")
started=()
failures=0

end_all() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null; done
  if declare -F extra_cleanup >/dev/null; then extra_cleanup; fi
  rm -rf "$scratch"
}
trap end_all EXIT
trap 'exit 1' INT TERM HUP

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# A fresh folder per start: files the launcher writes beside itself (its
# settings, later) must not carry over from one case to the next.
prepare_copy() {
  local folder dir dll
  folder=$(mktemp -d "$scratch/case.XXXXXX")
  dir=$(dirname "$program")
  cp "$program" "$folder/"
  for dll in "$dir"/Velum-*.dll "$dir"/libstdc++-6.dll "$dir"/libgcc_s_seh-1.dll "$dir"/libwinpthread-1.dll; do
    [ -f "$dll" ] && cp "$dll" "$folder/"
  done
  echo "$folder/$(basename "$program")"
}

# start_tarnic ARGS...: starts one copy in the background; its pid in $pid.
# The wine64 process becomes the Windows process, so its pid ends it.
start_tarnic() {
  start_exe "$(prepare_copy)" "$@"
}

# start_exe EXE ARGS...: the same for a copy made before.
start_exe() {
  local exe=$1
  shift
  "$WINE" "$exe" "$@" >"$scratch/out.$RANDOM" 2>&1 </dev/null &
  pid=$!
  started+=("$pid")
}

# The Windows name of a file here (Wine's drive Z: is the root).
windows_path() { echo "Z:${1//\//\\}"; }

# wait_exit PID SECONDS: the exit code in $rc; 1 when still running.
wait_exit() {
  local p=$1 i
  for ((i = 0; i < $2 * 10; i++)); do
    if ! kill -0 "$p" 2>/dev/null; then
      wait "$p"
      rc=$?
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# describe PID: "running", or how it ended (in $described).
describe() {
  if kill -0 "$1" 2>/dev/null; then described="still running"
  else wait "$1"; described="ended with $?"; fi
}

stop_tarnic() {
  local p=$1
  kill "$p" 2>/dev/null
  wait_exit "$p" 5 || { kill -9 "$p" 2>/dev/null; wait "$p" 2>/dev/null; }
  # The X window goes with the process; the next start must not find it
  # (nor, through the wineserver, its mutex).
  wait_for_no_window 5
  sleep 0.3
}

windows() { xdotool search "$@" --name "$title" 2>/dev/null; }

# wait_for_window SECONDS [--onlyvisible]: the first matching window id.
wait_for_window() {
  local limit=$1 i w
  shift
  for ((i = 0; i < limit * 10; i++)); do
    w=$(windows "$@" | head -n 1)
    if [ -n "$w" ]; then echo "$w"; return 0; fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

wait_for_hidden() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    [ -z "$(windows --onlyvisible)" ] && return 0
    sleep 0.1
  done
  return 1
}

wait_for_no_window() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    [ -z "$(windows)" ] && return 0
    sleep 0.1
  done
  return 1
}

# Clicks into the box, so that keystrokes reach it: Wine's virtual desktop
# gives the X focus to the Windows window under the click.
focus_box() {
  xdotool mousemove --window "$1" 30 10 click 1
  sleep 0.4
}

type_line() {
  xdotool type --delay 60 "$1"
  xdotool key Return
}

if [ -n "$(windows)" ]; then
  echo "$name: a \"Pellor by Qel\" window exists before the test: another Tarnic runs in this session" >&2
  exit 1
fi
