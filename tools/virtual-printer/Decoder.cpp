#include "tools/virtual-printer/Decoder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

namespace prax::vprinter {
namespace {

constexpr std::uint8_t CR = 0x0D, LF = 0x0A, DLE = 0x10, EOT = 0x04;
constexpr int kRampLength = 128;
constexpr std::size_t kMaxLine = 4096;  // longer "lines" are binary, not commands

constexpr std::string_view kDlModePrefix = "~~INTERNALCOMMANDU,UPDATADLMODE,";
constexpr std::string_view kFontPrefix = "~H,TTF,";
constexpr std::string_view kTablePrefix = "~H,TTF_TABLE,";
constexpr std::string_view kMarkLine = "ZENTA_FW_MARK_STRING,";

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t v = static_cast<std::uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) v = (v & 1) ? static_cast<std::uint16_t>((v >> 1) ^ 0xA001) : v >> 1;
        table[i] = v;
    }
    return table;
}
constexpr auto kCrcTable = MakeCrcTable();

bool IsControl(std::uint8_t b) { return b < 0x20 || b == 0x7F; }

// The device settings lines: "rl", or a lower-case name, "=" and a value ("chan=25", "pw=1234").
bool IsSettingsLine(std::string_view text) {
    if (text == "rl") return true;
    const std::size_t eq = text.find('=');
    if (eq == 0 || eq == std::string_view::npos || text[0] < 'a' || text[0] > 'z') return false;
    auto alnum = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(eq), alnum) &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(eq) + 1, text.end(), alnum);
}

// Sizes are decimal digits only: no sign, nothing after them. Anything else is not a header.
bool ParseSize(std::string_view text, std::uint64_t& size) {
    if (text.empty() || text.size() > 10) return false;
    size = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        size = size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return size <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
}

// A report line must stay one readable line, whatever the printer was sent.
std::string Printable(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == DLE) out += "<DLE>";
        else if (c == EOT) out += "<EOT>";
        else if (IsControl(c) || c >= 0x80) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<x%02X>", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

std::string Hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

}  // namespace

std::uint16_t Crc16ModbusBitwise(const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

std::uint16_t Crc16Modbus(const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
    for (std::size_t i = 0; i < length; ++i) crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
    return crc;
}

Decoder::Decoder(LineHandler onLine, PayloadSink* sink) : onLine_(std::move(onLine)), sink_(sink) {}

void Decoder::Feed(const std::uint8_t* p, std::size_t n) {
    while (n > 0 && !halted_) {
        switch (state_) {
        case State::Top:
            ++fed_;
            TopByte(*p++);
            --n;
            break;
        case State::Body: {
            // The hot path: a whole slice of the body at once, checksummed, never copied.
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - received_));
            if (body_ == Body::Firmware || body_ == Body::DlFirmware) crc_ = Crc16Modbus(p, take, crc_);
            if (sink_) sink_->Data(p, take);
            received_ += take;
            fed_ += take;
            p += take;
            n -= take;
            if (received_ == size_) BodyDone();
            break;
        }
        case State::Trailer:
            trailer_[count_++] = *p++;
            --n;
            ++fed_;
            if (count_ == 2) {
                const std::uint16_t reg = static_cast<std::uint16_t>((crc_ >> 8) | (crc_ << 8));
                const std::uint16_t sent = static_cast<std::uint16_t>((trailer_[0] << 8) | trailer_[1]);
                state_ = State::Top;
                takenImage_ = sent == reg;
                ReportPayload(sent == reg ? "CRC " + Hex4(reg) + " matches"
                                          : "CRC mismatch (trailer " + Hex4(sent) + ", body " + Hex4(reg) + ")");
                takenImage_ = false;
            }
            break;
        case State::HeaderEnd:
            if (*p != CR) {  // the two CRs are missing: no body follows that we could trust
                state_ = State::Top;
                ReportPayload("header end missing");
                break;
            }
            ++p;
            --n;
            ++fed_;
            if (++count_ == 2) StartBody(Body::Firmware, size_);
            break;
        case State::Ramp:
            if (*p == count_) {
                ++p;
                --n;
                ++fed_;
                if (++count_ == kRampLength) {
                    state_ = State::Top;
                    Emit("closing ramp: 128 bytes", fed_);
                }
                break;
            }
            // A lone 0x00 is more likely binary noise than a ramp cut short.
            state_ = State::Top;
            if (count_ == 1) AddUnknown(1, fed_);
            else Emit("closing ramp: " + std::to_string(count_) + " bytes, incomplete", fed_);
            break;
        }
    }
}

