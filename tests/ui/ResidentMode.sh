#!/usr/bin/env bash
# Resident mode as a user meets it: Tarnic.exe in the ctest Wine session,
# driven with real X keystrokes and clicks (xdotool) on its input window, its
# global hot key and its icon in the notification area of Wine's desktop
# taskbar; shell_probe.exe reads back what only Windows can tell (tooltip,
# menu, foreground) and sends the broadcasts a shell would.
#
#   ResidentMode.sh STATE TARNIC_EXE RECORDER_EXE SHELL_PROBE_EXE
#
# Every process started here is ended by its process id on the way out, and
# the registry values it sets are deleted again.
set -u

if [ $# -ne 4 ]; then
  echo "usage: ResidentMode.sh STATE TARNIC_EXE RECORDER_EXE SHELL_PROBE_EXE" >&2
  exit 2
fi
state=$(cd "$1" && pwd) || exit 1
program=$2
recorder=$3
probe_exe=$4
rec_copy=""  # set once the session is known
name=ResidentMode
# shellcheck source=EndToEndSession.sh
. "$(dirname "$0")/EndToEndSession.sh"

popup_title='^IntelliSense : Pellor by Qel$'
tip='Pellor Ver. 2.22 Rev. 8'

extra_cleanup() {
  probe delete-user-variable TARNIC_PROBE
  probe delete-user-variable Path
  rm -f "$rec_copy"
}

check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

# shell_probe REQUEST...: its answer without carriage returns, its exit code.
probe() {
  local out rc
  out=$("$WINE" "$probe_exe" "$@" 2>/dev/null </dev/null)
  rc=$?
  out=${out//$'\r'/}
  [ -n "$out" ] && printf '%s\n' "$out"
  return $rc
}

visible() { [ -n "$(windows --onlyvisible)" ]; }
popup_visible() { [ -n "$(xdotool search --onlyvisible --name "$popup_title" 2>/dev/null)" ]; }
hidden() { ! visible; }
in_front() { [ "$(probe foreground)" = "Pellor by Qel" ]; }

# until_true SECONDS COMMAND...: true as soon as COMMAND is.
until_true() {
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

hot_key() { xdotool key ctrl+alt+l; }

# The middle of the icon in the notification area, in $icon_x $icon_y.
find_icon() {
  local x y w h
  read -r x y w h <<<"$(probe icon-rect)"
  [ -n "${h:-}" ] || return 1
  icon_x=$((x + w / 2))
  icon_y=$((y + h / 2))
}

# The icon's tooltip, after resting the pointer on it; "" when none shows.
icon_tooltip() {
  local i text
  xdotool mousemove 640 300
  sleep 0.5
  xdotool mousemove "$icon_x" "$icon_y"
  for ((i = 0; i < 8; i++)); do
    sleep 0.5
    text=$(probe tooltips)
    if [ -n "$text" ]; then echo "$text"; return 0; fi
  done
  echo ""
}

# The recorder's records appear in $records; the last one's field.
last_field() { grep "^$1: " "$records" 2>/dev/null | tail -n 1 | cut -d' ' -f2-; }
record_count() { local n; n=$(grep -c -- '--end--' "$records" 2>/dev/null); echo "${n:-0}"; }

# The recorder started through the launcher writes here; C:\ keeps the line
# short to type.
records="$scratch/records.txt"
export TARNIC_RECORD_FILE="Z:${records//\//\\}"
rec_copy="$WINEPREFIX/drive_c/tarnic-rec.exe"
cp "$recorder" "$rec_copy"

# The system's Path as programs get it, read before the launcher runs: the
# console programs that read it take the activation, which hides a resident
# launcher.
system_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
raw_system_path=$("$WINE" reg query "$system_key" /v Path 2>/dev/null </dev/null | tr -d '\r' |
                  awk '$1 == "Path" {sub(/^[^R]*REG_[A-Z_]*[ \t]+/, ""); print}')
system_path=$("$WINE" cmd /c echo "$raw_system_path" 2>/dev/null </dev/null | tr -d '\r')

# The window's default place, the bottom-left corner, lies under the
# taskbar of Wine's desktop once the taskbar comes to the front, and a click
# meant for the box would reach the start button. A first run writes the
# settings file and so gives its name; the window is then moved up.
exe=$(prepare_copy)
start_exe "$exe"
if until_true 30 visible; then
  focus_box "$(windows --onlyvisible | head -n 1)"
  xdotool type --delay 60 'exit /p'
  xdotool key Return
  until_true 10 eval '! kill -0 "$pid" 2>/dev/null'
fi
stop_tarnic "$pid"
settings=$(ls "$(dirname "$exe")"/Tarnic-*.xml 2>/dev/null | head -n 1)
if [ -z "$settings" ]; then
  echo "ResidentMode: a first run wrote no settings file" >&2
  exit 1
fi
printf '%s' '<?xml version="1.0" encoding="UTF-8"?>
<TarnicSettings version="2.22.08"><WindowInfo x="300" y="400" cx="200" cy="22"/></TarnicSettings>' >"$settings"

# ---------------------------------------------------------------------------
# One resident launcher (the default): icon, hot key, environment.
start_exe "$exe"
run=$pid
if ! until_true 30 visible; then
  fail "Tarnic.exe shows no window"
else
  win=$(windows --onlyvisible | head -n 1)
  if ! until_true 10 find_icon; then
    fail "no taskbar with a notification area on the Wine desktop: $(probe tray | tr '\n' ';')"
  else
    text=$(icon_tooltip)
    [ "$text" = "$tip" ] && pass "the icon's tooltip reads \"$tip\"" ||
      fail "the icon's tooltip reads \"$text\", expected \"$tip\""

    # Esc hides; the hot key brings the window back in front.
    focus_box "$win"
    xdotool key Escape
    check "Esc hides the window" until_true 5 hidden
    hot_key
    check "Ctrl+Alt+L shows the hidden window" until_true 5 visible
    check "... in front" until_true 5 in_front
    popup_visible && fail "the empty candidate list came back with the window" ||
      pass "an empty candidate list stays hidden"

    # The window hides when another program takes the activation; the hot
    # key brings it back with the candidates it held.
    focus_box "$win"
    xdotool type --delay 80 "s"
    if until_true 5 popup_visible; then
      pass "typing \"s\" lists candidates"
      probe cover 6 >/dev/null &
      cover=$!
      started+=("$cover")
      check "another program in front hides the window" until_true 5 hidden
      hot_key
      check "Ctrl+Alt+L shows the window over the other program" until_true 5 visible
      check "... in front" until_true 5 in_front
      check "... with its candidate list" until_true 5 popup_visible
      # Pressed again while visible: it stays.
      hot_key
      sleep 1
      check "Ctrl+Alt+L on the visible window leaves it shown" visible
      check "... and in front" in_front
      wait "$cover" 2>/dev/null
    else
      fail "typing \"s\" shows no candidate list"
    fi

    # Mouse on the icon.
    focus_box "$win"
    xdotool key Escape
    until_true 5 hidden
    xdotool mousemove "$icon_x" "$icon_y" click 1
    check "a left click on the icon shows the window" until_true 5 visible
    check "... in front" until_true 5 in_front

    xdotool mousemove "$icon_x" "$icon_y" click 3
    if until_true 5 probe menu-rect >/dev/null; then
      read -r mx my mw mh <<<"$(probe menu-rect)"
      # The menu starts at the pointer, or ends there where the screen
      # has no room below or to the right.
      if [ "$icon_x" -ge "$mx" ] && [ "$icon_x" -le $((mx + mw)) ] &&
         { [ $((my - icon_y)) -le 12 ] && [ $((icon_y - my)) -le 12 ] ||
           [ $((my + mh - icon_y)) -le 12 ] && [ $((icon_y - my - mh)) -le 12 ]; }; then
        pass "a right click on the icon opens the menu at the pointer"
      else
        fail "the menu lies at $mx $my ${mw}x$mh, the pointer at $icon_x $icon_y"
      fi
      # Clicking elsewhere closes it (the window took the foreground first).
      xdotool mousemove 640 300 click 1
      check "a click elsewhere closes the menu" until_true 5 eval '! probe menu-rect >/dev/null'
    else
      fail "a right click on the icon opens no menu"
    fi

    focus_box "$win"
    xdotool key Escape
    until_true 5 hidden
    xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
    check "a double click on the icon shows the window" until_true 5 visible
    sheet=""
    until_true 3 eval 'sheet=$(xdotool search --onlyvisible --name "^Pellor 設定$" 2>/dev/null | head -n 1); [ -n "$sheet" ]'
    if [ -n "$sheet" ]; then
      pass "a double click on the icon opens the settings sheet"
      # The sheet must go before anything is typed again: a click on its
      # first tab gives it the keyboard, Esc cancels it, and its Cancel
      # button is the way out when the key went elsewhere.
      sheet_gone() { [ -z "$(xdotool search --onlyvisible --name "^Pellor 設定$" 2>/dev/null)" ]; }
      xdotool mousemove --window "$sheet" 40 39 click 1
      sleep 0.4
      xdotool key Escape
      if ! until_true 5 sheet_gone; then
        xdotool mousemove --window "$sheet" 273 349 click 1
      fi
      check "the settings sheet closes again" until_true 5 sheet_gone
    fi
    kill -0 "$run" 2>/dev/null && pass "the launcher runs on after the double click" ||
      fail "the double click ended the launcher"

    # A shell that restarts knows no icons: "TaskbarCreated" brings ours back.
    if probe remove-icon; then
      text=$(icon_tooltip)
      [ -z "$text" ] && pass "the icon is gone once the shell forgets it" ||
        fail "the icon still shows \"$text\" after the shell forgot it"
      probe taskbar-created
      sleep 1
      text=$(icon_tooltip)
      [ "$text" = "$tip" ] && pass "\"TaskbarCreated\" brings the icon back" ||
        fail "after \"TaskbarCreated\" the icon's tooltip reads \"$text\""
      focus_box "$win"
      xdotool key Escape
      until_true 5 hidden
      xdotool mousemove "$icon_x" "$icon_y" click 1
      check "... and a click on it shows the window" until_true 5 visible
    else
      fail "shell_probe could not take the icon away"
    fi
  fi

  # Environment: the user's variables change in the registry; only the
  # exact broadcast "Environment" makes programs started later see them.
  probe set-user-variable TARNIC_PROBE "refreshed value"
  probe set-user-variable Path 'C:\user-bin' expand
  #  broadcast        probe expected          path expected
  rows=(
    "environment|<as started>|<as started>"
    "Environment|refreshed value|$system_path;C:\\user-bin"
  )
  started_probe=""
  started_path=""
  for row in "${rows[@]}"; do
    IFS='|' read -r area want_probe want_path <<<"$row"
    probe setting-change 0 "$area"
    before=$(record_count)
    hot_key
    until_true 5 visible
    sleep 0.5
    focus_box "$(windows --onlyvisible | head -n 1)"
    xdotool type --delay 60 'system C:\tarnic-rec.exe'
    xdotool key Return
    if ! until_true 20 eval '[ "$(record_count)" -gt "$before" ]'; then
      fail "[$area] the program typed after SYSTEM did not run"
      continue
    fi
    got_probe=$(last_field probe)
    got_path=$(last_field path)
    if [ "$want_probe" = "<as started>" ]; then
      started_probe=$got_probe
      started_path=$got_path
      if [ "$got_probe" != "refreshed value" ] && [ "${got_path%C:\\user-bin}" = "$got_path" ]; then
        pass "[$area] a broadcast in other letter case changes nothing"
      else
        fail "[$area] the environment was refreshed: TARNIC_PROBE=\"$got_probe\", PATH=\"$got_path\""
      fi
    else
      [ "$got_probe" = "$want_probe" ] && pass "[$area] a program started later sees the new variable" ||
        fail "[$area] the program saw TARNIC_PROBE=\"$got_probe\" (at start: \"$started_probe\")"
      if [ -n "$system_path" ] && [ "$got_path" = "$want_path" ]; then
        pass "[$area] its PATH is the system's, \";\" and the user's"
      else
        fail "[$area] PATH is \"$got_path\", expected \"$want_path\" (at start: \"$started_path\")"
      fi
    fi
  done

  hot_key
  until_true 5 visible
  focus_box "$(windows --onlyvisible | head -n 1)"
  xdotool type --delay 60 'exit /p'
  xdotool key Return
  until_true 10 eval '! kill -0 "$run" 2>/dev/null' || fail "EXIT /P did not end the launcher"
fi
stop_tarnic "$run"
probe delete-user-variable TARNIC_PROBE
probe delete-user-variable Path

# ---------------------------------------------------------------------------
# Another program holds Ctrl+Alt+L: the launcher says so once, naming the
# key, and its icon still brings the window back.
# Ctrl+Alt (MOD_CONTROL | MOD_ALT) and L. Straight from Wine, not through
# probe, which answers only at the end.
"$WINE" "$probe_exe" hold-hotkey 3 0x4C 40 >"$scratch/hold.out" 2>/dev/null </dev/null &
holder=$!
started+=("$holder")
if until_true 10 grep -q held "$scratch/hold.out" 2>/dev/null; then
  start_exe "$exe"
  run=$pid
  box=""
  until_true 30 eval 'box=$(xdotool search --onlyvisible --name "^Pellor Error Information$" 2>/dev/null | head -n 1); [ -n "$box" ]'
  if [ -n "$box" ]; then
    pass "a hot key held elsewhere is reported at start"
    xdotool mousemove --window "$box" 20 20 click 1
    sleep 0.3
    xdotool key Return
    check "... by one message" until_true 5 eval '[ -z "$(xdotool search --onlyvisible --name "^Pellor Error Information$" 2>/dev/null)" ]'
  else
    fail "no message for a hot key held elsewhere"
  fi
  if until_true 10 visible && until_true 10 find_icon; then
    win=$(windows --onlyvisible | head -n 1)
    focus_box "$win"
    xdotool key Escape
    until_true 5 hidden
    sleep 1
    [ -z "$(xdotool search --onlyvisible --name "^Pellor Error Information$" 2>/dev/null)" ] &&
      pass "the message is not repeated" || fail "the message came again"
    xdotool mousemove "$icon_x" "$icon_y" click 1
    check "without its hot key the icon still shows the window" until_true 5 visible
  else
    fail "no window or no icon while the hot key is held elsewhere"
  fi
  stop_tarnic "$run"
else
  fail "shell_probe could not hold Ctrl+Alt+L: $(cat "$scratch/hold.out")"
fi
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null

if [ "$failures" -gt 0 ]; then
  echo "ResidentMode: $failures check(s) failed"
  exit 1
fi
echo "ResidentMode: all checks passed"
