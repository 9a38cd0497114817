// The decoder against byte streams built here, piece by piece, from the documented format.
#include "tools/virtual-printer/Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using prax::vprinter::Crc16Modbus;
using prax::vprinter::Crc16ModbusBitwise;
using prax::vprinter::Decoder;
using Lines = std::vector<std::string>;

const std::uint8_t* U(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

std::string Ramp() {
    std::string s;
    for (int i = 0; i < 128; ++i) s += static_cast<char>(i);
    return s;
}

// The register keeps the CRC byte-swapped and goes out high byte first: CRC low byte, then high.
std::string Trailer(const std::string& body) {
    const std::uint16_t crc = Crc16ModbusBitwise(U(body), body.size());
    return {static_cast<char>(crc & 0xFF), static_cast<char>(crc >> 8)};
}

std::string RegisterHex(const std::string& body) {
    const std::uint16_t crc = Crc16ModbusBitwise(U(body), body.size());
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X%02X", crc & 0xFF, crc >> 8);
    return buf;
}

std::string FirmwareHead(std::size_t size) {
    return std::string(20, '\r') + "~O\r\nZENTA_FW_MARK_STRING,\r\nD0," + std::to_string(size) + "\r\n" + "\r\r";
}

std::string FirmwareStream(const std::string& body) { return FirmwareHead(body.size()) + body + Trailer(body) + Ramp(); }

std::string DlModeStream(const std::string& body) {
    return std::string(5, '\r') + std::string(20, '\r') + "\r\n~~INTERNALCOMMANDU,UPDATADLMODE," +
           std::to_string(body.size()) + "\r" + body + Trailer(body) + Ramp();
}

Lines Decode(const std::string& stream) {
    Lines lines;
    Decoder d([&](const std::string& l) { lines.push_back(l); });
    d.Feed(U(stream), stream.size());
    d.Finish();
    return lines;
}

// Fed in random small slices; must read exactly as fed in one piece.
Lines DecodeSliced(const std::string& stream, unsigned seed, std::size_t maxSlice = 40) {
    Lines lines;
    Decoder d([&](const std::string& l) { lines.push_back(l); });
    std::mt19937 rng(seed);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min<std::size_t>(stream.size() - at, 1 + rng() % maxSlice);
        d.Feed(U(stream) + at, n);
        at += n;
    }
    d.Finish();
    return lines;
}

void ExpectSame(const std::string& stream, const Lines& expected) {
    EXPECT_EQ(Decode(stream), expected);
    EXPECT_EQ(DecodeSliced(stream, 1), expected);
    EXPECT_EQ(DecodeSliced(stream, 2, 3), expected);
    EXPECT_EQ(DecodeSliced(stream, 3, 1), expected);
}

TEST(Crc, CheckValues) {
    const std::string check = "123456789", abc = "abc";
    EXPECT_EQ(Crc16ModbusBitwise(U(check), check.size()), 0x4B37);
    EXPECT_EQ(RegisterHex(check), "374B");
    EXPECT_EQ(Trailer(check), std::string("\x37\x4B"));
    EXPECT_EQ(RegisterHex(abc), "4957");
    EXPECT_EQ(RegisterHex(""), "FFFF");
}

TEST(Crc, TableMatchesBitwise) {
    for (std::size_t n : {0u, 1u, 2u, 255u, 256u, 4097u}) {
        const std::string data = RandomBytes(n, static_cast<unsigned>(n));
        EXPECT_EQ(Crc16Modbus(U(data), n), Crc16ModbusBitwise(U(data), n)) << n;
        // Resumed half way, as the decoder does from one read to the next.
        const std::uint16_t half = Crc16Modbus(U(data), n / 2);
        EXPECT_EQ(Crc16Modbus(U(data) + n / 2, n - n / 2, half), Crc16ModbusBitwise(U(data), n)) << n;
    }
}

TEST(Firmware, GoodTrailerAtEverySize) {
    for (std::size_t n : {0u, 1u, 511u, 512u, 513u, 3000u, 4099u}) {
        const std::string body = RandomBytes(n, static_cast<unsigned>(n) + 7);
        SCOPED_TRACE(n);
        ExpectSame(FirmwareStream(body),
                   {"wake-up run: 20 CR",
                    "firmware image: size " + std::to_string(n) + ", received " + std::to_string(n) + ", CRC " +
                        RegisterHex(body) + " matches",
                    "closing ramp: 128 bytes"});
    }
}

