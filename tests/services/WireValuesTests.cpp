#include <gtest/gtest.h>
#include <sys/utsname.h>

#include "files/TempDir.h"
#include "services/WireValues.h"

namespace nudgerly {
namespace {

using test::TempDir;
using test::writeTestFile;

TEST(WireValuesTests, PrettyNameIsReadLikeTheShellWouldReadIt) {
    EXPECT_EQ(WireValues::prettyName(
                  "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(WireValues::prettyName("PRETTY_NAME='Fedora Linux 40 (Workstation Edition)'\r\n"),
              "Fedora Linux 40 (Workstation Edition)");
    EXPECT_EQ(WireValues::prettyName("PRETTY_NAME=Arch\\ Linux"), "Arch Linux");
    EXPECT_EQ(WireValues::prettyName(R"(PRETTY_NAME="Say \"hi\" \\ \$HOME")"), R"(Say "hi" \ $HOME)");
    EXPECT_EQ(WireValues::prettyName("PRETTY_NAME=\"First\"\nPRETTY_NAME=\"Second\""), "Second");
    EXPECT_EQ(WireValues::prettyName("PRETTY_NAME=\"Unterminated"), "Unterminated");
    EXPECT_EQ(WireValues::prettyName("PRETTY_NAME=\"Caf\xC3\""), "Caf\xEF\xBF\xBD");

    EXPECT_EQ(WireValues::prettyName(""), std::nullopt);
    EXPECT_EQ(WireValues::prettyName("# PRETTY_NAME=\"Commented\"\nNAME=Linux"), std::nullopt);
    EXPECT_EQ(WireValues::prettyName("MY_PRETTY_NAME=\"Other key\""), std::nullopt);
    EXPECT_EQ(WireValues::prettyName("PRETTY_NAME=\"  \""), std::nullopt);
}

TEST(WireValuesTests, SystemVersionFallsBackFileByFileAndNamesTheKernel) {
    utsname names{};
    ASSERT_EQ(::uname(&names), 0);
    const std::string kernel = std::string(", kernel ") + names.release;

    TempDir folder;
    writeTestFile(folder / "usr-lib-os-release", "PRETTY_NAME=\"Fallback OS\"\n");
    writeTestFile(folder / "bare-os-release", "ID=custom\n");
    EXPECT_EQ(WireValues::operatingSystemVersion({folder / "missing", folder / "usr-lib-os-release"}),
              "Fallback OS" + kernel);
    // A readable first file is the answer even when it names nothing.
    EXPECT_EQ(WireValues::operatingSystemVersion({folder / "bare-os-release", folder / "usr-lib-os-release"}),
              "Linux" + kernel);
    EXPECT_EQ(WireValues::operatingSystemVersion({folder / "missing", folder.path()}), "Linux" + kernel);
    EXPECT_EQ(WireValues::operatingSystemVersion({}), "Linux" + kernel);
}

}  // namespace
}  // namespace nudgerly
