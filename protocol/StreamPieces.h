// The bytes the image downloads put around an image, and the two checksums.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace prax::protocol {

inline constexpr std::uint8_t CR = 0x0D;
inline constexpr std::uint8_t LF = 0x0A;

inline constexpr int kFirmwareWakeUpRun = 20;  // CR bytes before the firmware header
inline constexpr int kHeaderEnd = 2;           // CR bytes after it
inline constexpr int kRampLength = 128;        // 0x00 .. 0x7F after the trailer
inline constexpr int kTrailerSize = 2;         // the checksum after the body
inline constexpr std::uint16_t kCrcStart = 0xFFFF;

// "~O" CR LF "ZENTA_FW_MARK_STRING," CR LF "D0," size CR LF
std::string BuildFirmwareHeader(std::int32_t size);
// CR LF "~~INTERNALCOMMANDU,UPDATADLMODE," size CR
std::string BuildDownloadModeCommand(std::int32_t size);

// The closing ramp, 0x00 to 0x7F.
const std::array<std::uint8_t, kRampLength>& ClosingRamp();

namespace detail {
// Entry i is i put through eight steps of the reflected polynomial 0xA001; `high` picks the
// entry's high byte, else its low byte. Built by the compiler, so the tables cost nothing at run
// time and no guard sits on the per-byte path.
constexpr std::array<std::uint8_t, 256> CrcTable(bool high) {
    std::array<std::uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned t = i;
        for (int k = 0; k < 8; ++k) t = (t & 1u) ? (t >> 1) ^ 0xA001u : t >> 1;
        table[i] = static_cast<std::uint8_t>(high ? t >> 8 : t & 0xFF);
    }
    return table;
}
}  // namespace detail

// Low (A) and high (B) bytes of the CRC-16/MODBUS table entries.
inline constexpr std::array<std::uint8_t, 256> TableA = detail::CrcTable(false);
inline constexpr std::array<std::uint8_t, 256> TableB = detail::CrcTable(true);

// CRC-16/MODBUS with the register kept byte-swapped: its high byte holds the CRC's low byte.
constexpr std::uint16_t DataCrcUpdate(std::uint16_t reg, std::uint8_t b) {
    const std::uint8_t i = static_cast<std::uint8_t>((reg >> 8) ^ b);
    const std::uint8_t high = static_cast<std::uint8_t>((reg & 0xFF) ^ TableA[i]);
    return static_cast<std::uint16_t>((high << 8) | TableB[i]);
}
static_assert(TableA[1] == 0xC1 && TableB[1] == 0xC0);

std::uint16_t DataCrc(const std::uint8_t* data, std::size_t length, std::uint16_t reg = kCrcStart);

// The two trailer bytes: the register's high byte, then its low byte.
inline std::array<std::uint8_t, kTrailerSize> ChecksumTrailer(std::uint16_t reg) {
    return {static_cast<std::uint8_t>(reg >> 8), static_cast<std::uint8_t>(reg & 0xFF)};
}

// The register in capital hexadecimal without leading zeros, as the status line shows it.
std::string RegisterHex(std::uint16_t reg);

// Bit-serial CRC with polynomial 0x1021 over count bytes followed by sixteen 0 bits.
// Counts outside 0..65534 give 0: the routine's pass counter can't serve them.
std::uint16_t SerialCrc16(const std::uint8_t* bytes, std::int32_t count);

// The check of the hidden check button: SerialCrc16 of 0x10 0x01 0x01 as "%04X" ("1275").
std::string SerialCrcCheckText();

// The body's gauge position after `sent` bytes, before the gauge clamps it.
inline std::int64_t ProgressAfter(std::int64_t sent) { return sent + 1; }

}  // namespace prax::protocol