TEST(Firmware, KnownBodyAndEmptyBody) {
    EXPECT_EQ(Decode(FirmwareStream("123456789"))[1], "firmware image: size 9, received 9, CRC 374B matches");
    EXPECT_EQ(Decode(FirmwareStream(""))[1], "firmware image: size 0, received 0, CRC FFFF matches");
}

TEST(Firmware, BadTrailer) {
    for (std::size_t n : {0u, 1u, 512u, 2000u}) {
        const std::string body = RandomBytes(n, static_cast<unsigned>(n) + 11);
        std::string trailer = Trailer(body);
        trailer[1] = static_cast<char>(trailer[1] ^ 0x01);
        char sent[8];
        std::snprintf(sent, sizeof sent, "%02X%02X", static_cast<std::uint8_t>(trailer[0]),
                      static_cast<std::uint8_t>(trailer[1]));
        SCOPED_TRACE(n);
        ExpectSame(FirmwareHead(n) + body + trailer + Ramp(),
                   {"wake-up run: 20 CR",
                    "firmware image: size " + std::to_string(n) + ", received " + std::to_string(n) +
                        ", CRC mismatch (trailer " + sent + ", body " + RegisterHex(body) + ")",
                    "closing ramp: 128 bytes"});
    }
}

TEST(Firmware, Truncated) {
    const std::string body = RandomBytes(4096, 5);
    ExpectSame(FirmwareHead(4096) + body.substr(0, 1500),
               {"wake-up run: 20 CR", "firmware image: size 4096, received 1500, incomplete"});
    ExpectSame(FirmwareHead(4096) + body + Trailer(body).substr(0, 1),
               {"wake-up run: 20 CR", "firmware image: size 4096, received 4096, trailer incomplete"});
    ExpectSame(FirmwareHead(4096).substr(0, 60), {"wake-up run: 20 CR", "firmware image: size 4096, received 0, incomplete"});
    ExpectSame(FirmwareStream(body).substr(0, FirmwareHead(4096).size() + 4096 + 2 + 57),
               {"wake-up run: 20 CR",
                "firmware image: size 4096, received 4096, CRC " + RegisterHex(body) + " matches",
                "closing ramp: 57 bytes, incomplete"});
}

TEST(Firmware, BrokenHeaderFallsBackToCommandLines) {
    ExpectSame("~O\r\n^default\r\n", {"command: ~O", "command: ^default"});
    ExpectSame("~O\r\nZENTA_FW_MARK_STRING,\r\nDx\r\n",
               {"command: ~O", "command: ZENTA_FW_MARK_STRING,", "command: Dx"});
}

TEST(DownloadMode, ImageWithItsCommand) {
    for (std::size_t n : {0u, 1u, 512u, 1000u}) {
        std::string body = RandomBytes(n, static_cast<unsigned>(n) + 3);
        if (n > 0) body[0] = '\n';  // the body follows the command's lone CR directly
        SCOPED_TRACE(n);
        ExpectSame(DlModeStream(body),
                   {"wake-up run: 25 CR",
                    "download-mode image: size " + std::to_string(n) + ", received " + std::to_string(n) +
                        ", CRC " + RegisterHex(body) + " matches",
                    "closing ramp: 128 bytes"});
    }
}

// What a printer restarts after: an image that came whole with its CRC, of either kind. A halt
// in the line handler drops every byte after that item, in this Feed and the next.
TEST(TakenImage, OnlyAWholeImageWithItsCrcAndHaltDropsWhatFollows) {
    const std::string body = RandomBytes(300, 21);
    std::string badCrc = FirmwareHead(300) + body + Trailer(body);
    badCrc[badCrc.size() - 1] = static_cast<char>(badCrc.back() ^ 0x01);
    const struct {
        std::string stream;
        bool taken;
    } cases[] = {
        {FirmwareHead(300) + body + Trailer(body), true},
        {DlModeStream(body).substr(0, DlModeStream(body).size() - 128), true},
        {badCrc, false},
        {"\r\n~H,TTF,BArial (TrueType),300\r" + body, false},
    };
    for (const auto& c : cases) {
        Lines lines;
        Decoder* self = nullptr;
        Decoder d([&](const std::string& l) {
            lines.push_back(l);
            if (self->ItemIsTakenImage()) {
                lines.push_back("(taken)");
                self->Halt();
            }
        });
        self = &d;
        const std::string stream = c.stream + "^next\r\n";
        d.Feed(U(stream), stream.size() - 3);
        d.Feed(U(stream) + stream.size() - 3, 3);
        d.Finish();
        SCOPED_TRACE(lines.empty() ? "" : lines.back());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.taken ? "(taken)" : "command: ^next");
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "(taken)"), c.taken ? 1 : 0);
    }
}

