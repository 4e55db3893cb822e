#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
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

// The layout of a real machine: class entries and device links are relative
// symlinks into devices/, USB strings sit on the USB device above the
// interface, and by-id aliases are relative links into the dev directory.
class FakeMachine : public FakeSysfs {
protected:
    void SetUp() override {
        FakeSysfs::SetUp();
        sys = root / "sys";
        dev = root / "dev";
        byId = dev / "serial" / "by-id";
        fs::create_directories(sys / "class" / "tty");
        fs::create_directories(byId);
        const fs::path usb1 = sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1";
        // The root hub is a USB device too: the search must stop below it.
        UsbDevice(usb1, "1d6b", "0002", "Linux 6.1.0 xhci-hcd", "xHCI Host Controller", "0000:00:14.0");

        // CP2102: tty -> port dir (usb-serial driver) -> interface -> USB device.
        UsbDevice(usb1 / "1-2", "10c4", "ea60", "Silicon Labs", "CP2102 USB to UART Bridge Controller", "0001");
        UsbSerialTty(usb1 / "1-2" / "1-2:1.0", "cp210x", "cp210x", "ttyUSB0");

        // CH340: the interface's driver (ch341) differs from the port's (ch341-uart); it has no
        // manufacturer or serial string and no alias.
        UsbDevice(usb1 / "1-4", "1a86", "7523", nullptr, "USB Serial", nullptr);
        UsbSerialTty(usb1 / "1-4" / "1-4:1.0", "ch341", "ch341-uart", "ttyUSB1");

        // CDC ACM: tty -> interface -> USB device.
        UsbDevice(usb1 / "1-3", "2341", "0043", "Arduino (www.arduino.cc)", "Arduino Uno", "75735323530351F0F191");
        const fs::path acmInterface = usb1 / "1-3" / "1-3:1.0";
        Driver(acmInterface, "usb", "cdc_acm");
        Tty(acmInterface / "tty" / "ttyACM0", acmInterface, nullptr);

        // A UART on a platform device, as before Linux 6.5.
        const fs::path platformUart = sys / "devices" / "platform" / "serial8250";
        Driver(platformUart, "platform", "serial8250");
        Tty(platformUart / "tty" / "ttyS0", platformUart, "4");

        // A UART since Linux 6.5: PNP device -> serial-base controller -> serial-base port.
        const fs::path pnpUart = sys / "devices" / "pnp0" / "00:01";
        const fs::path ctrl = pnpUart / "00:01:0";
        const fs::path port = ctrl / "00:01:0.0";
        Driver(pnpUart, "pnp", "serial");
        Driver(ctrl, "serial-base", "ctrl");
        Driver(port, "serial-base", "port");
        Tty(port / "tty" / "ttyS1", port, "4");

        // An 8250 placeholder: not a port.
        Tty(platformUart / "tty" / "ttyS2", platformUart, "0");

        Link("../../ttyUSB0", byId / "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0");
        Link("../../ttyACM0", byId / "usb-Arduino__www.arduino.cc__0043_75735323530351F0F191-if00");
        Link("../../ttyUSB9", byId / "usb-gone-if00-port0"); // dangling
        std::ofstream(byId / "README") << "not a link\n";    // not an alias
    }

    static void Link(const fs::path &target, const fs::path &link) {
        fs::create_directories(link.parent_path());
        fs::create_symlink(target, link);
    }
    static void Attribute(const fs::path &file, const char *value) {
        if (value != nullptr)
            std::ofstream(file) << value << "\n";
    }
    // dir/driver -> sys/bus/<bus>/drivers/<name>, dir/subsystem -> sys/bus/<bus>.
    void Driver(const fs::path &dir, const std::string &bus, const std::string &name) {
        const fs::path busDir = sys / "bus" / bus;
        fs::create_directories(busDir / "drivers" / name);
        fs::create_directories(dir);
        fs::create_directory_symlink(fs::relative(busDir / "drivers" / name, dir), dir / "driver");
        fs::create_directory_symlink(fs::relative(busDir, dir), dir / "subsystem");
    }
    void UsbDevice(const fs::path &dir, const char *vendor, const char *product, const char *manufacturer,
                   const char *productName, const char *serial) {
        Driver(dir, "usb", "usb");
        Attribute(dir / "idVendor", vendor);
        Attribute(dir / "idProduct", product);
        Attribute(dir / "manufacturer", manufacturer);
        Attribute(dir / "product", productName);
        Attribute(dir / "serial", serial);
    }
    void UsbSerialTty(const fs::path &interface, const std::string &interfaceDriver, const std::string &portDriver,
                      const std::string &name) {
        Driver(interface, "usb", interfaceDriver);
        Driver(interface / name, "usb-serial", portDriver);
        Tty(interface / name / "tty" / name, interface / name, nullptr);
    }
    // The tty's own directory with its device link, its class entry and its node in dev.
    void Tty(const fs::path &ttyDir, const fs::path &device, const char *type) {
        const std::string name = ttyDir.filename().string();
        fs::create_directories(ttyDir);
        fs::create_directory_symlink(fs::relative(device, ttyDir), ttyDir / "device");
        Attribute(ttyDir / "type", type);
        fs::create_directory_symlink(fs::relative(ttyDir, sys / "class" / "tty"), sys / "class" / "tty" / name);
        fs::create_directories(dev);
        std::ofstream(dev / name).put('\0');
    }

