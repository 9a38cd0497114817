#!/usr/bin/env bash
# praxdl's bash completion: the completion function called as bash calls it, on a fresh shell
# without any user setup, with COMP_WORDS split as bash splits them (at ":" and "=" too).
# Usage: completion_test.sh PRAXDL_BASH
set -uo pipefail
completion=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A praxdl that lists fonts as the real one does (name, file and size, tab-separated), and USB
# printers as its --json ports does.
mkdir -p "$scratch/bin" "$scratch/files/sub dir"
cat >"$scratch/bin/praxdl" <<'FAKE'
#!/bin/sh
if [ "$1 $2" = "--json ports" ]; then
  printf '{"event":"port","connection":"USB","opens":"/dev/usb/lp1","present":true}\n'
  printf '{"event":"usb-printer","identity":"USB\\\\VID_04B8&PID_0202\\\\E1","serial":"E1","opens":"/dev/usb/lp0","verdict":"not of an accepted make","accepted":false,"chosen":false}\n'
  printf '{"event":"usb-printer","identity":"USB\\\\VID_1958&PID_0001\\\\A1","serial":"A1","opens":"/dev/usb/lp1","verdict":"accepted make","accepted":true,"chosen":true}\n'
  exit 0
fi
[ "$1" = fonts ] || exit 2
printf 'Liberation Sans (TrueType)\tLiberationSans-Regular.ttf\t139512\n'
printf 'Liberation Mono (TrueType)\tLiberationMono-Regular.ttf\t108172\n'
printf 'DejaVu Sans (TrueType)\tDejaVuSans.ttf\t757076\n'
FAKE
chmod +x "$scratch/bin/praxdl"
touch "$scratch/files/fw one.bin" "$scratch/files/fw2.bin" "$scratch/files/line 3.toml" "$scratch/files/line.txt"
mkdir "$scratch/files/lines"

failures=0
# check NAME EXPECTED WORD... : the last WORD is the one being completed; EXPECTED is the
# replies, sorted, one a line.
check() {
  local name=$1 expected=$2
  shift 2
  local got
  got=$(cd "$scratch/files" && PATH="$scratch/bin:$PATH" bash --norc --noprofile -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    # COMP_LINE as typed: words that bash splits at ":" or "=" stand without a blank between.
    COMP_LINE=$1; shift
    for w in "$@"; do
      case $w in :* | =*) COMP_LINE+=$w ;; *) [[ ${COMP_LINE: -1} == [:=] ]] && COMP_LINE+=$w || COMP_LINE+=" $w" ;; esac
    done
    COMP_POINT=${#COMP_LINE}
    _praxdl
    (( ${#COMPREPLY[@]} )) && printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort' _ "$completion" "$@" 2>&1)
  if [[ "$got" != "$expected" ]]; then
    printf 'FAIL %s\n  words: %s\n  expected:\n%s\n  got:\n%s\n' "$name" "$*" "$expected" "$got"
    failures=$((failures + 1))
  fi
}
lines() { printf '%s\n' "$@" | LC_ALL=C sort; }

commands=$(lines init cutter change-mode send firmware dl-firmware font code-table raw channel read apply ports fonts)
coms=$(lines "COM1 115200" "COM2 115200" "COM3 115200" "COM4 115200" "COM5 115200" "COM6 115200" \
  "COM7 115200" "COM8 115200")
slots=$(for l in {A..Z}; do echo "T$l"; done)

check "commands" "$commands" praxdl ""
check "commands after global options" "$commands" praxdl --quiet --port "\"COM1 115200\"" --yes ""
check "commands by prefix" "$(lines change-mode channel code-table cutter)" praxdl c
check "--host address split at colons" "$(lines channel change-mode)" praxdl --host "[" "::" "1]" ":" 9100 ch
check "--slot" "$slots" praxdl font "Liberation Sans (TrueType)" --slot T
check "--slot=" "$slots" praxdl code-table x.bin --slot "=" ""
check "channel" "$(lines 00 25 49)" praxdl channel ""
check "channel, options first" "$(lines 25)" praxdl --port USB channel 2
check "read" "$(lines start stop)" praxdl read ""
check "--port C" "$coms" praxdl --port C
check "--port with an opening quote" "$coms" praxdl --port '"C'
check "--port by an attached printer's serial number" "$(lines A1)" praxdl --port A
check "--port after the command" "$(lines "COM3 115200")" praxdl init --port "COM3"
check "--port=" "$(lines USB LPT1 A1 $'COM1 115200' $'COM2 115200' $'COM3 115200' $'COM4 115200' \
  $'COM5 115200' $'COM6 115200' $'COM7 115200' $'COM8 115200')" praxdl --port "=" ""
check "--port=USB before the command" "$(lines 00 25 49)" praxdl --port "=" USB --slot "=" TB channel ""
check "font names" "$(lines "Liberation Mono (TrueType)" "Liberation Sans (TrueType)")" praxdl font Lib
check "font name quoted" "$(lines "DejaVu Sans (TrueType)")" praxdl --port LPT1 font '"De'
check "files for firmware" "$(lines "fw one.bin" "fw2.bin")" praxdl firmware fw
check "files with a blank, escaped" "$(lines "fw one.bin")" praxdl raw 'fw\ o'
check "folders for --output" "$(lines "sub dir")" praxdl --output s
check "one image only" "" praxdl firmware a.bin ""
check "firmware's option" "$(lines --package-size --port)" praxdl firmware a.bin --p
check "font's option" "$(lines --slot)" praxdl font x --s
check "font's file options" "$(lines --file)" praxdl font --f
check "files for font --file" "$(lines "fw one.bin" "fw2.bin")" praxdl font --file fw
check "no listed name beside --file" "" praxdl font --file a.ttf --name Corp ""
check "recipes and their folders" "$(lines "line 3.toml" lines)" praxdl --port A1 apply li
check "apply's option" "$(lines --dry-run)" praxdl apply line.toml --dr
check "--version before a command only" "$(lines --version)" praxdl --v
check "nothing after --version's place" "" praxdl init --v
check "send takes any line" "" praxdl send ""
check "after -- no options" "" praxdl send -- --q
check "no command, no reply" "" praxdl bogus ""

if ((failures)); then
  echo "$failures completion case(s) failed"
  exit 1
fi
echo "all completion cases passed"
