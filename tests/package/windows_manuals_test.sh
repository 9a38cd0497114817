#!/usr/bin/env bash
# The manuals from one source: each man page rendered as the Windows packages render it
# (packaging/man-html.sh) speaks of Windows only, has its Windows text and leads back to the
# guide; the same page read by man keeps its Linux text and shows none of the Windows blocks.
# The guide, index.html, is held to the same words. Usage: windows_manuals_test.sh PACKAGING_DIR
set -uo pipefail
packaging=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
command -v mandoc >/dev/null || { echo "mandoc is not installed (scripts/setup.sh)"; exit 77; }

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
flat() { tr -s ' \t\n' '   ' <"${1:-/dev/stdin}"; }

# Words that only mean something on Linux: device paths, groups, signals, the man command, the
# Linux window's toolkit and its settings, Linux packages.
linux_only='/dev/|dialout|sudo|\bQt|QT_QPA|SIG(INT|TERM|HUP)|\bman |usblp|udev|PRAX_(COM|LPT|SYSFS|DEV)|fonts-liberation|\$USER'

# page|a line of the Windows page|a line of the Linux page: each page has its own and not the other's.
while IFS='|' read -r page windows linux; do
    html=$scratch/$page.html
    bash "$packaging/man-html.sh" "$packaging/$page.1" "$html" || { fail "$page: man-html.sh failed"; continue; }
    if grep -nE "$linux_only" "$html" >"$scratch/found"; then
        fail "$page.html speaks of Linux: $(head -n 3 "$scratch/found" | tr '\n' ' ')"
    fi
    grep -qF '<a href="index.html">' "$html" || fail "$page.html does not lead back to index.html"
    # The texts as one line each, so that a phrase is found wherever the lines were broken. What
    # man shows is the page as it is, without the register set.
    flat "$html" >"$scratch/$page.html.flat"
    mandoc -Tascii "$packaging/$page.1" | col -b | flat >"$scratch/$page.man.flat"
    grep -qF -- "$windows" "$scratch/$page.html.flat" || fail "$page.html lacks \"$windows\""
    ! grep -qF -- "$linux" "$scratch/$page.html.flat" || fail "$page.html has the Linux \"$linux\""
    grep -qF -- "$linux" "$scratch/$page.man.flat" || fail "$page.1 as man shows it lacks \"$linux\""
    ! grep -qF -- "$windows" "$scratch/$page.man.flat" || fail "$page.1 as man shows it has the Windows \"$windows\""
done <<'PAGES'
praxdl|praxdl --device COM12 firmware printer.bin|praxdl --device /dev/ttyUSB0 firmware printer.bin
prax-download|Device Manager shows under|sudo adduser $USER dialout lp
prax-virtual-printer|By default it listens on 127.0.0.1:9100|By default it opens a pseudo-terminal pair
PAGES

# The guide the manuals lead back to, the README's section for Windows users: Windows' words too.
if command -v cmark >/dev/null; then
    bash "$packaging/windows-index.sh" "$packaging/../README.md" 0 "$scratch/index.html" || fail "windows-index.sh failed"
    if grep -nE "$linux_only" "$scratch/index.html" >"$scratch/found"; then
        fail "index.html speaks of Linux: $(head -n 3 "$scratch/found" | tr '\n' ' ')"
    fi
fi

[ "$failures" -eq 0 ] || exit 1
echo "windows manuals: 3 pages, Windows words only, each leading back to the guide"
