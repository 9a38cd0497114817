#!/usr/bin/env bash
# unit.sh TESTS.EXE: a GoogleTest program of the Windows build passes under Wine. Its output is
# kept in a file and shown when it does not.
. "$(dirname "$0")/wine-lib.sh"
exe=$1
name=$(basename "$exe" .exe)
work_dir "unit-$name"

wine_run "$name" "$exe" --gtest_color=no
passed=$(text_of "$name.out" | sed -n 's/^\[  PASSED  \] \([0-9][0-9]*\) tests\{0,1\}\.$/\1/p')
failed=$(text_of "$name.out" | grep -c '^\[  FAILED  \]' || true)
ran=$(text_of "$name.out" | sed -n 's/^\[==========\] \([0-9][0-9]*\) tests\{0,1\} from .* ran\..*$/\1/p')
if [ "$rc" -ne 0 ] || [ -z "$passed" ] || [ "$passed" -eq 0 ] || [ "$failed" -ne 0 ] || [ "$passed" != "$ran" ]; then
    show "$name"
    fail "$name under Wine: status $rc, ${passed:-no} tests passed of ${ran:-?}, $failed FAILED lines"
fi
echo "$name: all $passed tests passed under Wine"
