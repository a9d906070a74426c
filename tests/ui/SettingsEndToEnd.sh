#!/usr/bin/env bash
# The settings sheet as a user meets it: Tarnic.exe in the ctest Wine
# session, opened with SETTING typed into the input box, driven with real X
# keystrokes and clicks (xdotool), its effects seen on the input window and
# in the settings file.
#
#   SettingsEndToEnd.sh STATE TARNIC_EXE RECORDER_EXE
#
# STATE is the folder of a running wine-session. Every Tarnic.exe started
# here is ended by its process id on the way out, whatever failed.
set -u

if [ $# -ne 3 ]; then
  echo "usage: SettingsEndToEnd.sh STATE TARNIC_EXE RECORDER_EXE" >&2
  exit 2
fi
state=$(cd "$1" && pwd) || exit 1
program=$2
recorder=$3
name=SettingsEndToEnd
# shellcheck source=EndToEndSession.sh
. "$(dirname "$0")/EndToEndSession.sh"

main_title='^Pellor by Qel$'
sheet_title='^Pellor 設定$'
box_title='^Pellor Error Information$'

# With TARNIC_E2E_SHOTS set to a folder, each failure leaves a picture of
# the screen there.
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
  if [ -n "${TARNIC_E2E_SHOTS:-}" ] && command -v import >/dev/null; then
    import -window root "$TARNIC_E2E_SHOTS/settings-failure-$failures.png" 2>/dev/null
  fi
}
pass() { echo "ok: $*"; }
check() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got [$2], expected [$3]"; fi; }

# find TITLE SECONDS: the first visible window with that title, in $found.
find_window() {
  local i
  found=""
  for ((i = 0; i < $2 * 10; i++)); do
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$found" ] && return 0
    sleep 0.1
  done
  return 1
}
gone() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    [ -z "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ] && return 0
    sleep 0.1
  done
  return 1
}
# "x y width height" of a window.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                           /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}
# The input window's geometry once it has settled on the expected one.
settled() {
  local i g
  for ((i = 0; i < 30; i++)); do
    g=$(geometry "$win")
    [ "$g" = "$1" ] && break
    sleep 0.1
  done
  echo "$g"
}

# Clicks at x y inside the sheet (its client-relative layout is fixed by
# the templates and the dialog font).
click_sheet() {
  xdotool mousemove --window "$sheet" "$1" "$2" click 1
  sleep 0.3
}
# Replaces the text of the field at x y with what is typed: a double click
# selects the number (key chords with modifiers do not reach Wine here).
type_field() {
  xdotool mousemove --window "$sheet" "$1" "$2" click --repeat 2 --delay 80 1
  sleep 0.3
  if [ -n "$3" ]; then xdotool type --delay 80 "$3"; else xdotool key BackSpace; fi
  sleep 0.4
}
# The tabs コマンド, ウィンドウ, 入力支援, その他 and the buttons OK, Cancel,
# Apply, where the sheet draws them.
tab_x=(40 107 173 229)
show_page() { click_sheet "${tab_x[$1]}" 39; }
press_ok() { click_sheet 192 349; }
press_apply() { click_sheet 354 349; }

# Enter hides the input window after SETTING; a second start of the program
# shows it again, as it would for a user without resident mode.
open_sheet() {
  # After a sheet closed, the window hides once SETTING has returned.
  [ -n "${sheet:-}" ] && gone "$main_title" 3
  if ! find_window "$main_title" 1; then
    timeout 30 "$WINE" "$exe" >/dev/null 2>&1 </dev/null
    find_window "$main_title" 10 || return 1
  fi
  win=$found
  xdotool mousemove --window "$win" 30 10 click 1
  sleep 0.4
  xdotool type --delay 60 SETTING
  xdotool key Return
  find_window "$sheet_title" 15 && sheet=$found
}

# A copy of the program in a folder of its own, with what it loads.
exe=$(prepare_copy)
folder=$(dirname "$exe")
cp "$recorder" "$folder/rec.exe"
# Lines typed as "rec.exe" and the open-file dialog find the recorder in the
# folder the program was started from.
cd "$folder" || exit 1
export TARNIC_RECORD_FILE
TARNIC_RECORD_FILE="Z:${folder//\//\\}\\records.txt"

start() {
  start_exe "$exe"
  find_window "$main_title" 30 && win=$found
}
quit() {
  xdotool mousemove --window "$win" 30 10 click 1
  sleep 0.3
  xdotool type --delay 60 "exit /p"
  xdotool key Return
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=""
}

# A first run writes the settings file on the way out: that gives its name.
start || { echo "SettingsEndToEnd: Tarnic.exe shows no window" >&2; exit 1; }
# A first run sits on the bottom edge of the work area (a taskbar may take
# the bottom of the 1280x800 desktop).
read -r _ first_y _ _ <<<"$(geometry "$win")"
bottom=$((first_y + 20))
low=$((bottom - 20))
quit
settings=$(ls "$folder"/Tarnic-*.xml 2>/dev/null | head -n 1)
[ -n "$settings" ] || { echo "SettingsEndToEnd: no settings file after a first run" >&2; exit 1; }
printf '%s' '<?xml version="1.0" encoding="UTF-8"?>
<TarnicSettings version="2.22.08">
	<WindowInfo x="0" y="'"$low"'" cx="150" cy="20"/>
	<Others Stationed="0" HotKey="0000"/>
