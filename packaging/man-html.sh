#!/usr/bin/env bash
# man-html.sh PAGE.1 OUT.html: a man page as HTML (mandoc) for the Windows packages, which have no
# man. The page is rendered with its register WI set to 1, so that its Windows blocks stand where
# its Linux blocks stand in the man page. The references to the tool's other pages,
# "praxdl(1)", link to their files beside this one, and a line at the top leads back to the
# guide, index.html.
set -euo pipefail
{ printf '.nr WI 1\n'; cat "$1"; } | mandoc -Thtml |
    sed -E -e 's#<b>(praxdl|prax-download|prax-virtual-printer)</b>\(1\)#<a href="\1.html"><b>\1</b>(1)</a>#g' \
        -e 's#^<body>$#<body>\n<p><a href="index.html">PRAX Download Tool on Windows</a>: the guide and the manuals</p>#' \
        >"$2.tmp"
grep -q 'href="index.html"' "$2.tmp" || { echo "man-html.sh: mandoc wrote no <body> line for the link to the guide" >&2; exit 1; }
mv "$2.tmp" "$2"
