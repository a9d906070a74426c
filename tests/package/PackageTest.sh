#!/usr/bin/env bash
# What a user downloads works by itself. For each release ZIP: the files it
# must hold, binaries of its own architecture only, every DLL they import
# either inside it or part of Windows, and a read-me that Notepad on a
# Japanese system shows. Then the x64 ZIP is unpacked into an empty folder of
# a fresh Wine prefix, and Tarnic.exe started from there must show its
# window, open its help, run a command, come back on a second start, end
# with EXIT /P and leave its settings beside itself.
#
#   PackageTest.sh X64_ZIP [X86_ZIP]
#
# Every Wine and Xvfb process started here is stopped on the way out, through
# the session's own stop (the prefix's wineserver, the Xvfb by its id).
set -u

if [ $# -lt 1 ]; then
  echo "usage: PackageTest.sh X64_ZIP [X86_ZIP]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
zips=()
for zip in "$@"; do zips+=("$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")"); done
set -- "${zips[@]}"
session_tool="$here/../support/wine-session"
WINE=${WINE:-/usr/lib/wine/wine64}
for tool in xdotool objdump; do
  command -v "$tool" >/dev/null || { echo "PackageTest: $tool is not installed" >&2; exit 1; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarnic-package.XXXXXX")
state="$scratch/wine"
pid=""
failures=0
passes=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; passes=$((passes + 1)); }

end_all() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  "$session_tool" stop "$state"
  rm -rf "$scratch"
}
trap end_all EXIT
trap 'exit 1' INT TERM HUP

# A fresh prefix: its system32 tells which DLLs Windows brings.
if ! "$session_tool" start "$state"; then
  echo "PackageTest: no Wine session" >&2
  exit 1
fi
system32="$state/prefix/drive_c/windows/system32"

# KERNEL32 calls that came with Vista or later and that a program like ours
# might reach for.
vista_only='CompareStringOrdinal|CompareStringEx|LCMapStringEx|GetLocaleInfoEx|GetTickCount64'
vista_only+='|InitOnceExecuteOnce|InitializeSRWLock|AcquireSRWLock(Exclusive|Shared)|InitializeConditionVariable'
vista_only+='|SleepConditionVariable(CS|SRW)|CreateSymbolicLink[AW]|GetFileInformationByHandleEx'
vista_only+='|SetFileInformationByHandle|GetFinalPathNameByHandle[AW]|QueryFullProcessImageName[AW]'
vista_only+='|Create(Event|Mutex|Semaphore)Ex[AW]'

