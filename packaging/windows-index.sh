#!/usr/bin/env bash
# windows-index.sh README VERSION OUT: the front page of the Windows documentation, the README's
# section for Windows users rendered to HTML (cmark), with the manuals beside it linked below.
set -euo pipefail
readme=$1 version=$2 out=$3
# From "## Windows" to the next heading of that level; "## " inside a fenced block is a shell
# comment, not a heading.
section=$(awk '
    /^```/ { fenced = !fenced }
    !fenced && /^## / { if (inside) exit; if ($0 == "## Windows") { inside = 1; next } }
    inside { print }' "$readme")
[ -n "$section" ] || { echo "windows-index.sh: $readme has no \"## Windows\" section" >&2; exit 1; }
body=$(printf '%s\n' "$section" | cmark --to html)
{
    cat <<HEAD
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>PRAX Download Tool $version on Windows</title>
<style>
body { font-family: "Segoe UI", Arial, sans-serif; max-width: 50em; margin: 2em auto; padding: 0 1em; line-height: 1.45; }
code, pre { font-family: Consolas, "Courier New", monospace; }
pre { background: #f4f4f4; padding: 0.6em 0.8em; overflow-x: auto; }
</style>
</head>
<body>
<h1>PRAX Download Tool $version on Windows</h1>
HEAD
    printf '%s\n' "$body"
    cat <<'FOOT'
<h2>Manuals</h2>
<ul>
<li><a href="prax-download.html">prax-download</a>: the window</li>
<li><a href="praxdl.html">praxdl</a>: the command line, every command, option and exit status</li>
<li><a href="prax-virtual-printer.html">prax-virtual-printer</a>: the virtual printer</li>
</ul>
<p>The licence is in LICENSE.txt, in the folder above this one.</p>
</body>
</html>
FOOT
} >"$out"
