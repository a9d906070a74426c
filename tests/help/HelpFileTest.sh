#!/usr/bin/env bash
# Opens the compiled help with a reader of its own (chmlib's extract_chmLib,
# not the compiler) and checks what HELP, "?", F1 and the settings dialogs
# rely on: every page is there, intact and in code page 932; the project
# record names a contents file, an index and a start page that exist, in
# Japanese; the contents and the index lead to pages and anchors that exist;
# each settings page and editing dialog has its page in the contents.
#
#   HelpFileTest.sh TARNIC_CHM SOURCE_DIR
set -u

if [ $# -ne 2 ]; then
  echo "usage: HelpFileTest.sh TARNIC_CHM SOURCE_DIR" >&2
  exit 2
fi
chm=$1
src=$2
command -v extract_chmLib >/dev/null || { echo "HelpFile: extract_chmLib is not installed (Debian package libchm-bin)" >&2; exit 77; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarnic-help-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
passes=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; passes=$((passes + 1)); }

out="$scratch/chm"
if ! extract_chmLib "$chm" "$out" >"$scratch/extract.log" 2>&1 || [ ! -d "$out" ]; then
  cat "$scratch/extract.log"
  echo "FAIL: $chm cannot be read"
  exit 1
fi

# Text of a file of the help, back in UTF-8 (empty when it is not there).
text() { [ -f "$out/$1" ] && iconv -f CP932 -t UTF-8 "$out/$1" 2>/dev/null; }

# ---------------------------------------------------------------------------
# Every source page, stylesheet, contents and index file is in the help, and
# reads back as its source: converted to code page 932 and back without loss.
for file in "$src"/*.html "$src"/*.css "$src"/*.hhc "$src"/*.hhk; do
  name=$(basename "$file")
  if [ ! -f "$out/$name" ]; then fail "$name is not in the help"; continue; fi
  if ! iconv -f CP932 -t UTF-8 "$out/$name" >"$scratch/page" 2>/dev/null; then
    fail "$name is not code page 932 text"
    continue
  fi
  if cmp -s "$scratch/page" <(sed 's/charset=UTF-8/charset=Shift_JIS/' "$file"); then pass "$name is intact"
  else fail "$name differs from its source"; fi
  case "$name" in
    *.html) grep -q 'charset=Shift_JIS' "$scratch/page" || fail "$name does not declare Shift_JIS" ;;
  esac
done

# ---------------------------------------------------------------------------
# The project record (#SYSTEM): entries of a 16-bit code, a 16-bit length and
# the data, after a 4-byte version. HTML Help reads the contents and index in
# the code page of the language recorded here.
mapfile -t bytes < <(od -An -v -tu1 "$out/#SYSTEM" 2>/dev/null | tr -s ' ' '\n' | sed '/^$/d')
declare -A record=()
lcid=""
i=4
while [ $((i + 4)) -le ${#bytes[@]} ]; do
  code=$((bytes[i] + 256 * bytes[i + 1]))
  length=$((bytes[i + 2] + 256 * bytes[i + 3]))
  start=$((i + 4))
  if [ "$code" -eq 4 ] && [ "$length" -ge 4 ]; then
    lcid=$(printf '0x%04x' $((bytes[start] + 256 * bytes[start + 1])))
  else
    value=""
    for ((k = start; k < start + length && k < ${#bytes[@]}; k++)); do
      [ "${bytes[k]}" -eq 0 ] && break
      value+=$(printf "\\$(printf '%03o' "${bytes[k]}")")
    done
    record[$code]=$value
  fi
  i=$((start + length))
done
[ "$lcid" = 0x0411 ] && pass "language 0x0411 (Japanese)" || fail "language is '$lcid', expected 0x0411"
title=$(printf '%s' "${record[3]:-}" | iconv -f CP932 -t UTF-8 2>/dev/null)
[ "$title" = "Pellor ヘルプ" ] && pass "title $title" || fail "title is '$title'"
#   code  what            (HH_DISPLAY_TOC opens the contents at the start page)
for row in "0 contents" "1 index" "2 start page"; do
  read -r code what <<<"$row"
  file=${record[$code]:-}
  if [ -z "$file" ]; then fail "the help names no $what"
  elif [ -f "$out/$file" ]; then pass "$what $file"
  else fail "$what $file is not in the help"; fi
done
contents=${record[0]:-Tarnic.hhc}
index=${record[1]:-Tarnic.hhk}

# ---------------------------------------------------------------------------
# Links: every Local of the contents and the index, and every href of the
# pages, names a page of the help and, after '#', an id on that page.
check_target() { # FROM TARGET
  local page=${2%%#*} anchor=""
  [[ $2 == *#* ]] && anchor=${2#*#}
  [ -n "$page" ] || page=$1
  if [ ! -f "$out/$page" ]; then fail "$1 points at $page, which is not in the help"; return; fi
  if [ -n "$anchor" ] && ! grep -q "id=\"$anchor\"" "$out/$page"; then fail "$1 points at $2: no such anchor"; return; fi
  return 0
}
links=0
for list in "$contents" "$index"; do
  while read -r target; do
    check_target "$list" "$target" && links=$((links + 1))
  done < <(text "$list" | sed -n 's/.*name="Local" value="\([^"]*\)".*/\1/p')
done
for file in "$src"/*.html; do
  name=$(basename "$file")
  while read -r target; do
    case "$target" in *:*) continue ;; esac
    check_target "$name" "$target" && links=$((links + 1))
  done < <(text "$name" | grep -o 'href="[^"]*"' | sed 's/^href="//; s/"$//')
done
pass "$links links checked"

# Every page can be reached from the contents.
for file in "$src"/*.html; do
  name=$(basename "$file")
  text "$contents" | grep -q "value=\"$name\"" || fail "$name is not in the contents"
done
entries=$(text "$index" | grep -c 'name="Local"')
[ "$entries" -ge 40 ] && pass "the index has $entries entries" || fail "the index has only $entries entries"

# ---------------------------------------------------------------------------
# The settings dialogs' help: each page of the sheet and each editing dialog
# has its page, listed in the contents under the name the page shows.
#   page                      contents entry and page title
dialogs=(
  "settings.html            設定ダイアログ"
  "settings-command.html    [コマンド] ページ"
  "settings-window.html     [ウィンドウ] ページ"
  "settings-input.html      [入力支援] ページ"
  "settings-others.html     [その他] ページ"
  "editcmd.html             [コマンドの編集] ダイアログ"
  "entry.html               [コマンドアイテムの編集] ダイアログ"
)
for row in "${dialogs[@]}"; do
  read -r page caption <<<"$row"
  if [ ! -f "$out/$page" ]; then fail "$caption: $page is not in the help"; continue; fi
  text "$contents" | tr -s ' \n' '  ' | grep -qF "<param name=\"Name\" value=\"$caption\"> <param name=\"Local\" value=\"$page\">" ||
    { fail "$caption is not in the contents as $page"; continue; }
  text "$page" | grep -qF "<title>$caption</title>" || { fail "$page is not titled $caption"; continue; }
  pass "$caption: $page"
done

echo "HelpFile: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