</TarnicSettings>' >"$settings"

start || { echo "SettingsEndToEnd: no window with the prepared settings" >&2; exit 1; }

# ---------------------------------------------------------------------------
# SETTING opens the sheet in the middle of the work area.
if ! open_sheet; then
  fail "SETTING opens no \"Pellor 設定\" window"
else
  read -r sx sy sw sh <<<"$(geometry "$sheet")"
  if [ $(((1280 - sw) / 2 - sx)) -ge -1 ] && [ $(((1280 - sw) / 2 - sx)) -le 1 ] &&
     [ $(((bottom - sh) / 2 - sy)) -ge -1 ] && [ $(((bottom - sh) / 2 - sy)) -le 1 ]; then
    pass "the sheet is centred ($sx $sy ${sw}x$sh)"
  else
    fail "the sheet is at $sx $sy ${sw}x$sh, not centred"
  fi

  # The Window page: the fields move and size the input window at once and
  # correct what does not fit.
  show_page 1
  type_field 97 91 300
  check "X 300 moves the window" "$(settled "300 $low 150 20")" "300 $low 150 20"
  type_field 207 91 400
  check "width 400 widens it" "$(settled "300 $low 400 20")" "300 $low 400 20"
  type_field 97 91 9999
  check "X 9999 stops at the right edge" "$(settled "880 $low 400 20")" "880 $low 400 20"
  type_field 97 123 ""
  check "a cleared Y puts it on the bottom edge" "$(settled "880 $low 400 20")" "880 $low 400 20"
  # The move grip: the pointer glides to the window's corner, the window
  # follows it, and it glides back to the grip on release.
  xdotool mousemove --window "$sheet" 242 88
  sleep 0.3
  xdotool mousedown 1
  # The glide runs on a 10 ms timer: wait until the pointer has arrived.
  for _ in $(seq 1 30); do
    [ "$(xdotool getmouselocation | cut -d' ' -f1-2)" = "x:880 y:$low" ] && break
    sleep 0.1
  done
  xdotool mousemove 500 300
  sleep 0.4
  xdotool mousemove 520 320
  sleep 0.6
  xdotool mouseup 1
  sleep 1
  check "the move grip drags the window" "$(settled "520 320 400 20")" "520 320 400 20"
  # Cancel: the input window goes back where the file has it.
  xdotool key Escape
  gone "$sheet_title" 5 && pass "Escape closes the sheet" || fail "Escape leaves the sheet open"
  check "Cancel undoes the preview" "$(settled "0 $low 150 20")" "0 $low 150 20"
  grep -q 'cx="150"' "$settings" && pass "Cancel saves nothing" || fail "Cancel changed the file"
fi

# ---------------------------------------------------------------------------
# The Input page: the history size is corrected as it is typed; Apply and
# OK save the file.
if open_sheet; then
  show_page 2
  type_field 185 92 300
  press_apply
  sleep 1
  grep -q '<InputHistory size="255"' "$settings" && pass "300 is applied as 255 and saved" ||
    fail "after Apply the file holds: $(grep -o '<InputHistory[^>]*>' "$settings")"
  type_field 185 92 ""
  xdotool key Return
  gone "$sheet_title" 5 && pass "Enter closes the sheet (OK)" || fail "Enter leaves the sheet open"
  grep -q '<InputHistory size="20"' "$settings" && pass "a cleared size is saved as 20" ||
    fail "after OK the file holds: $(grep -o '<InputHistory[^>]*>' "$settings")"
else
  fail "SETTING does not open the sheet a second time"
fi

# ---------------------------------------------------------------------------
# The Others page: resident mode without a hot key is refused with 3004 and
# the sheet stays.
if open_sheet; then
  show_page 3
  click_sheet 43 91
  press_ok
  if find_window "$box_title" 10; then
    pass "resident mode without a hot key is refused with a message"
    xdotool key Return
    sleep 0.5
  else
    fail "no message for resident mode without a hot key"
  fi
  if find_window "$sheet_title" 3; then pass "the sheet stays open after the refusal"
  else fail "the sheet closed after the refusal"; fi
  click_sheet 43 91
  xdotool key Escape
  gone "$sheet_title" 5 || fail "Escape leaves the sheet open"
  grep -q 'Stationed="0"' "$settings" && pass "the refused change is not saved" ||
    fail "the file holds resident mode"
else
  fail "SETTING does not open the sheet a third time"
fi

