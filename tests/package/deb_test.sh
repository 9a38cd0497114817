#!/usr/bin/env bash
# The Debian package as a user gets it: made by cpack into a scratch folder, checked with
# dpkg-deb, unpacked, and its programs run from there.
# Usage: deb_test.sh BUILD_DIR VERSION GUI(0|1)
set -uo pipefail
build=$1 version=$2 gui=$3
source_dir=$(realpath "$(dirname "$0")/../..")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! (cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1); then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
deb=$scratch/out/prax-download-tool_${version}_$(dpkg --print-architecture).deb
made=$(cd "$scratch/out" && ls -- *.deb)
if [ ! -f "$deb" ] || [ "$made" != "$(basename "$deb")" ]; then
  echo "FAIL: expected only $(basename "$deb"), cpack made: $made"
  exit 1
fi

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
for pair in "Package=prax-download-tool" "Version=$version" "Section=utils" \
  "Recommends=fonts-liberation" "Suggests=bash-completion"; do
  [ "$(field "${pair%%=*}")" = "${pair#*=}" ] || fail "${pair%%=*} is \"$(field "${pair%%=*}")\", not \"${pair#*=}\""
done
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
# What dpkg-shlibdeps found the programs to need, each with a version bound.
depends=$(field Depends)
libraries=(libc6 libstdc++6 libfontconfig1)
[ "$gui" = 1 ] && libraries+=(libqt6core6 libqt6gui6 libqt6widgets6)
IFS=, read -ra entries <<<"$depends"
for lib in "${libraries[@]}"; do
  found=""
  for entry in "${entries[@]}"; do
    [[ ${entry# } == "$lib (>= "*")" ]] && found=1
  done
  [ -n "$found" ] || fail "Depends has no versioned $lib: $depends"
done

# Exactly these files, owned by root, programs executable by everyone and nothing else writable.
expected=(
  ./usr/bin/praxdl
  ./usr/bin/prax-virtual-printer
  ./usr/share/bash-completion/completions/praxdl
  ./usr/share/man/man1/praxdl.1.gz
  ./usr/share/man/man1/prax-virtual-printer.1.gz
  ./usr/share/doc/prax-download-tool/copyright
  ./usr/share/doc/prax-download-tool/examples/example-recipe.toml
)
if [ "$gui" = 1 ]; then
  expected+=(
    ./usr/bin/prax-download
    ./usr/share/applications/prax-download.desktop
    ./usr/share/icons/hicolor/scalable/apps/prax-download.svg
    ./usr/share/man/man1/prax-download.1.gz
  )
fi
dpkg-deb -c "$deb" >"$scratch/contents"
got=$(awk '$1 !~ /^d/ { print $6 }' "$scratch/contents" | LC_ALL=C sort)
want=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
[ "$got" = "$want" ] || fail "package contents differ:$(diff <(echo "$want") <(echo "$got") | sed 's/^/  /')"
awk '$2 != "root/root" { print "FAIL: not owned by root: " $0 }' "$scratch/contents" | grep . && failures=$((failures + 1))
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print "FAIL: folder mode: " $0 }
     $1 ~ /^-/ && $6 ~ /\/bin\// && $1 != "-rwxr-xr-x" { print "FAIL: program mode: " $0 }
     $1 ~ /^-/ && $6 !~ /\/bin\// && $1 != "-rw-r--r--" { print "FAIL: file mode: " $0 }' "$scratch/contents" |
  grep . && failures=$((failures + 1))

root=$scratch/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
share=$root/usr/share

# The installed files are the ones in the tree; man pages compressed and rendered without a
# warning.
cmp -s "$share/bash-completion/completions/praxdl" "$source_dir/packaging/praxdl.bash" || fail "completion file differs"
cmp -s "$share/doc/prax-download-tool/copyright" "$source_dir/LICENSE" || fail "the copyright file is not LICENSE"
example=$share/doc/prax-download-tool/examples/example-recipe.toml
cmp -s "$example" "$source_dir/packaging/example-recipe.toml" || fail "the example recipe differs"
pages=(praxdl prax-virtual-printer)
[ "$gui" = 1 ] && pages+=(prax-download)
for page in "${pages[@]}"; do
  gz=$share/man/man1/$page.1.gz
  gzip -dc "$gz" | cmp -s - "$source_dir/packaging/$page.1" || fail "$page.1.gz is not packaging/$page.1"
  if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
  fi
done
if [ "$gui" = 1 ]; then
  cmp -s "$share/icons/hicolor/scalable/apps/prax-download.svg" "$source_dir/packaging/prax-download.svg" ||
    fail "icon differs"
  desktop=$share/applications/prax-download.desktop
  grep -qx "Exec=prax-download" "$desktop" || fail "desktop entry: Exec is not prax-download"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" >"$scratch/validate" 2>&1 || fail "desktop-file-validate: $(cat "$scratch/validate")"
  fi
fi

# Every library the programs need is found on this host, and nothing was left with debug
# information.
for program in "$bin"/*; do
  # Through a file: grep -q stopping at the first match could end ldd by SIGPIPE, and the failed
  # pipeline (pipefail) would hide the missing library.
  ldd "$program" >"$scratch/ldd" 2>&1
  grep -q "not found" "$scratch/ldd" && fail "$(basename "$program"): $(grep "not found" "$scratch/ldd")"
  file_info=$(file -b "$program" 2>/dev/null || true)
  case $file_info in *"with debug_info"*) fail "$(basename "$program") is not stripped" ;; esac
done

# The installed programs run: the version, and a firmware stream of 4096 bytes that hold every
# byte value (CR, LF and NUL among them) written by praxdl and decoded by the virtual printer.
version_line=$("$bin/praxdl" --version 2>&1 | head -n 1)
[ "$version_line" = "praxdl $version" ] || fail "praxdl --version printed \"$version_line\", not \"praxdl $version\""

image=$scratch/image.bin
for _ in $(seq 16); do
  for i in $(seq 0 255); do printf "\\$(printf %03o "$i")"; done
done >"$image"
status=$("$bin/praxdl" --output "$scratch/stream.bin" --quiet firmware "$image" 2>"$scratch/praxdl.err")
code=$?
[ $code -eq 0 ] || fail "praxdl firmware exited $code: $(cat "$scratch/praxdl.err")"
# The image's CRC-16/MODBUS is 9ADB; the checksum register holds it byte-swapped.
crc=DB9A
[ "$status" = "4096 Bytes  CRC=$crc" ] || fail "praxdl firmware printed \"$status\""
{
  for _ in $(seq 20); do printf '\r'; done
  printf '~O\r\nZENTA_FW_MARK_STRING,\r\nD0,4096\r\n\r\r'
  cat "$image"
  printf "\\x${crc:0:2}\\x${crc:2:2}"
  for i in $(seq 0 127); do printf "\\$(printf %03o "$i")"; done
} >"$scratch/expected.bin"
cmp "$scratch/expected.bin" "$scratch/stream.bin" || fail "the firmware stream differs from wake-up run, header, image, CRC and ramp"
"$bin/prax-virtual-printer" --file "$scratch/stream.bin" --no-times >"$scratch/decoded" 2>&1 ||
  fail "prax-virtual-printer --file failed: $(cat "$scratch/decoded")"
for line in "wake-up run: 20 CR" "firmware image: size 4096, received 4096, CRC $crc matches"; do
  grep -qxF "$line" "$scratch/decoded" || fail "the virtual printer did not report \"$line\": $(cat "$scratch/decoded")"
done

# The example recipe as a user starts from it: copied, with stand-ins for the files it names (they
# are not shipped), it passes the whole check and plans every step it has.
mkdir "$scratch/line"
cp "$example" "$scratch/line/"
sed -nE 's/^(firmware|dl-firmware|font-file|code-table|raw) = "([^"]+)".*/\2/p' "$example" >"$scratch/named"
[ -s "$scratch/named" ] || fail "the example recipe names no file"
while IFS= read -r name; do head -c 3000 "$image" >"$scratch/line/$name"; done <"$scratch/named"
steps=$(grep -c '^\[\[step\]\]' "$example")
plan=$("$bin/praxdl" --json apply "$scratch/line/example-recipe.toml" --dry-run 2>"$scratch/plan.err")
code=$?
[ $code -eq 0 ] || fail "praxdl apply --dry-run on the example exited $code: $(cat "$scratch/plan.err")"
[ "$(grep -c '"event":"plan-step"' <<<"$plan")" = "$steps" ] && grep -q "\"event\":\"plan\",.*\"steps\":$steps," <<<"$plan" ||
  fail "the example's plan is not of its $steps steps: $plan"

if ((failures)); then
  echo "$failures package check(s) failed"
  exit 1
fi
echo "package $(basename "$deb") checked: $(stat -c %s "$deb") bytes"