void Decoder::TopByte(std::uint8_t b) {
    if (lineCr_) {  // the line's CR came last: an LF makes it a command line, anything else a settings line
        lineCr_ = false;
        if (b == LF) return EndLine(true);
        if (b != CR || !LineBad(false)) {
            EndLine(false);
        } else {  // noise, then CRs: its CR is more likely the first of a wake-up run
            SettleRun(true);
            AddUnknown(lineLength_, lineEnd_ - 1);
            ResetLine();
            crRun_ = 1;
            crRunEnd_ = lineEnd_;
        }
    }
    if (b == CR) {
        if (lineLength_ == 0) {
            ++crRun_;
            crRunEnd_ = fed_;
        } else if (lineBad_ || !StartsBody(line_)) {
            lineCr_ = true;
            lineEnd_ = fed_;
        }
        return;
    }
    const bool crLf = b == LF && lineLength_ == 0 && crRun_ > 0;
    if (crLf) --crRun_, --crRunEnd_;  // the last CR of the run belongs to this CR LF
    if (lineLength_ == 0 && crRun_ > 0) {
        // Inside binary noise a stray CR is noise too: the line after it decides.
        if (unknown_ > 0) runBeforeLine_ = crRun_, runBeforeLineEnd_ = crRunEnd_, crRun_ = 0;
        else FlushRun();
    }
    if (crLf) return EndLine(true);
    if (lineLength_ == 0 && b == 0 && unknown_ == 0) {
        FlushHeld();
        state_ = State::Ramp;
        count_ = 1;
        return;
    }
    ++lineLength_;
    if (IsControl(b) && b != DLE && b != EOT && b != '\t') lineBad_ = true;
    if (lineBad_ || line_.size() >= kMaxLine) {
        lineBad_ = true;
        line_.clear();
    } else {
        line_.push_back(static_cast<char>(b));
    }
}

bool Decoder::LineBad(bool withLf) const {
    if (lineBad_) return true;
    const std::string_view text = line_;
    // DLE and EOT are only ever sent as the settings opener, DLE EOT CR.
    if (text.find_first_of("\x10\x04") != std::string_view::npos) return withLf || text != "\x10\x04";
    return !withLf && !IsSettingsLine(text);
}

void Decoder::ResetLine() {
    line_.clear();
    lineLength_ = 0;
    lineBad_ = false;
    lineCr_ = false;
}

void Decoder::EndLine(bool withLf) {
    const std::string text = line_;
    const std::uint64_t length = lineLength_ + (withLf ? 2 : 1);
    // An LF is handled the moment it comes; a lone CR only once the next byte or a pause shows
    // nothing follows it.
    const std::uint64_t end = withLf ? fed_ : lineEnd_;
    const bool bad = LineBad(withLf);
    ResetLine();
    SettleRun(bad);
    if (bad) return AddUnknown(length, end);
    if (!withLf) {
        settingsEnd_ = end;
        return Emit("settings: " + Printable(text), end);
    }

    if (text.empty() || text == "~O") {
        // Held back: an empty line may open a download-mode or font header, "~O" a firmware header.
        FlushUnknown();
        FlushHeld();
        if (text.empty()) heldEmptyLine_ = true;
        else heldFirmwareLines_ = 1;
        heldEnds_[0] = end;
        return;
    }
    if (heldFirmwareLines_ == 1 && text == kMarkLine) {
        heldFirmwareLines_ = 2;
        heldEnds_[1] = end;
        return;
    }
    std::uint64_t size = 0;
    const std::size_t comma = text.find(',');
    if (heldFirmwareLines_ == 2 && text.size() > 1 && text[0] == 'D' && comma != std::string::npos &&
        ParseSize(std::string_view(text).substr(1, comma - 1), size) &&
        ParseSize(std::string_view(text).substr(comma + 1), size)) {
        heldFirmwareLines_ = 0;
        body_ = Body::Firmware;
        size_ = size;
        received_ = 0;
        count_ = 0;
        state_ = State::HeaderEnd;
        return;
    }
    Emit("command: " + Printable(text), end);
}

// Headers whose payload follows their CR directly: decided at the CR, since the payload's first
// byte may well be an LF.
bool Decoder::StartsBody(const std::string& line) {
    const std::string_view text = line;
    std::uint64_t size = 0;
    Body kind;
    if (text.starts_with(kDlModePrefix)) {
        if (!ParseSize(text.substr(kDlModePrefix.size()), size)) return false;
        kind = Body::DlFirmware;
    } else {
        const bool table = text.starts_with(kTablePrefix);
        if (!table && !text.starts_with(kFontPrefix)) return false;
        const std::string_view rest = text.substr(table ? kTablePrefix.size() : kFontPrefix.size());
        const std::size_t comma = rest.rfind(',');  // the name may hold commas, the size doesn't
        if (comma == std::string_view::npos || comma == 0 || !ParseSize(rest.substr(comma + 1), size)) return false;
        fontSlot_ = Printable(rest.substr(0, 1));
        fontName_ = Printable(rest.substr(1, comma - 1));
        kind = table ? Body::CodeTable : Body::Font;
    }
    heldEmptyLine_ = false;  // it was this header's opening CR LF
    SettleRun(false);
    FlushUnknown();
    FlushHeld();
    ResetLine();
    StartBody(kind, size);
    return true;
}

