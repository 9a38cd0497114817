#!/usr/bin/env bash
# apply.sh PRAXDL.EXE: a recipe run on two COM ports at once, each a pty. Each port gets exactly
# the Linux praxdl's streams of the recipe's steps one after the other (the wait a pause between
# them), the JSON a result per printer and the summary last, the log a line per printer and step
# and one per printer for the recipe. A recipe with a wrong pin is refused whole, sending nothing.
. "$(dirname "$0")/wine-lib.sh"
praxdl=$1
work_dir apply
# The recipe in a folder of its own, named from the case's folder with a backslash: its files are
# found from the recipe's folder, written with / as on Linux or with \ as on Windows.
mkdir -p job/fw
make_image job/fw/x.bin 70001 11
head -c 3000 "${PRAX_TEST_FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf}" >job/c.ttf
printf 'abc\001\002\r\nxyz\377' >job/t.tbl
steps='[[step]]
firmware = "fw/x.bin"
[[step]]
wait = "printer"
timeout = "300ms"
[[step]]
font-file = '\''fw\..\c.ttf'\''
name = "Corporate (TrueType)"
slot = "TB"
[[step]]
code-table = "t.tbl"
slot = "TC"
sha256 = "PIN"
[[step]]
send = ["^XA", "^FDWine^FS ^XZ"]
[[step]]
channel = "25"'
pin=$(sha256sum job/t.tbl | cut -c1-64)
printf 'name = "Two ports"\n%s\n' "${steps/PIN/$pin}" >job/two.toml
printf 'name = "Wrong pin"\n%s\n' "${steps/PIN/${pin//?/0}}" >job/wrong.toml

# The single runs' streams, from the recipe's folder as its paths are.
: >expected.bin
reference() {
    host_stream ../ref.bin "$@"
    cat ../ref.bin >>../expected.bin
}
cd job
reference firmware fw/x.bin
reference font --file c.ttf --name "Corporate (TrueType)" --slot TB
reference code-table t.tbl --slot TC
reference send "^XA" "^FDWine^FS ^XZ"
reference channel 25
cd ..

pty_reader com3.bin
com_port 3 "$pty"
reader3=$reader
pty_reader com4.bin
com_port 4 "$pty"
reader4=$reader
ports=(--port "COM3 115200" --port "COM4 115200")

# Refused before either port opens: whatever it sent would come before the good run's bytes.
wine_run wrong "$praxdl" "${ports[@]}" --json apply 'job\wrong.toml'
[ "$rc" -eq 2 ] && grep -q '"outcome":"usage","exit":2' wrong.out && grep -q 'nothing was sent' wrong.err ||
    { show wrong; fail "a recipe with a wrong pin: status $rc"; }
grep -q 'step 4 (code-table)' wrong.err || { show wrong; fail "the wrong pin is not named at its step"; }

wine_ok two "$praxdl" "${ports[@]}" --log log.json --json apply 'job\two.toml'
reader=$reader3 finish_reader com3.bin
reader=$reader4 finish_reader com4.bin
same_bytes expected.bin com3.bin "COM3: the recipe's streams"
same_bytes expected.bin com4.bin "COM4: the recipe's streams"

text_of two.out >two.json
text_of log.json >log.txt
perl -MJSON::PP -e '
    my ($out, $log) = @ARGV;
    my @events = map { decode_json($_) } do { open my $f, "<", $out or die; <$f> };
    my @records = map { decode_json($_) } do { open my $f, "<", $log or die; <$f> };
    my @problems;
    my $last = $events[-1];
    push @problems, "the last object is no summary of 2 done" unless
        $last->{event} eq "summary" && $last->{done} == 2 && $last->{failed} == 0 && $last->{exit} == 0;
    for my $port ("COM3", "COM4") {
        my @results = grep { $_->{event} eq "result" && $_->{connection} =~ /^\Q$port\E\b/ } @events;
        push @problems, "$port: " . @results . " results" unless @results == 1;
        push @problems, "$port: result not done with stepsDone 6 of 6" unless @results &&
            $results[0]{operation} eq "apply" && $results[0]{steps} == 6 && $results[0]{stepsDone} == 6;
        my @mine = grep { $_->{connection} =~ /^\Q$port\E\b/ } @records;
        for my $i (1 .. 6) {
            my $n = grep { ($_->{step} // 0) == $i && $_->{command} ne "apply" && $_->{outcome} eq "done" &&
                           $_->{recipe} eq "Two ports" } @mine;
            push @problems, "$port: $n log lines for step $i" unless $n == 1;
        }
        my @recipe = grep { $_->{command} eq "apply" } @mine;
        push @problems, "$port: " . @recipe . " log lines for the recipe" unless @recipe == 1 &&
            $recipe[0]{stepsDone} == 6 && $recipe[0]{input} =~ /two\.toml$/;
        push @problems, "$port: " . @mine . " log lines in all" unless @mine == 7;
    }
    push @problems, @records . " log lines, not 14" unless @records == 14;
    print map { "$_\n" } @problems;
    exit(@problems ? 1 : 0);
' two.json log.txt >checks.txt || { cat two.json log.txt checks.txt >&2; fail "the JSON or the log: $(cat checks.txt)"; }

# --output of the whole recipe is the same stream.
wine_ok output "$praxdl" --quiet --output all.bin apply 'job\two.toml'
same_bytes expected.bin all.bin "--output apply"
echo "apply: COM3 and COM4 each received the $(stat -c %s com3.bin) bytes of the recipe's six steps; the wrong pin sent nothing"
