// The receiving end of a printer link: turns the bytes the download tool sends into one
// report line per item (wake-up runs, firmware images with their checksum, the closing ramp,
// font and code-table downloads, command lines, settings lines).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace prax::vprinter {

// CRC-16/MODBUS (reflected polynomial 0xA001, start 0xFFFF, no final xor), one bit at a time.
// Slow on purpose: it is the reference the fast table-driven one is checked against.
std::uint16_t Crc16ModbusBitwise(const std::uint8_t* data, std::size_t length,
                                 std::uint16_t crc = 0xFFFF);
// The same CRC from a 256-entry table; this is what the decoder runs over image bodies.
std::uint16_t Crc16Modbus(const std::uint8_t* data, std::size_t length, std::uint16_t crc = 0xFFFF);

// Where a payload (image body, font or code table) goes while it streams past, e.g. a file.
class PayloadSink {
public:
    virtual ~PayloadSink() = default;
    // kind: "firmware", "dl-firmware", "font" or "code-table".
    virtual void Begin(std::string_view kind) = 0;
    virtual void Data(const std::uint8_t* data, std::size_t length) = 0;
    virtual void End() = 0;
};

class Decoder {
public:
    using LineHandler = std::function<void(const std::string&)>;

    explicit Decoder(LineHandler onLine, PayloadSink* sink = nullptr);

    void Feed(const std::uint8_t* data, std::size_t length);
    // End of input: reports whatever is still half way (an image cut short, a pending line).
    void Finish();
    // The sender has gone quiet: settle what only waited to see the next byte (a CR run, a
    // line's lone CR, a held empty line) and end the undecodable bytes so far as one item, so
    // each raw file shows on its own with its size. A body, trailer or ramp not yet complete
    // keeps waiting, and so does half a clean line with nothing undecodable before it.
    void Idle();

    std::uint64_t BytesFed() const { return fed_; }
    // Inside the line handler: the stream offset just past the reported item's last byte, so a
    // caller that knows when each byte arrived can say when the item did. Many items are decided
    // only by the byte after them or by a pause; this still names their own last byte. For
    // "unknown bytes" it is the end of the last of them. Never decreases from one item to the next.
    std::uint64_t ItemEnd() const { return itemEnd_; }
    // Inside the line handler: whether the item is a firmware or download-mode image that came
    // whole with a matching CRC trailer, the image a printer takes and restarts after.
    bool ItemIsTakenImage() const { return takenImage_; }
    // Inside the line handler: takes no byte more, the rest of this Feed and every later one
    // dropped undecoded, as a printer that restarts drops what came after the image.
    void Halt() { halted_ = true; }

private:
    enum class State { Top, Ramp, HeaderEnd, Body, Trailer };
    enum class Body { Firmware, DlFirmware, Font, CodeTable };

    void TopByte(std::uint8_t b);
    void EndLine(bool withLf);
    bool LineBad(bool withLf) const;
    bool StartsBody(const std::string& line);
    void StartBody(Body kind, std::uint64_t size);
    void BodyDone();
    void ReportPayload(const std::string& outcome);
    void FlushRun();
    void SettleRun(bool lineBad);
    void ReportRun(std::uint64_t run, std::uint64_t end);
    void FlushHeld();
    void FlushUnknown();
    void Emit(const std::string& text, std::uint64_t end);
    void Report(const std::string& text, std::uint64_t end);
    void AddUnknown(std::uint64_t count, std::uint64_t end);
    void ResetLine();

    LineHandler onLine_;
    PayloadSink* sink_;
    std::uint64_t fed_ = 0;  // bytes taken so far; while a byte is handled, just past it
    std::uint64_t itemEnd_ = 0;
    bool takenImage_ = false;
    bool halted_ = false;
    State state_ = State::Top;

    // Between items: the text of the line being read, and what came just before it.
    std::string line_;
    std::uint64_t lineLength_ = 0;  // may exceed what line_ keeps
    bool lineBad_ = false;          // holds bytes no command line has
    bool lineCr_ = false;           // the line ended with CR; LF may follow
    std::uint64_t lineEnd_ = 0;     // just past that CR
    std::uint64_t crRun_ = 0, crRunEnd_ = 0;
    std::uint64_t runBeforeLine_ = 0, runBeforeLineEnd_ = 0;  // CRs met inside noise, judged by the line after them
    std::uint64_t settingsEnd_ = 0;  // just past the last settings line's CR
    bool heldEmptyLine_ = false;    // a CR LF that may open a download-mode or font header
    int heldFirmwareLines_ = 0;     // "~O", then the mark line: a firmware header in the making
    std::uint64_t heldEnds_[2] = {0, 0};  // where the held lines ended
    std::uint64_t unknown_ = 0, unknownEnd_ = 0;  // undecodable bytes not yet reported

    // The current image or payload.
    Body body_ = Body::Firmware;
    std::uint64_t size_ = 0;
    std::uint64_t received_ = 0;
    std::uint16_t crc_ = 0xFFFF;
    int count_ = 0;  // header-end CRs, trailer bytes or ramp bytes seen so far
    std::uint8_t trailer_[2] = {0, 0};
    std::string fontSlot_, fontName_;
};

}  // namespace prax::vprinter