    std::vector<PortInfo> Describe(const fs::path &devDir) const {
        return DescribeSysfsTtyPorts((sys / "class" / "tty").string(), devDir.string(), byId.string());
    }
    std::string Dev(const char *name) const { return (dev / name).string(); }

    fs::path sys, dev, byId;
};

TEST_F(FakeMachine, DescribesEachPortFromSysfsAndByIdLinks) {
    const std::vector<PortInfo> ports = Describe(dev);

    std::vector<std::string> devices;
    for (const auto &port : ports)
        devices.push_back(port.device);
    ASSERT_EQ(devices,
              (std::vector<std::string>{Dev("ttyACM0"), Dev("ttyS0"), Dev("ttyS1"), Dev("ttyUSB0"), Dev("ttyUSB1")}));

    const std::string cp2102Alias =
        (byId / "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0").string();
    const std::string arduinoAlias = (byId / "usb-Arduino__www.arduino.cc__0043_75735323530351F0F191-if00").string();
    const struct {
        std::size_t port;
        const char *field;
        std::string PortInfo::*member;
        std::string expected;
    } cases[] = {
        {0, "byId", &PortInfo::byId, arduinoAlias},
        {0, "driver", &PortInfo::driver, "cdc_acm"},
        {0, "usbId", &PortInfo::usbId, "2341:0043"},
        {0, "manufacturer", &PortInfo::manufacturer, "Arduino (www.arduino.cc)"},
        {0, "product", &PortInfo::product, "Arduino Uno"},
        {0, "serial", &PortInfo::serial, "75735323530351F0F191"},
        {1, "byId", &PortInfo::byId, ""},
        {1, "driver", &PortInfo::driver, "serial8250"},
        {1, "usbId", &PortInfo::usbId, ""},
        {1, "manufacturer", &PortInfo::manufacturer, ""},
        {1, "product", &PortInfo::product, ""},
        {1, "serial", &PortInfo::serial, ""},
        {2, "byId", &PortInfo::byId, ""},
        {2, "driver", &PortInfo::driver, "serial"},
        {2, "usbId", &PortInfo::usbId, ""},
        {2, "manufacturer", &PortInfo::manufacturer, ""},
        {2, "product", &PortInfo::product, ""},
        {2, "serial", &PortInfo::serial, ""},
        {3, "byId", &PortInfo::byId, cp2102Alias},
        {3, "driver", &PortInfo::driver, "cp210x"},
        {3, "usbId", &PortInfo::usbId, "10c4:ea60"},
        {3, "manufacturer", &PortInfo::manufacturer, "Silicon Labs"},
        {3, "product", &PortInfo::product, "CP2102 USB to UART Bridge Controller"},
        {3, "serial", &PortInfo::serial, "0001"},
        {4, "byId", &PortInfo::byId, ""},
        {4, "driver", &PortInfo::driver, "ch341-uart"},
        {4, "usbId", &PortInfo::usbId, "1a86:7523"},
        {4, "manufacturer", &PortInfo::manufacturer, ""},
        {4, "product", &PortInfo::product, "USB Serial"},
        {4, "serial", &PortInfo::serial, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ports[c.port].*c.member, c.expected) << ports[c.port].device << " " << c.field;
}

// The aliases lead to dev by a different path than the one asked for; only
// where they end up counts.
TEST_F(FakeMachine, MatchesAliasesThroughALinkedDevDirectory) {
    const fs::path devLink = root / "devlink";
    fs::create_directory_symlink(dev, devLink);
    const std::vector<PortInfo> ports = Describe(devLink);
    ASSERT_EQ(ports.size(), 5u);
    EXPECT_EQ(ports[0].device, (devLink / "ttyACM0").string());
    EXPECT_EQ(ports[0].byId, (byId / "usb-Arduino__www.arduino.cc__0043_75735323530351F0F191-if00").string());
    EXPECT_EQ(ports[3].byId, (byId / "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0").string());
}

TEST_F(FakeMachine, WithoutByIdDirectoryTheRestIsStillRead) {
    fs::remove_all(byId);
    const std::vector<PortInfo> ports = Describe(dev);
    ASSERT_EQ(ports.size(), 5u);
    for (const auto &port : ports)
        EXPECT_EQ(port.byId, "") << port.device;
    EXPECT_EQ(ports[3].usbId, "10c4:ea60");
    EXPECT_EQ(ports[3].driver, "cp210x");
}

// Unplugged between listing and reading: the strings are gone, the port stays,
// and the root hub above is not taken for the adapter.
TEST_F(FakeMachine, MissingUsbStringsLeaveFieldsEmpty) {
    const fs::path cp2102 = sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / "1-2";
    for (const char *attribute : {"manufacturer", "product", "serial", "idProduct"})
        fs::remove(cp2102 / attribute);
    const std::vector<PortInfo> ports = Describe(dev);
    ASSERT_EQ(ports.size(), 5u);
    EXPECT_EQ(ports[3].driver, "cp210x");
    EXPECT_EQ(ports[3].usbId, "");
    EXPECT_EQ(ports[3].manufacturer, "");
    EXPECT_EQ(ports[3].product, "");
    EXPECT_EQ(ports[3].serial, "");
}

} // namespace
} // namespace corvanta
