#include <string>

#include <gtest/gtest.h>

#include "platform/system/PhysicalCores.h"

namespace nudgerly {
namespace {

std::string processor(int number, int package, int core) {
    return "processor\t: " + std::to_string(number) +
           "\nvendor_id\t: GenuineIntel\nphysical id\t: " + std::to_string(package) +
           "\nsiblings\t: 4\ncore id\t\t: " + std::to_string(core) + "\ncpu cores\t: 2\nflags\t\t: fpu vme\n\n";
}

TEST(PhysicalCoresTests, HardwareThreadsOfOneCoreCountOnce) {
    // Two cores with two threads each, listed as Linux lists them: first threads first.
    EXPECT_EQ(PhysicalCores::countIn(processor(0, 0, 0) + processor(1, 0, 1) + processor(2, 0, 0) + processor(3, 0, 1)),
              2);
    // Two sockets reuse the same core ids.
    EXPECT_EQ(PhysicalCores::countIn(processor(0, 0, 0) + processor(1, 0, 1) + processor(2, 1, 0) + processor(3, 1, 1)),
              4);
    // No blank line at the end, Windows line ends, no physical id at all.
    EXPECT_EQ(PhysicalCores::countIn("processor : 0\r\ncore id : 0\r\nprocessor : 1\r\ncore id : 3"), 2);
}

TEST(PhysicalCoresTests, ProcessorsWithoutCoreIdsEachCount) {
    const std::string arm =
        "processor\t: 0\nBogoMIPS\t: 48.00\nCPU part\t: 0xd08\n\n"
        "processor\t: 1\nBogoMIPS\t: 48.00\nCPU part\t: 0xd08\n\n"
        "processor\t: 2\nBogoMIPS\t: 48.00\n\nHardware\t: BCM2835\n";
    EXPECT_EQ(PhysicalCores::countIn(arm), 3);
    EXPECT_EQ(PhysicalCores::countIn(""), 0);
    EXPECT_EQ(PhysicalCores::countIn("MemTotal: 1 kB\n"), 0);
    EXPECT_GE(PhysicalCores::ofThisComputer(), 1);
}

}  // namespace
}  // namespace nudgerly