TEST(Commands, PrinterCommandsAndTypedLines) {
    ExpectSame("^default\r\n^D1,5\r\n~~INTERNALCOMMANDCA\r\nhello world\r\n\r\nlast\r\n",
               {"command: ^default", "command: ^D1,5", "command: ~~INTERNALCOMMANDCA", "command: hello world",
                "command: ", "command: last"});
    ExpectSame("\r\n", {"command: "});
    ExpectSame("\r\r\r^default\r\n", {"wake-up run: 3 CR", "command: ^default"});
    ExpectSame("\r\r\r\n", {"wake-up run: 2 CR", "command: "});
    ExpectSame("abc", {"unterminated line: abc"});
}

TEST(Fonts, TrueTypeAndCodeTable) {
    const std::string font = "\n" + RandomBytes(1299, 9), table = RandomBytes(1024, 10);
    ExpectSame("\r\n~H,TTF,BArial (TrueType),1300\r" + font + "^default\r\n",
               {"font download: slot B, name \"Arial (TrueType)\", size 1300, received 1300, complete",
                "command: ^default"});
    ExpectSame("\r\n~H,TTF_TABLE,Abig5.table,1024\r" + table,
               {"code-table download: slot A, name \"big5.table\", size 1024, received 1024, complete"});
    ExpectSame("\r\n~H,TTF,ZA, B (TrueType),0\r\r\n",
               {"font download: slot Z, name \"A, B (TrueType)\", size 0, received 0, complete", "command: "});
    ExpectSame("\r\n~H,TTF,BArial (TrueType),1300\r" + font.substr(0, 700),
               {"font download: slot B, name \"Arial (TrueType)\", size 1300, received 700, incomplete"});
}

TEST(Settings, ChannelSequenceAndReadToggle) {
    ExpectSame(std::string("\x10\x04\r") + "pw=1234\r" + "chan=25\r" + "hop=0\r" + "txp0=350\r" + "txp3=350\r",
               {"settings: <DLE><EOT>", "settings: pw=1234", "settings: chan=25", "settings: hop=0",
                "settings: txp0=350", "settings: txp3=350"});
    // The toggle's stop is a lone CR after the settings lines; any longer run stays a wake-up run.
    ExpectSame(std::string("\x10\x04\r") + "rl\r" + "\r",
               {"settings: <DLE><EOT>", "settings: rl", "settings: (empty line)"});
    ExpectSame("rl\r\r\r^default\r\n", {"settings: rl", "wake-up run: 2 CR", "command: ^default"});
    ExpectSame("^default\r\n\r", {"command: ^default", "wake-up run: 1 CR"});
    ExpectSame("\r", {"wake-up run: 1 CR"});
}

