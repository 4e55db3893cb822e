#include "PortsReport.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvanta::cli {
namespace {

// One UTF-8 character decoded from the front of text, or nothing when its
// first bytes are no well-formed sequence (overlong, surrogate, truncated,
// beyond U+10FFFF). length is how many bytes to consume either way.
struct Decoded {
    std::optional<char32_t> codePoint;
    std::size_t length;
};

Decoded DecodeUtf8(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    // Lead bytes C0, C1 and F5 up can only start overlong or out-of-range forms.
    struct Form {
        unsigned char firstLead, lastLead, payloadMask;
        std::size_t length;
        char32_t minimum;
    };
    static constexpr Form kForms[] = {
        {0xC2, 0xDF, 0x1F, 2, 0x80}, {0xE0, 0xEF, 0x0F, 3, 0x800}, {0xF0, 0xF4, 0x07, 4, 0x10000}};
    const Form *form = nullptr;
    for (const Form &f : kForms)
        if (lead >= f.firstLead && lead <= f.lastLead)
            form = &f;
    if (form == nullptr)
        return {std::nullopt, 1};
    const std::size_t length = form->length;
    char32_t codePoint = lead & form->payloadMask;
    for (std::size_t i = 1; i < length; ++i) {
        // A bad continuation byte starts the next character; only the lead is lost.
        if (i >= text.size() || (byte(i) & 0xC0) != 0x80)
            return {std::nullopt, 1};
        codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
    }
    if (codePoint < form->minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return {std::nullopt, 1};
    return {codePoint, length};
}

// C0, DEL and C1: a terminal may act on them, so they are never printed raw.
bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    while (!text.empty()) {
        const Decoded d = DecodeUtf8(text);
        const char32_t c = d.codePoint.value_or(0xFFFD);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (IsControl(c) || !d.codePoint) {
            // Bytes that are no UTF-8 would make the whole document unreadable to a strict parser.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            quoted += escaped;
        } else {
            quoted.append(text.substr(0, d.length));
        }
        text.remove_prefix(d.length);
    }
    return quoted + "\"";
}

// Text for a terminal: control characters and broken bytes become '?', so a
// strange product string can neither break the line nor steer the terminal.
struct Cell {
    std::string text;
    std::size_t width = 0; // in characters, for alignment
};

Cell TerminalCell(std::string_view text) {
    Cell cell;
    while (!text.empty()) {
        const Decoded d = DecodeUtf8(text);
        if (!d.codePoint || IsControl(*d.codePoint))
            cell.text += '?';
        else
            cell.text.append(text.substr(0, d.length));
        ++cell.width;
        text.remove_prefix(d.length);
    }
    return cell;
}

void AppendWord(std::string &line, std::string_view word) {
    if (word.empty())
        return;
    if (!line.empty())
        line += ' ';
    line += word;
}

// "10c4:ea60 Silicon Labs CP2102 USB to UART Bridge Controller (cp210x)"; the
// manufacturer is left out when the product already starts with it.
std::string Description(const PortInfo &port) {
    std::string text = port.usbId;
    const std::string_view product = port.product;
    const std::string_view maker = port.manufacturer;
    const bool makerInProduct = !maker.empty() && product.starts_with(maker) &&
                                (product.size() == maker.size() || product[maker.size()] == ' ');
    if (!makerInProduct)
        AppendWord(text, maker);
    AppendWord(text, product);
    if (!port.driver.empty())
        AppendWord(text, "(" + port.driver + ")");
    return text;
}

void PrintJson(const std::vector<PortInfo> &ports, std::ostream &out) {
    out << '[';
    const char *portSeparator = "";
    for (const auto &port : ports) {
        out << portSeparator << "{\"device\": " << JsonString(port.device);
        const std::pair<const char *, const std::string *> optional[] = {
            {"by_id", &port.byId},      {"driver", &port.driver},
            {"usb_id", &port.usbId},    {"manufacturer", &port.manufacturer},
            {"product", &port.product}, {"serial", &port.serial}};
        for (const auto &[key, value] : optional)
            if (!value->empty())
                out << ", \"" << key << "\": " << JsonString(*value);
        out << '}';
        portSeparator = ", ";
    }
    out << "]\n";
}

void PrintTable(const std::vector<PortInfo> &ports, std::ostream &out) {
    constexpr std::size_t kColumns = 3;
    std::vector<std::array<Cell, kColumns>> rows;
    std::array<std::size_t, kColumns> widths{};
    for (const auto &port : ports) {
        auto &row = rows.emplace_back(std::array<Cell, kColumns>{
            TerminalCell(port.device), TerminalCell(Description(port)), TerminalCell(port.byId)});
        for (std::size_t i = 0; i < kColumns; ++i)
            widths[i] = std::max(widths[i], row[i].width);
    }
    for (const auto &row : rows) {
        // Pad only up to the last cell that has something, so no line ends in
        // blanks; a column empty on every line takes no room.
        std::size_t last = 0;
        for (std::size_t i = 0; i < kColumns; ++i)
            if (row[i].width != 0)
                last = i;
        std::string line;
        bool first = true;
        for (std::size_t i = 0; i <= last; ++i) {
            if (widths[i] == 0)
                continue;
            if (!first)
                line += "  ";
            first = false;
            line += row[i].text;
            if (i != last)
                line.append(widths[i] - row[i].width, ' ');
        }
        out << line << '\n';
    }
}

} // namespace

void PrintPorts(const std::vector<PortInfo> &ports, bool json, std::ostream &out, std::ostream &err) {
    if (json)
        PrintJson(ports, out);
    else if (ports.empty())
        err << "corvanta-cli: no serial ports found\n";
    else
        PrintTable(ports, out);
}

} // namespace corvanta::cli
