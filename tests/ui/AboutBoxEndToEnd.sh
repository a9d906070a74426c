#!/usr/bin/env bash
# The About box as a user meets it: Tarnic.exe in the ctest Wine session,
# opened with ABOUT and with the context menu, driven with X keystrokes and
# clicks (xdotool). The shell's https handler of the prefix is pointed at
# the recorder helper for the run, so every address the box opens is
# written down; the prefix's own handler is put back on the way out.
#
#   AboutBoxEndToEnd.sh STATE TARNIC_EXE RECORDER_EXE
set -u

if [ $# -ne 3 ]; then
  echo "usage: AboutBoxEndToEnd.sh STATE TARNIC_EXE RECORDER_EXE" >&2
  exit 2
fi
state=$(cd "$1" && pwd) || exit 1
program=$2
recorder=$3
name=AboutBoxEndToEnd
# mshtml is off in the session: no browser can be embedded, so the version
# check falls back to the default browser (and the engine's installer never
# asks anything).
# shellcheck source=EndToEndSession.sh
. "$(dirname "$0")/EndToEndSession.sh"
for tool in xwininfo import convert; do
  command -v "$tool" >/dev/null || { echo "$name: $tool is not installed" >&2; exit 77; }
done

handler_key='HKCR\https\shell\open\command'
saved_handler=""
extra_cleanup() {
  if [ -n "$saved_handler" ]; then
    "$WINE" reg add "$handler_key" /ve /d "$saved_handler" /f >/dev/null 2>&1
  fi
}

# The program and its DLLs in a folder of their own, the recorder beside.
exe=$(prepare_copy)
cp "$recorder" "$scratch/rec.exe"
export TARNIC_RECORD_FILE
TARNIC_RECORD_FILE=$(windows_path "$scratch/records.txt")

# The prefix's handler, kept to be put back (reg prints it as the last
# field of the "(default)" line).
saved_handler=$("$WINE" reg query "$handler_key" /ve 2>/dev/null | tr -d '\r' |
  awk '/REG_SZ/ {sub(/^.*REG_SZ[ \t]+/, ""); print; exit}')
# reg itself can fail to start while the session's server is busy with the
# test before: it gets three tries.
registered=0
for attempt in 1 2 3; do
  if "$WINE" reg add "$handler_key" /ve /d "\"$(windows_path "$scratch/rec.exe")\" \"%1\"" /f \
       >"$scratch/reg.out" 2>&1; then
    registered=1
    break
  fi
  sleep 1
done
[ "$registered" = 1 ] ||
  { echo "AboutBoxEndToEnd: cannot register the https handler: $(tr -d '\r' <"$scratch/reg.out")" >&2; exit 1; }

visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
wait_visible() {
  local i w
  for ((i = 0; i < $2 * 10; i++)); do
    w=$(visible "$1")
    if [ -n "$w" ]; then echo "$w"; return 0; fi
    sleep 0.1
  done
  return 1
}
wait_gone() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    [ -z "$(visible "$1")" ] && return 0
    sleep 0.1
  done
  return 1
}
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                           /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}
# records_with TEXT COUNT: waits until COUNT records hold TEXT.
records_with() {
  local i n
  for ((i = 0; i < 100; i++)); do
    n=$(grep -c -F -- "$1" "$scratch/records.txt" 2>/dev/null)
    [ "${n:-0}" -ge "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

home='"https://morrowfield.example/"'
check='"https://morrowfield.example/service/version_check?product=Pellor&version_check=&version=2.22.8.31"'
about='^About\.\.\.$'

start_exe "$exe"
main=$(wait_visible '^Pellor by Qel$' 30) || { fail "Tarnic.exe shows no window"; exit 1; }

# On Wine's 1280x800 desktop the box goes to the bottom-right corner, next
# to where the notification area is.
at_bottom_right() {
  local x y w h
  read -r x y w h <<<"$(geometry "$1")"
  [ $((x + w)) -eq 1280 ] && [ $((y + h)) -eq 800 ]
}

# ABOUT typed into the box.
xdotool mousemove --window "$main" 30 10 click 1
sleep 0.4
xdotool type --delay 60 about
xdotool key Return
if box=$(wait_visible "$about" 10); then
  pass "ABOUT opens the About box"
  at_bottom_right "$box" && pass "ABOUT: at the bottom-right corner" ||
    fail "ABOUT: the box is at $(geometry "$box"), not at the bottom-right corner"
  xdotool key Escape
  wait_gone "$about" 5 && pass "Esc closes the box" || fail "Esc leaves the box open"
else
  fail "ABOUT opens no About box"
fi

# The menu item, from a right click into the box (shown again by a
# second start: ABOUT left it hidden).
timeout 30 "$WINE" "$exe" >/dev/null 2>&1 </dev/null
main=$(wait_visible '^Pellor by Qel$' 10) || { fail "the window did not come back"; exit 1; }
xdotool mousemove --window "$main" 30 10 click 3
sleep 0.8
xdotool key a
if ! box=$(wait_visible "$about" 10); then
  fail "the menu item opens no About box"
  exit 1
fi
pass "the menu item opens the About box"
at_bottom_right "$box" && pass "menu item: at the bottom-right corner" ||
  fail "menu item: the box is at $(geometry "$box"), not at the bottom-right corner"
sleep 0.5

# The link has the focus at first (drawn in its focused red): Space opens
# the home page; Tab goes to the button and Tab again back to the link,
# where Enter opens it again.
xdotool key space
records_with "$home" 1 && pass "Space on the link opens the home page" ||
  fail "Space on the link opened nothing"
xdotool key Tab
sleep 0.2
xdotool key Tab
sleep 0.2
xdotool key Return
records_with "$home" 2 && pass "Tab, Tab and Enter open the home page again" ||
  fail "Enter on the link after Tab, Tab opened nothing"

# A click on the link's text: found on the screen by its focused red.
read -r bx by _ _ <<<"$(geometry "$box")"
import -window root "$scratch/screen.png"
red=$(convert "$scratch/screen.png" -crop "$(geometry "$box" | awk '{printf "%dx%d+%d+%d", $3, $4, $1, $2}')" +repage txt:- |
  awk -F'[,: ]+' '/#FF0000/ {n++; sx+=$1; sy+=$2} END {if (n) printf "%d %d\n", sx/n, sy/n}')
if [ -z "$red" ]; then
  fail "no red (focused) link text in the box"
else
  read -r lx ly <<<"$red"
  xdotool mousemove $((bx + lx)) $((by + ly))
  sleep 0.3
  xdotool click 1
  records_with "$home" 3 && pass "a click on the link opens the home page" ||
    fail "a click on the link at $lx,$ly of the box opened nothing"
fi

# The button, twice: no browser can be embedded here, so the page goes to
# the default browser, with the same address each time.
xdotool key Tab
sleep 0.2
xdotool key Return
sleep 0.5
xdotool key space
records_with "$check" 2 && pass "the version check opens its address in the default browser, twice alike" ||
  fail "the version check did not open $check twice: $(cat "$scratch/records.txt" 2>/dev/null)"
[ -n "$(visible "$about")" ] && pass "the box stays open after the version check" ||
  fail "the version check closed the box"

# Back to the link, then Esc: the box closes and the input box has the
# focus again, so typing reaches it without a click.
xdotool key shift+Tab
sleep 0.2
xdotool key Escape
wait_gone "$about" 5 && pass "Esc closes the box with the focus on the link" ||
  fail "Esc leaves the box open"
sleep 0.5
xdotool type --delay 60 'exit /p'
xdotool key Return
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  fail "keys typed after the box closed did not reach the input box"
else
  wait "$pid"
  rc=$?
  [ "$rc" -eq 0 ] && pass "the input box had the focus back: EXIT /P ended the program" ||
    fail "the program ended with $rc"
fi

if [ "$failures" -gt 0 ]; then
  echo "AboutBoxEndToEnd: $failures check(s) failed"
  exit 1
fi
echo "AboutBoxEndToEnd: all checks passed"