// Each item carries the offset just past its own last byte, however late it was decided: by
// the next byte, by a pause, or by the end of input; and wherever the reads were cut.
TEST(ItemEnd, NamesTheItemsOwnLastByte) {
    const std::string fw = "123456789";
    const std::size_t fwImageEnd = FirmwareHead(9).size() + 9 + 2;
    struct Case {
        std::string stream;
        Lines expected;  // "line @ end"
        bool pausesAnywhere = false;  // a pause after any byte changes nothing
    } cases[] = {
        {std::string("\x10\x04\r") + "pw=1234\r" + "chan=25\r" + "hop=0\r" + "txp0=350\r" + "txp3=350\r",
         {"settings: <DLE><EOT> @ 3", "settings: pw=1234 @ 11", "settings: chan=25 @ 19", "settings: hop=0 @ 25",
          "settings: txp0=350 @ 34", "settings: txp3=350 @ 43"},
         true},
        {std::string("\x10\x04\r") + "rl\r" + "\r",
         {"settings: <DLE><EOT> @ 3", "settings: rl @ 6", "settings: (empty line) @ 7"},
         true},
        {"rl\r\r\r\r\n~O\r\nZENTA_FW_MARK_STRING,\r\n^x\r\n",
         {"settings: rl @ 3", "wake-up run: 2 CR @ 5", "command:  @ 7", "command: ~O @ 11",
          "command: ZENTA_FW_MARK_STRING, @ 34", "command: ^x @ 38"}},
        {FirmwareStream(fw),
         {"wake-up run: 20 CR @ 20", "firmware image: size 9, received 9, CRC 374B matches @ " + std::to_string(fwImageEnd),
          "closing ramp: 128 bytes @ " + std::to_string(fwImageEnd + 128)}},
        {"\x01\x02\r\r\r^default\r\n\x01", {"unknown bytes: 2 @ 2", "wake-up run: 3 CR @ 5", "command: ^default @ 15",
                                            "unknown bytes: 1 @ 16"}},
        {"ab\x01\r\r^d\r\n\rhop=0\r", {"unknown bytes: 3 @ 3", "wake-up run: 2 CR @ 5", "command: ^d @ 9",
                                        "wake-up run: 1 CR @ 10", "settings: hop=0 @ 16"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream);
        // Whole; one byte at a time; one byte at a time with a pause after each.
        for (int way = 0; way < (c.pausesAnywhere ? 3 : 2); ++way) {
            Lines lines;
            Decoder* d = nullptr;
            Decoder decoder([&](const std::string& l) { lines.push_back(l + " @ " + std::to_string(d->ItemEnd())); });
            d = &decoder;
            if (way == 0) decoder.Feed(U(c.stream), c.stream.size());
            for (std::size_t i = 0; way > 0 && i < c.stream.size(); ++i) {
                decoder.Feed(U(c.stream) + i, 1);
                if (way == 2) decoder.Idle();
            }
            decoder.Finish();
            EXPECT_EQ(lines, c.expected) << "way " << way;
        }
    }
}

TEST(Settings, AnyOtherLineEndingInALoneCrIsUnknown) {
    ExpectSame("hello world\r^default\r\n", {"unknown bytes: 12", "command: ^default"});
    ExpectSame("\x10\x04\r\n", {"unknown bytes: 4"});
}

// A pause of the sender settles what waits for the next byte, and nothing else.
TEST(Idle, SettlesPendingItems) {
    Lines lines;
    Decoder d([&](const std::string& l) { lines.push_back(l); });
    auto feed = [&](const std::string& s) { d.Feed(U(s), s.size()); };
    feed("\x10\x04\rrl\r");
    d.Idle();
    EXPECT_EQ(lines, (Lines{"settings: <DLE><EOT>", "settings: rl"}));
    feed("\r");
    d.Idle();
    feed("\r\n");
    d.Idle();
    EXPECT_EQ(lines, (Lines{"settings: <DLE><EOT>", "settings: rl", "settings: (empty line)", "command: "}));
    lines.clear();
    feed("^defa");
    d.Idle();
    feed("ult\r\n" + FirmwareHead(10) + "12345");
    d.Idle();
    EXPECT_EQ(lines, (Lines{"command: ^default", "wake-up run: 20 CR"}));
    feed("67890" + Trailer("1234567890"));
    EXPECT_EQ(lines.back(), "firmware image: size 10, received 10, CRC " + RegisterHex("1234567890") + " matches");
}

// A pause ends undecodable bytes (a raw file) as an item of their own, its text tail included;
// inside an image, its trailer, the header's end or the ramp a pause changes nothing.
TEST(Idle, EndsUnknownBytesButNoFramedItem) {
    auto noise = [](std::size_t n, unsigned seed) {
        std::string s = RandomBytes(n, seed);
        std::replace(s.begin(), s.end(), '~', 'x');  // no header inside
        std::replace(s.begin(), s.end(), '\0', '\x01');  // no ramp start
        return s;
    };
    const std::string body = "1234567890", head = FirmwareHead(10), tail = Trailer(body) + Ramp();
    const std::size_t fwEnd = head.size() + 12;
    struct Case {
        std::vector<std::string> pieces;  // a pause after each
        Lines expected;                   // "line @ end"
    } cases[] = {
        {{noise(4099, 5), noise(1000, 6)}, {"unknown bytes: 4099 @ 4099", "unknown bytes: 1000 @ 5099"}},
        {{noise(300, 7) + "\r\nEND", "^default\r\n"}, {"unknown bytes: 305 @ 305", "command: ^default @ 315"}},
        {{"\r\n~H,TTF,AX,600\r" + noise(300, 8), noise(300, 9)},
         {"font download: slot A, name \"X\", size 600, received 600, complete @ 616"}},
        {{head.substr(0, head.size() - 1), "\r" + body + tail[0], tail.substr(1, 60), tail.substr(61)},
         {"wake-up run: 20 CR @ 20", "firmware image: size 10, received 10, CRC " + RegisterHex(body) + " matches @ " +
                                         std::to_string(fwEnd),
          "closing ramp: 128 bytes @ " + std::to_string(fwEnd + 128)}},
    };
    for (const Case& c : cases) {
        Lines lines;
        Decoder* d = nullptr;
        Decoder decoder([&](const std::string& l) { lines.push_back(l + " @ " + std::to_string(d->ItemEnd())); });
        d = &decoder;
        for (const std::string& piece : c.pieces) {
            decoder.Feed(U(piece), piece.size());
            decoder.Idle();
        }
        EXPECT_EQ(lines, c.expected) << c.pieces[0].size();
    }
}

TEST(Unknown, RecoversAtTheNextLine) {
    ExpectSame("\x01\x02\x03\r\n^default\r\n", {"unknown bytes: 5", "command: ^default"});
    std::string noise = RandomBytes(5000, 4);
    std::replace(noise.begin(), noise.end(), '~', 'x');  // no header may start inside the noise
    // Stray CRs, NULs and line ends inside the noise stay part of it.
    ExpectSame(noise + "\r\n^default\r\n", {"unknown bytes: 5002", "command: ^default"});
    ExpectSame(noise + std::string(20, '\r') + "^default\r\n",
               {"unknown bytes: 5000", "wake-up run: 20 CR", "command: ^default"});
}

TEST(Sessions, OneStreamAfterAnother) {
    const std::string fw = RandomBytes(2048, 12), dl = RandomBytes(700, 13);
    const std::string stream = "^default\r\n" + FirmwareStream(fw) + DlModeStream(dl) + "~~INTERNALCOMMANDCA\r\n" +
                               "\r\n~H,TTF,CFoo (TrueType),3\r\n\r\n" + FirmwareStream(fw);
    const std::string good = "firmware image: size 2048, received 2048, CRC " + RegisterHex(fw) + " matches";
    ExpectSame(stream,
               {"command: ^default", "wake-up run: 20 CR", good, "closing ramp: 128 bytes", "wake-up run: 25 CR",
                "download-mode image: size 700, received 700, CRC " + RegisterHex(dl) + " matches",
                "closing ramp: 128 bytes", "command: ~~INTERNALCOMMANDCA",
                "font download: slot C, name \"Foo (TrueType)\", size 3, received 3, complete", "wake-up run: 20 CR",
                good, "closing ramp: 128 bytes"});
}

class Collect : public prax::vprinter::PayloadSink {
public:
    void Begin(std::string_view kind) override { payloads.push_back({std::string(kind), ""}); }
    void Data(const std::uint8_t* p, std::size_t n) override { payloads.back().second.append(reinterpret_cast<const char*>(p), n); }
    void End() override { ++ended; }
    std::vector<std::pair<std::string, std::string>> payloads;
    int ended = 0;
};

TEST(Payloads, ReachTheSinkUnchanged) {
    const std::string fw = RandomBytes(3000, 14), font = RandomBytes(600, 15);
    Collect sink;
    Decoder d([](const std::string&) {}, &sink);
    const std::string stream = FirmwareStream(fw) + "\r\n~H,TTF,AX,600\r" + font;
    for (std::size_t at = 0; at < stream.size(); at += 333) d.Feed(U(stream) + at, std::min<std::size_t>(333, stream.size() - at));
    d.Finish();
    ASSERT_EQ(sink.payloads.size(), 2u);
    EXPECT_EQ(sink.payloads[0], std::make_pair(std::string("firmware"), fw));
    EXPECT_EQ(sink.payloads[1], std::make_pair(std::string("font"), font));
    EXPECT_EQ(sink.ended, 2);
    EXPECT_EQ(d.BytesFed(), stream.size());
}

}  // namespace
