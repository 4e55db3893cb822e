#include "Report.h"

#include <cstdio>
#include <ostream>

#include "protocol/ChannelPlan.h"
#include "protocol/LineSettings.h"

namespace corvanta::cli {
namespace {

std::string WithNote(std::string line, const std::string &note) {
    return note.empty() ? line : line + " (" + note + ")";
}

// A value the module sent that names nothing known is shown as it came, never mapped to a made-up one.
nlohmann::ordered_json RateJson(std::uint8_t code) {
    const std::uint32_t rate = RateFromBaudCode(code);
    return rate ? nlohmann::ordered_json(rate) : nlohmann::ordered_json(nullptr);
}

} // namespace

std::string RateText(std::uint8_t code) {
    const std::uint32_t rate = RateFromBaudCode(code);
    return rate ? std::to_string(rate) : "unknown rate code " + std::to_string(code);
}

std::string SerialText(std::uint8_t baudCode, std::uint8_t parityCode) {
    const std::string_view parity = ParityName(parityCode);
    return RateText(baudCode) + " " +
           (parity.empty() ? "unknown parity code " + std::to_string(parityCode) : std::string(parity));
}

std::string IdText(std::uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%05u", static_cast<unsigned>(id));
    return text;
}

void Report::Channel(std::uint8_t channel, std::optional<std::uint8_t> band, const std::string &note) {
    std::string line = "channel: " + std::to_string(channel);
    Add("channel", channel);
    if (band) {
        if (const auto frequency = ChannelFrequency(*band, channel - 1)) {
            Add("frequency", std::string(*frequency));
            line += " (" + std::string(*frequency) + ")";
        }
    }
    Line(WithNote(line, note));
}

void Report::Band(std::uint8_t band) {
    Add("band", band);
    Line("band: " + std::to_string(band));
}

void Report::RfBaud(std::uint8_t code, const std::string &note) {
    Add("rf_baud", RateJson(code));
    Line(WithNote("rf-baud: " + RateText(code), note));
}

void Report::Serial(std::uint8_t baudCode, std::uint8_t parityCode, const std::string &note) {
    const std::string_view parity = ParityName(parityCode);
    Add("serial_baud", RateJson(baudCode));
    Add("parity", parity.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(std::string(parity)));
    Line(WithNote("serial: " + SerialText(baudCode, parityCode), note));
}

void Report::Id(std::uint16_t id, const std::string &note) {
    Add("id", id);
    Line(WithNote("id: " + IdText(id), note));
}

void Report::Values(const ModuleValues &values) {
    if (values.channel)
        Channel(*values.channel, values.band);
    if (values.band)
        Band(*values.band);
    if (values.rfBaudCode)
        RfBaud(*values.rfBaudCode);
    if (values.comBaudCode && values.comParity)
        Serial(*values.comBaudCode, *values.comParity);
    if (values.id)
        Id(*values.id);
}

void Report::Print(std::ostream &out, bool asJson) const {
    if (asJson) {
        out << json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
        return;
    }
    for (const auto &line : lines)
        out << line << '\n';
}

} // namespace corvanta::cli