# ---------------------------------------------------------------------------
# A command registered through the dialogs: a word, one line browsed for with
# the open-file dialog and one typed, the typed one moved up; it runs at once
# from the input box and is in the file after the next save.
register_word=recboth
# in_window TITLE: waits for the window to take the keys.
in_window() {
  find_window "$1" 15 || { fail "no \"$1\" window"; return 1; }
  sleep 0.3
}
# run_word: what the registered word's lines received, sorted: both start
# at once, so which writes first is not theirs to keep (the stored order is
# checked in the file).
run_word() {
  rm -f "$folder/records.txt"
  xdotool mousemove --window "$win" 30 10 click 1
  sleep 0.4
  xdotool type --delay 60 "$register_word"
  xdotool key Return
  for _ in $(seq 1 150); do
    [ "$(grep -c -- '--end--' "$folder/records.txt" 2>/dev/null)" = 2 ] && break
    sleep 0.1
  done
  sleep 0.3
  grep '^command line:' "$folder/records.txt" 2>/dev/null | sed 's/.*rec\.exe"\{0,1\} *//' | sort | tr '\n' ' '
}
# show_main: the input window back after a sheet closed (it hides then).
show_main() {
  gone "$main_title" 3
  if ! find_window "$main_title" 1; then
    timeout 30 "$WINE" "$exe" >/dev/null 2>&1 </dev/null
    find_window "$main_title" 10
  fi
  win=$found
}
# select_first: the first row of the Command page's list, by keyboard.
select_first() {
  click_sheet 150 150
  xdotool key Home
  sleep 0.3
}

if open_sheet; then
  show_page 0
  click_sheet 150 150
  xdotool key Insert
  if in_window 'コマンドの編集$'; then
    xdotool type --delay 60 "$register_word"
    xdotool key Insert
    # The browsed line: 参照 beside the program, the recorder by name.
    if in_window 'コマンドアイテムの編集$'; then
      xdotool key Tab space
      if in_window '起動させるプログラムを指定してください'; then
        xdotool type --delay 60 rec.exe
        xdotool key Return
        gone '起動させるプログラムを指定してください' 10 || fail "the open-file dialog stays"
        sleep 0.4
      fi
      xdotool key Tab
      xdotool type --delay 60 second
      xdotool key Return
      gone 'コマンドアイテムの編集$' 10 || fail "the line dialog stays after OK"
    fi
    # The typed line, added from the list (where the focus is now) with Ins.
    sleep 0.4
    xdotool key Insert
    if in_window 'コマンドアイテムの編集$'; then
      xdotool type --delay 60 rec.exe
      xdotool key Tab Tab
      xdotool type --delay 60 first
      xdotool key Return
      gone 'コマンドアイテムの編集$' 10 || fail "the line dialog stays after OK"
    fi
    # The new line is selected: 上へ is the fourth stop after the list.
    sleep 0.4
    xdotool key Tab Tab Tab Tab space
    sleep 0.4
    xdotool key Return
    gone 'コマンドの編集$' 10 || fail "the command dialog stays after OK"
  fi
  sleep 0.4
  xdotool key Return
  gone "$sheet_title" 5 || fail "Enter leaves the sheet open after registering"
  show_main
  check "the registered word runs both lines" "$(run_word)" "first second "
else
  fail "SETTING does not open the sheet for registering"
fi

quit
if grep -q "command=\"$register_word\"" "$settings"; then
  pass "the registered word is in the settings file"
  # Stored in the order the dialog left: the typed line first.
  order=$(grep -A4 "command=\"$register_word\"" "$settings" | grep -o 'first\|second' | tr '\n' ' ')
  check "the lines are stored in their new order" "$order" "first second "
  # The browsed line holds the full path the open-file dialog gave.
  browsed=$(grep -A4 "command=\"$register_word\"" "$settings" | grep second |
            grep -cF "$(basename "$folder")\\rec.exe")
  check "the browsed line names the file chosen" "$browsed" 1
else
  fail "the settings file has no \"$register_word\": $(grep -o '<command [^>]*>' "$settings")"
fi

# Editing the stored command and cancelling leaves it as it was; deleting it
# and applying takes it out of the file.
start || fail "no window after the registering run"
if open_sheet; then
  show_page 0
  select_first
  xdotool key F2
  if in_window 'コマンドの編集$'; then
    xdotool type --delay 60 xx
    xdotool key Escape
    gone 'コマンドの編集$' 10 || fail "Escape leaves the command dialog open"
  fi
  sleep 0.4
  xdotool key Escape
  gone "$sheet_title" 5 || fail "Escape leaves the sheet open"
  show_main
  check "a cancelled edit leaves the command as it was" "$(run_word)" "first second "
fi
if open_sheet; then
  show_page 0
  select_first
  xdotool key Delete
  sleep 0.4
  press_apply
  sleep 1
  if grep -q "command=\"$register_word\"" "$settings"; then
    fail "after Del and Apply the file still holds \"$register_word\""
  else
    pass "Del and Apply take the command out of the file"
  fi
  xdotool key Escape
  gone "$sheet_title" 5 || fail "Escape leaves the sheet open"
else
  fail "SETTING does not open the sheet for deleting"
fi
quit

if [ "$failures" -gt 0 ]; then
  echo "SettingsEndToEnd: $failures check(s) failed"
  exit 1
fi
echo "SettingsEndToEnd: all checks passed"
