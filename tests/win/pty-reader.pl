#!/usr/bin/perl
# The printer's end of a pty pair, keeping every byte as it came: prints the device path as its
# first line, then appends what arrives to FILE unchanged. SIGUSR1 says the sender is done: what
# is still queued is taken (until nothing came for a moment) and the reader ends. It ends by
# itself after LIMIT seconds whatever happens, with status 3.
use strict;
use warnings;
use Fcntl;
use POSIX ();

my ($out, $limit) = @ARGV;
die "usage: pty-reader.pl FILE LIMIT-SECONDS\n" unless defined $limit;

# Linux's ioctls behind unlockpt() and ptsname(), which Perl itself does not offer.
use constant { TIOCSPTLCK => 0x40045431, TIOCGPTN => 0x80045430 };

sysopen(my $master, "/dev/ptmx", O_RDWR | O_NOCTTY) or die "ptmx: $!\n";
my $unlock = pack("i", 0);
ioctl($master, TIOCSPTLCK, $unlock) or die "unlock: $!\n";
my $number = pack("I", 0);
ioctl($master, TIOCGPTN, $number) or die "pty number: $!\n";
my $device = "/dev/pts/" . unpack("I", $number);

# Held open here, so the master never sees a hang-up between the sender's opens; raw, so no
# line discipline changes a byte on its way.
sysopen(my $holder, $device, O_RDWR | O_NOCTTY) or die "$device: $!\n";
for my $fd (fileno($holder), fileno($master)) {
    my $t = POSIX::Termios->new;
    $t->getattr($fd) or die "tcgetattr: $!\n";
    $t->setiflag($t->getiflag & ~(POSIX::IGNBRK | POSIX::BRKINT | POSIX::PARMRK | POSIX::ISTRIP |
                                  POSIX::INLCR | POSIX::IGNCR | POSIX::ICRNL | POSIX::IXON));
    $t->setoflag($t->getoflag & ~POSIX::OPOST);
    $t->setlflag($t->getlflag & ~(POSIX::ECHO | POSIX::ECHONL | POSIX::ICANON | POSIX::ISIG | POSIX::IEXTEN));
    $t->setcflag(($t->getcflag & ~(POSIX::CSIZE | POSIX::PARENB)) | POSIX::CS8);
    $t->setattr($fd, POSIX::TCSANOW) or die "tcsetattr: $!\n";
}

open(my $file, ">", $out) or die "$out: $!\n";
binmode $file;
$| = 1;
print "$device\n";

my $done = 0;
$SIG{USR1} = sub { $done = 1 };
$SIG{TERM} = sub { exit 4 };
my $deadline = time + $limit;
while (1) {
    exit 3 if time > $deadline;
    my $in = "";
    vec($in, fileno($master), 1) = 1;
    my $ready = select(my $r = $in, undef, undef, 0.2);
    if ($ready > 0) {
        my $n = sysread($master, my $buf, 65536);
        if (!defined $n) {
            next if $!{EINTR} || $!{EAGAIN};
            die "read: $!\n";
        }
        last if $n == 0;
        syswrite($file, $buf) == $n or die "$out: $!\n";
    } elsif ($done) {
        last;  # told the sender is done, and a quiet moment passed
    }
}
close($file) or die "$out: $!\n";