void Decoder::StartBody(Body kind, std::uint64_t size) {
    static constexpr const char* kKinds[] = {"firmware", "dl-firmware", "font", "code-table"};
    body_ = kind;
    size_ = size;
    received_ = 0;
    crc_ = 0xFFFF;
    state_ = State::Body;
    if (sink_) sink_->Begin(kKinds[static_cast<int>(kind)]);
    if (size == 0) BodyDone();
}

void Decoder::BodyDone() {
    if (sink_) sink_->End();
    if (body_ == Body::Firmware || body_ == Body::DlFirmware) {
        state_ = State::Trailer;
        count_ = 0;
    } else {
        state_ = State::Top;
        ReportPayload("complete");
    }
}

void Decoder::ReportPayload(const std::string& outcome) {
    std::string text;
    switch (body_) {
    case Body::Firmware: text = "firmware image: "; break;
    case Body::DlFirmware: text = "download-mode image: "; break;
    case Body::Font: text = "font download: slot " + fontSlot_ + ", name \"" + fontName_ + "\", "; break;
    case Body::CodeTable: text = "code-table download: slot " + fontSlot_ + ", name \"" + fontName_ + "\", "; break;
    }
    // Every payload outcome is settled by the byte just taken, or by the end of input.
    Emit(text + "size " + std::to_string(size_) + ", received " + std::to_string(received_) + ", " + outcome, fed_);
}

void Decoder::Finish() {
    switch (state_) {
    case State::Top:
        if (lineCr_) EndLine(false);
        if (lineLength_ > 0) {
            SettleRun(lineBad_);
            if (lineBad_) AddUnknown(lineLength_, fed_);
            else Emit("unterminated line: " + Printable(line_), fed_);
            ResetLine();
        }
        FlushRun();
        break;
    case State::Ramp:
        Emit("closing ramp: " + std::to_string(count_) + " bytes, incomplete", fed_);
        break;
    case State::HeaderEnd:
        ReportPayload("incomplete");
        break;
    case State::Body:
        if (sink_) sink_->End();
        ReportPayload("incomplete");
        break;
    case State::Trailer:
        ReportPayload("trailer incomplete");
        break;
    }
    state_ = State::Top;
    FlushHeld();
    FlushUnknown();
}

void Decoder::Idle() {
    // An image, font or ramp whose size is not reached yet keeps waiting: a slow link may pause
    // anywhere inside one, and a printer takes whatever comes next as its rest all the same.
    if (state_ != State::Top) return;
    if (lineCr_) EndLine(false);
    if (lineLength_ > 0) {
        // The tool writes a command line whole, CR LF and all, so binary bytes (or a text tail
        // after them) that stop half way are the end of what was sent, such as a raw file: they
        // are reported now, on their own, not merged with whatever the next download brings.
        // Half a clean line with nothing undecodable before it still waits for its end.
        if (!lineBad_ && unknown_ == 0 && runBeforeLine_ == 0) return;
        SettleRun(true);
        AddUnknown(lineLength_, fed_);
        ResetLine();
    }
    FlushRun();
    FlushHeld();
    FlushUnknown();
}

void Decoder::FlushRun() {
    if (crRun_ == 0) return;
    const std::uint64_t run = crRun_;
    crRun_ = 0;
    FlushHeld();
    FlushUnknown();
    ReportRun(run, crRunEnd_);
}

void Decoder::SettleRun(bool lineBad) {
    const std::uint64_t run = runBeforeLine_;
    runBeforeLine_ = 0;
    if (run == 0) return;
    if (lineBad) return AddUnknown(run, runBeforeLineEnd_);
    FlushUnknown();
    ReportRun(run, runBeforeLineEnd_);
}

// The read toggle stops with a lone CR right after its settings lines; a wake-up run is never
// a single CR.
void Decoder::ReportRun(std::uint64_t run, std::uint64_t end) {
    if (run == 1 && settingsEnd_ > 0 && end - 1 == settingsEnd_) return Report("settings: (empty line)", end);
    Report("wake-up run: " + std::to_string(run) + " CR", end);
}

void Decoder::FlushHeld() {
    const bool empty = heldEmptyLine_;
    const int firmware = heldFirmwareLines_;
    heldEmptyLine_ = false;
    heldFirmwareLines_ = 0;
    if (empty) Report("command: ", heldEnds_[0]);
    if (firmware >= 1) Report("command: ~O", heldEnds_[0]);
    if (firmware >= 2) Report("command: " + std::string(kMarkLine), heldEnds_[1]);
}

void Decoder::FlushUnknown() {
    if (unknown_ == 0) return;
    const std::uint64_t count = unknown_;
    unknown_ = 0;
    Report("unknown bytes: " + std::to_string(count), unknownEnd_);
}

void Decoder::AddUnknown(std::uint64_t count, std::uint64_t end) {
    FlushHeld();
    unknown_ += count;
    unknownEnd_ = std::max(unknownEnd_, end);
}

void Decoder::Emit(const std::string& text, std::uint64_t end) {
    FlushHeld();
    FlushUnknown();
    Report(text, end);
}

void Decoder::Report(const std::string& text, std::uint64_t end) {
    itemEnd_ = end;
    onLine_(text);
}

}  // namespace prax::vprinter
