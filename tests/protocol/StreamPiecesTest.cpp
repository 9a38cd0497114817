#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/StreamPieces.h"

using namespace prax::protocol;

namespace {
std::uint16_t RegOf(const std::string& s) {
    return DataCrc(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// The plain bitwise CRC-16/MODBUS, to hold the table-driven register against.
std::uint16_t BitwiseModbus(const std::string& s) {
    std::uint16_t crc = 0xFFFF;
    for (unsigned char c : s) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}
}  // namespace

TEST(DataCrc, CheckValuesAreTheByteSwappedModbusCrc) {
    EXPECT_EQ(RegOf("123456789"), 0x374B);
    EXPECT_EQ(RegOf("abc"), 0x4957);
    EXPECT_EQ(RegOf(""), 0xFFFF);
    EXPECT_EQ(BitwiseModbus("123456789"), 0x4B37);
    std::string all;
    for (int i = 0; i < 1024; ++i) all.push_back(static_cast<char>((i * 7 + i / 13) & 0xFF));
    const std::uint16_t crc = BitwiseModbus(all);
    EXPECT_EQ(RegOf(all), static_cast<std::uint16_t>((crc << 8) | (crc >> 8)));
    // Every length and alignment, carried on from any register: the same as one step per byte.
    for (std::size_t start = 0; start < 9; ++start) {
        for (std::size_t length = 0; length + start <= 40; ++length) {
            for (std::uint16_t reg : {std::uint16_t{0xFFFF}, std::uint16_t{0x1234}, std::uint16_t{0}}) {
                std::uint16_t stepped = reg;
                for (std::size_t i = 0; i < length; ++i)
                    stepped = DataCrcUpdate(stepped, static_cast<std::uint8_t>(all[start + i]));
                EXPECT_EQ(DataCrc(reinterpret_cast<const std::uint8_t*>(all.data()) + start, length, reg), stepped)
                    << start << "+" << length;
            }
        }
    }
}

TEST(DataCrc, TablesStartWithTheKnownValues) {
    const std::vector<int> a = {0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41};
    const std::vector<int> b = {0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2};
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(TableA[i], a[i]) << i;
        EXPECT_EQ(TableB[i], b[i]) << i;
    }
}

TEST(DataCrc, TrailerIsRegisterHighByteFirstAndDisplayDropsLeadingZeros) {
    EXPECT_EQ(ChecksumTrailer(0x374B), (std::array<std::uint8_t, 2>{0x37, 0x4B}));
    EXPECT_EQ(ChecksumTrailer(0xFFFF), (std::array<std::uint8_t, 2>{0xFF, 0xFF}));
    EXPECT_EQ(RegisterHex(0x374B), "374B");
    EXPECT_EQ(RegisterHex(0x0ABC), "ABC");
    EXPECT_EQ(RegisterHex(0x000F), "F");
    EXPECT_EQ(RegisterHex(0), "0");
}

TEST(SerialCrc16, CheckValues) {
    const std::string digits = "123456789";
    EXPECT_EQ(SerialCrc16(reinterpret_cast<const std::uint8_t*>(digits.data()), 9), 0xDB45);
    const std::uint8_t probe[3] = {0x10, 0x01, 0x01};
    EXPECT_EQ(SerialCrc16(probe, 3), 0x1275);
    EXPECT_EQ(SerialCrc16(nullptr, 0), 0x1D0F);
    EXPECT_EQ(SerialCrcCheckText(), "1275");
}

TEST(SerialCrc16, CountsItsCounterCannotServeAreRefused) {
    std::vector<std::uint8_t> big(65535, 0x55);
    EXPECT_EQ(SerialCrc16(big.data(), 65535), 0);
    EXPECT_EQ(SerialCrc16(big.data(), -1), 0);
    EXPECT_NE(SerialCrc16(big.data(), 65534), 0);
}

TEST(FirmwareHeader, FieldByField) {
    const std::string h = BuildFirmwareHeader(1000);
    EXPECT_EQ(h, std::string("~O\r\nZENTA_FW_MARK_STRING,\r\nD0,1000\r\n"));
    EXPECT_EQ(h.size(), 36u);
    EXPECT_EQ(BuildFirmwareHeader(0), std::string("~O\r\nZENTA_FW_MARK_STRING,\r\nD0,0\r\n"));
    EXPECT_EQ(BuildFirmwareHeader(2147483647).size(), 32u + 10u);
    EXPECT_EQ(h.find('\0'), std::string::npos);
}

TEST(DownloadModeCommand, EndsWithASingleCr) {
    EXPECT_EQ(BuildDownloadModeCommand(131072),
              std::string("\r\n~~INTERNALCOMMANDU,UPDATADLMODE,131072\r"));
}

TEST(ClosingRamp, RisesFromZeroTo127) {
    const auto& ramp = ClosingRamp();
    ASSERT_EQ(ramp.size(), 128u);
    for (int i = 0; i < 128; ++i) EXPECT_EQ(ramp[static_cast<std::size_t>(i)], i);
}