# ---------------------------------------------------------------------------
#   zip argument   PE format    runtime DLL that only this architecture uses
kinds=(
  "1             pei-x86-64   libgcc_s_seh-1.dll"
  "2             pei-i386     libgcc_s_dw2-1.dll"
)
for row in "${kinds[@]}"; do
  read -r n format runtime <<<"$row"
  [ "$n" -le $# ] || continue
  zip=${!n}
  label=$(basename "$zip")
  files="$scratch/files.$n"
  mkdir -p "$files"
  if ! (cd "$files" && cmake -E tar xf "$zip"); then fail "$label cannot be unpacked"; continue; fi

  for name in Tarnic.exe Velum-1.1.0.dll Tarnic.chm README.txt libstdc++-6.dll "$runtime"; do
    [ -f "$files/$name" ] || fail "$label lacks $name"
  done
  [ -z "$(find "$files" -mindepth 1 -type d)" ] || fail "$label has folders; its files belong beside Tarnic.exe"

  for pe in "$files"/*.exe "$files"/*.dll; do
    got=$(objdump -f "$pe" 2>/dev/null | sed -n 's/.*file format //p')
    [ "$got" = "$format" ] || fail "$label: $(basename "$pe") is $got, expected $format"
    while read -r dll; do
      if [ -z "$(find "$files" "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
        fail "$label: $(basename "$pe") needs $dll, which is neither in the package nor part of Windows"
      fi
    done < <(objdump -p "$pe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  done

  # Our own binaries still start where the newer KERNEL32 calls are missing
  # (Windows before Vista): such a call is looked up when it is needed.
  for pe in "$files/Tarnic.exe" "$files/Velum-1.1.0.dll"; do
    [ -f "$pe" ] || continue
    newer=$(objdump -p "$pe" |
      awk '/DLL Name:/ {k = (tolower($3) == "kernel32.dll")} k && NF >= 3 && $2 ~ /^[0-9]+$/ {print $3}' |
      grep -xE "$vista_only" | paste -sd ' ' -)
    [ -z "$newer" ] || fail "$label: $(basename "$pe") imports $newer, which Windows before Vista lacks"
  done

  readme="$files/README.txt"
  if [ -f "$readme" ]; then
    if ! iconv -f CP932 -t UTF-8 "$readme" 2>/dev/null | grep -q 'Pellor は、'; then
      fail "$label: README.txt is not Japanese text in code page 932"
    fi
    [ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" ] || fail "$label: README.txt has lines without CR LF"
  fi
  pass "$label: $(ls "$files" | tr '\n' ' ')"
done

# ---------------------------------------------------------------------------
# The x64 package, by itself, in a fresh prefix.
# shellcheck disable=SC1091
. "$state/session.env"
export DISPLAY WINEPREFIX="$state/prefix" WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree=;mshtml="
folder="$WINEPREFIX/drive_c/Pellor"
mkdir "$folder"
(cd "$folder" && cmake -E tar xf "$1") || { fail "$(basename "$1") cannot be unpacked"; exit 1; }

title='^Pellor by Qel$'
visible() { xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1; }
# until SECONDS COMMAND...: true as soon as COMMAND succeeds.
until_true() {
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 10; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}
shown() { [ -n "$(visible)" ]; }
hidden() { [ -z "$(visible)" ]; }
ended() { ! kill -0 "$pid" 2>/dev/null; }
type_into() { # WINDOW TEXT: click into the box, type, Enter
  sleep 0.5
  xdotool mousemove --window "$1" 30 10 click 1
  # The click activates the window in Windows' eyes; in a prefix this fresh
  # Wine sometimes leaves the X focus nowhere all the same, and keys would
  # then be lost: give the X focus to the window ourselves.
  xdotool windowfocus "$1" 2>/dev/null
  sleep 0.5
  xdotool type --delay 60 "$2"
  xdotool key Return
}

(cd "$folder" && exec "$WINE" Tarnic.exe) >"$scratch/tarnic.out" 2>&1 </dev/null &
pid=$!
if ! until_true 60 shown; then
  fail "Tarnic.exe from the package shows no window: $(cat "$scratch/tarnic.out")"
  exit 1
fi
pass "Tarnic.exe from the package shows its window"

# HELP opens Tarnic.chm from beside the program; HTML Help titles its window
# with the title recorded in the file, which it reads in code page 932.
type_into "$(visible)" 'help'
help_shown() { [ -n "$(xdotool search --onlyvisible --name '^Pellor ヘルプ$' 2>/dev/null)" ]; }
until_true 15 help_shown && pass "HELP opens the help beside the program" || fail "HELP shows no \"Pellor ヘルプ\" window"

# A program that writes a file and shows no window: one that took the
# activation later (a console program's console does) would hide the
# window again in resident mode, while the checks below want it shown.
command='system regedit.exe /E ran.reg HKEY_CURRENT_USER\Software\Wine'
type_into "$(visible)" "$command"
until_true 20 test -s "$folder/ran.reg" && pass "SYSTEM runs a command line" || fail "[$command] wrote no ran.reg"
until_true 5 hidden && pass "the window hides after the command" || fail "the window stays after the command"

# A second start from the same folder shows the first one's window and ends.
(cd "$folder" && timeout 30 "$WINE" Tarnic.exe) >"$scratch/second.out" 2>&1 </dev/null
rc=$?
[ "$rc" -eq 0 ] && pass "a second start exits 0" || fail "a second start exits $rc"
until_true 5 shown && sleep 1 && shown && pass "the second start brings the window back" ||
  fail "the second start leaves the window hidden"

if win=$(visible) && [ -n "$win" ]; then
  type_into "$win" 'exit /p'
  if until_true 15 ended; then
    wait "$pid"
    rc=$?
    pid=""
    [ "$rc" -eq 0 ] && pass "EXIT /P ends Tarnic.exe with 0" || fail "EXIT /P ends Tarnic.exe with $rc"
  else
    fail "Tarnic.exe still runs 15 s after EXIT /P"
    import -window root "${TMPDIR:-/tmp}/tarnic-package-exit.png" 2>/dev/null &&
      echo "PackageTest: the screen is in ${TMPDIR:-/tmp}/tarnic-package-exit.png"
  fi
fi
settings=$(ls "$folder"/Tarnic-*.xml 2>/dev/null | head -n 1)
if [ -n "$settings" ] && grep -qiF "<input>$command</input>" "$settings"; then
  pass "the settings are saved beside the program: $(basename "$settings")"
else
  fail "no settings file with the typed command beside the program"
fi

echo "PackageTest: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
