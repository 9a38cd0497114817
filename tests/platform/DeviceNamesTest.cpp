#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/posix/DeviceNames.h"

using namespace prax::platform::posix;

TEST(DeviceNames, WindowsNamesMapToHostDevices) {
    unsetenv("PRAX_COM3");
    unsetenv("PRAX_LPT1");
    EXPECT_EQ(HostPathFor("\\\\.\\COM1"), "/dev/ttyS0");
    EXPECT_EQ(HostPathFor("\\\\.\\COM3"), "/dev/ttyS2");
    EXPECT_EQ(HostPathFor("LPT1"), "/dev/lp0");
    EXPECT_EQ(HostPathFor("a"), "a");
    EXPECT_EQ(HostPathFor("/tmp/out.bin"), "/tmp/out.bin");
    setenv("PRAX_COM3", "/dev/pts/77", 1);
    setenv("PRAX_LPT1", "/tmp/lpt", 1);
    EXPECT_EQ(HostPathFor("\\\\.\\COM3"), "/dev/pts/77");
    EXPECT_EQ(HostPathFor("LPT1"), "/tmp/lpt");
    EXPECT_EQ(HostPathFor("\\\\.\\COM3", {{"\\\\.\\COM3", "/dev/pts/9"}}), "/dev/pts/9");
    unsetenv("PRAX_COM3");
    unsetenv("PRAX_LPT1");
}

TEST(DeviceNames, ComNumbers) {
    EXPECT_EQ(ComNumber("\\\\.\\COM12"), 12);
    EXPECT_EQ(ComNumber("\\\\.\\COM"), std::nullopt);
    EXPECT_EQ(ComNumber("\\\\.\\COM1x"), std::nullopt);
    EXPECT_EQ(ComNumber("COM1"), std::nullopt);
    EXPECT_EQ(ComNumber("\\\\.\\COM99999999999"), std::nullopt);
}
