#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "serial/PortNames.h"
#include "serial/ports_linux.h"

namespace corvanta {
namespace {

namespace fs = std::filesystem;

struct OrderCase {
    std::string a;
    std::string b;
    bool aFirst;
};

class NaturalOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(NaturalOrder, ComparesDigitRunsByValue) {
    const auto &c = GetParam();
    EXPECT_EQ(NaturalLess(c.a, c.b), c.aFirst);
    // A strict order: never both ways.
    if (c.aFirst) {
        EXPECT_FALSE(NaturalLess(c.b, c.a));
    }
    EXPECT_FALSE(NaturalLess(c.a, c.a));
}

INSTANTIATE_TEST_SUITE_P(Names, NaturalOrder,
                         ::testing::Values(OrderCase{"ttyS2", "ttyS10", true}, OrderCase{"ttyS10", "ttyS2", false},
                                           OrderCase{"ttyUSB0", "ttyUSB1", true},
                                           OrderCase{"ttyUSB1", "ttyUSB10", true},
                                           OrderCase{"ttyUSB9", "ttyUSB10", true}, OrderCase{"ttyACM0", "ttyS0", true},
                                           OrderCase{"ttyS0", "ttyUSB0", true}, OrderCase{"ttyACM10", "ttyS2", true},
                                           OrderCase{"ttyS02", "ttyS10", true}, OrderCase{"ttyS010", "ttyS9", false},
                                           OrderCase{"ttyS1", "ttyS02", true}, OrderCase{"ttyS002", "ttyS10", true},
                                           OrderCase{"ttyS10", "ttyS002", false}, OrderCase{"ttyS", "ttyS0", true},
                                           OrderCase{"ttyS1a", "ttyS1b", true}, OrderCase{"ttyS2b", "ttyS10a", true},
                                           OrderCase{"ttyS99999999999999999999", "ttyS100000000000000000000", true},
                                           OrderCase{"ttyS0", "ttyS0", false}));

TEST(NaturalOrder, SortsAPortListNaturally) {
    const std::vector<std::string> expected = {"ttyACM0", "ttyACM2", "ttyACM10", "ttyS0",   "ttyS1",   "ttyS2",
                                               "ttyS10",  "ttyS11",  "ttyUSB0",  "ttyUSB1", "ttyUSB10"};
    std::vector<std::string> names = expected;
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(names.begin(), names.end(), rng);
        std::sort(names.begin(), names.end(), NaturalLess);
        ASSERT_EQ(names, expected);
    }
}

// Equal by value, the names still have one fixed order between them.
TEST(NaturalOrder, LeadingZerosGiveAStrictOrder) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"ttyS01", "ttyS1"}, {"ttyS001", "ttyS01"}, {"ttyS0", "ttyS00"}};
    for (const auto &[a, b] : pairs)
        EXPECT_NE(NaturalLess(a, b), NaturalLess(b, a)) << a << " " << b;
}

TEST(ComDeviceName, ShortFormUpToNineDevicePathFromTen) {
    const struct {
        unsigned n;
        const char *name;
    } cases[] = {{0, "COM0"}, {3, "COM3"}, {9, "COM9"}, {10, "\\\\.\\COM10"}, {255, "\\\\.\\COM255"}};
    for (const auto &c : cases)
        EXPECT_EQ(ComDeviceName(c.n), c.name) << c.n;
}

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "corvanta-sysfs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        classDir = root / "class" / "tty";
        fs::create_directories(classDir);
        fs::create_directories(root / "drivers" / "serial");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // device and driver as in sysfs: driver is a link to the driver's directory.
    void AddTty(const std::string &name, bool device, bool driver, const char *type) {
        const fs::path tty = classDir / name;
        fs::create_directories(tty);
        if (device)
            fs::create_directories(tty / "device");
        if (driver)
            fs::create_directory_symlink(root / "drivers" / "serial", tty / "device" / "driver");
        if (type != nullptr)
            std::ofstream(tty / "type") << type << "\n";
    }

    fs::path root;
    fs::path classDir;
};

TEST_F(FakeSysfs, ListsTtysWithADriverAndAKnownUartInNaturalOrder) {
    AddTty("ttyS0", true, true, "4");
    AddTty("ttyS1", true, true, "0"); // 8250 placeholder
    AddTty("ttyS10", true, true, "4");
    AddTty("ttyS2", true, true, "4");
    AddTty("ttyUSB0", true, true, nullptr);
    AddTty("tty0", false, false, nullptr);
    AddTty("ptmx", true, false, nullptr);

    EXPECT_EQ(
        ListSysfsTtyPorts(classDir.string(), "/fake/dev"),
        (std::vector<std::string>{"/fake/dev/ttyS0", "/fake/dev/ttyS2", "/fake/dev/ttyS10", "/fake/dev/ttyUSB0"}));
}

TEST_F(FakeSysfs, DanglingDriverLinkIsNoDriver) {
    AddTty("ttyUSB3", true, false, nullptr);
    fs::create_directory_symlink(root / "gone", classDir / "ttyUSB3" / "device" / "driver");
    EXPECT_TRUE(ListSysfsTtyPorts(classDir.string(), "/dev").empty());
}

TEST_F(FakeSysfs, MissingClassDirectoryGivesNoPorts) {
    EXPECT_TRUE(ListSysfsTtyPorts((root / "absent").string(), "/dev").empty());
}

} // namespace
} // namespace corvanta
