// corvanta-cli ports output: the human table and the JSON array.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/PortsReport.h"

namespace corvanta::cli {
namespace {

// Fields in order: device, byId, driver, usbId, manufacturer, product, serial.
const PortInfo kUart{"/dev/ttyS0", "", "serial8250", "", "", "", ""};
// clang-format off
const PortInfo kCp2102{
    "/dev/ttyUSB0",
    "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0",
    "cp210x",
    "10c4:ea60",
    "Silicon Labs",
    "CP2102 USB to UART Bridge Controller",
    "0001",
};
// clang-format on
const PortInfo kArduino{
    "/dev/ttyACM0",
    "/dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_75735323530351F0F191-if00",
    "cdc_acm",
    "2341:0043",
    "Arduino (www.arduino.cc)",
    "Arduino Uno",
    "75735323530351F0F191",
};

struct ReportCase {
    const char *name;
    std::vector<PortInfo> ports;
    bool json;
    std::string out;
    std::string err;
};

void PrintTo(const ReportCase &c, std::ostream *os) { *os << c.name; }

class PortsReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(PortsReport, PrintsExactly) {
    const auto &c = GetParam();
    std::ostringstream out, err;
    PrintPorts(c.ports, c.json, out, err);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
}

INSTANTIATE_TEST_SUITE_P(
    Human, PortsReport,
    ::testing::Values(
        ReportCase{"NoPorts", {}, false, "", "corvanta-cli: no serial ports found\n"},
        ReportCase{"UartOnly", {kUart}, false, "/dev/ttyS0  (serial8250)\n", ""},
        ReportCase{"AlignedColumns",
                   {kArduino, kUart, kCp2102},
                   false,
                   "/dev/ttyACM0  2341:0043 Arduino (www.arduino.cc) Arduino Uno (cdc_acm)              "
                   "/dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_75735323530351F0F191-if00\n"
                   "/dev/ttyS0    (serial8250)\n"
                   "/dev/ttyUSB0  10c4:ea60 Silicon Labs CP2102 USB to UART Bridge Controller (cp210x)  "
                   "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0\n",
                   ""},
        // An alias without a description still lines up; a line never ends in blanks.
        ReportCase{"AliasOnly",
                   {{"/dev/ttyUSB0", "/dev/serial/by-id/x", "", "", "", "", ""},
                    {"/dev/ttyUSB10", "", "ftdi_sio", "", "", "", ""}},
                   false,
                   "/dev/ttyUSB0               /dev/serial/by-id/x\n"
                   "/dev/ttyUSB10  (ftdi_sio)\n",
                   ""},
        ReportCase{"ColumnEmptyOnEveryLineTakesNoRoom",
                   {{"/dev/ttyUSB0", "/dev/serial/by-id/x", "", "", "", "", ""},
                    {"/dev/ttyUSB10", "/dev/serial/by-id/y", "", "", "", "", ""}},
                   false,
                   "/dev/ttyUSB0   /dev/serial/by-id/x\n"
                   "/dev/ttyUSB10  /dev/serial/by-id/y\n",
                   ""},
        ReportCase{"ManufacturerAlreadyInProduct",
                   {{"/dev/ttyUSB0", "", "pl2303", "067b:2303", "Prolific", "Prolific USB-Serial Controller", ""},
                    {"/dev/ttyUSB1", "", "pl2303", "067b:2303", "Pro", "Prolific USB-Serial Controller", ""}},
                   false,
                   "/dev/ttyUSB0  067b:2303 Prolific USB-Serial Controller (pl2303)\n"
                   "/dev/ttyUSB1  067b:2303 Pro Prolific USB-Serial Controller (pl2303)\n",
                   ""},
        // Widths count characters, not bytes: both aliases start in the same column.
        ReportCase{"MultibyteCharactersAlign",
                   {{"/dev/ttyUSB0", "/dev/serial/by-id/a", "", "", "", "Caf\xc3\xa9", ""},
                    {"/dev/ttyUSB1", "/dev/serial/by-id/b", "", "", "", "Cafe", ""}},
                   false,
                   "/dev/ttyUSB0  Caf\xc3\xa9  /dev/serial/by-id/a\n"
                   "/dev/ttyUSB1  Cafe  /dev/serial/by-id/b\n",
                   ""},
        // Control characters (C0, DEL, C1) and broken bytes could end the line or steer the terminal.
        ReportCase{"ControlCharactersAndBrokenBytesMasked",
                   {{"/dev/ttyUSB0", "", "", "", "", "A\nB\x1b[31mC\x7f\xc2\x9b\xff\"D\"", ""}},
                   false,
                   "/dev/ttyUSB0  A?B?[31mC???\"D\"\n",
                   ""}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Json, PortsReport,
    ::testing::Values(
        ReportCase{"NoPortsIsAnEmptyArray", {}, true, "[]\n", ""},
        ReportCase{"EmptyFieldsOmittedButDevice",
                   {kUart, PortInfo{}},
                   true,
                   "[{\"device\": \"/dev/ttyS0\", \"driver\": \"serial8250\"}, {\"device\": \"\"}]\n",
                   ""},
        ReportCase{"EveryField",
                   {kCp2102},
                   true,
                   "[{\"device\": \"/dev/ttyUSB0\", "
                   "\"by_id\": "
                   "\"/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0\", "
                   "\"driver\": \"cp210x\", \"usb_id\": \"10c4:ea60\", \"manufacturer\": \"Silicon Labs\", "
                   "\"product\": \"CP2102 USB to UART Bridge Controller\", \"serial\": \"0001\"}]\n",
                   ""},
        ReportCase{"QuoteBackslashAndControlCharactersEscaped",
                   {{"/dev/ttyUSB0", "", "", "", "Acme \"Labs\"", "Bridge\x01\\x\n\r\t\x1f\x7f", ""}},
                   true,
                   "[{\"device\": \"/dev/ttyUSB0\", \"manufacturer\": \"Acme \\\"Labs\\\"\", "
                   "\"product\": \"Bridge\\u0001\\\\x\\n\\r\\t\\u001f\\u007f\"}]\n",
                   ""},
        // Valid UTF-8 passes as it is; what is not UTF-8 becomes U+FFFD, byte by byte.
        ReportCase{"Utf8KeptBrokenBytesReplaced",
                   {{"/dev/ttyUSB0", "", "", "", "",
                     "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1|\xff|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80|\xc3", ""}},
                   true,
                   "[{\"device\": \"/dev/ttyUSB0\", \"product\": \"Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1"
                   "|\\ufffd|\\ufffd\\ufffd|\\ufffd\\ufffd\\ufffd|\\ufffd\\ufffd\\ufffd\\ufffd|\\ufffd\"}]\n",
                   ""},
        // A broken sequence loses only its lead byte: the ASCII after it survives.
        ReportCase{"TruncatedSequenceKeepsWhatFollows",
                   {{"/dev/ttyUSB0", "", "", "", "", "\xe2\x82X", ""}},
                   true,
                   "[{\"device\": \"/dev/ttyUSB0\", \"product\": \"\\ufffd\\ufffdX\"}]\n",
                   ""}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace corvanta::cli
