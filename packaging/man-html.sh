#!/usr/bin/env bash
# man-html.sh PAGE.1 OUT.html: a man page as HTML (mandoc), for a system without man. The
# references to the tool's other pages, "praxdl(1)", link to their files beside this one.
set -euo pipefail
mandoc -Thtml "$1" |
    sed -E 's#<b>(praxdl|prax-download|prax-virtual-printer)</b>\(1\)#<a href="\1.html"><b>\1</b>(1)</a>#g' >"$2.tmp"
mv "$2.tmp" "$2"
