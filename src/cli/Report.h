#pragma once

#include <cstdint>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace corvanta::cli {

// Values a module reported; unset ones were not asked for.
struct ModuleValues {
    std::optional<std::uint8_t> channel;
    std::optional<std::uint8_t> band;
    std::optional<std::uint8_t> rfBaudCode;
    std::optional<std::uint8_t> comBaudCode;
    std::optional<std::uint8_t> comParity;
    std::optional<std::uint16_t> id;
};

// What a command found: lines for people, one JSON object for scripts.
class Report {
public:
    void Add(const std::string &key, nlohmann::ordered_json value) { json[key] = std::move(value); }
    void Line(std::string text) { lines.push_back(std::move(text)); }

    // Channel with its frequency in the band's plan, when the band is known.
    void Channel(std::uint8_t channel, std::optional<std::uint8_t> band, const std::string &note = "");
    void Band(std::uint8_t band);
    void RfBaud(std::uint8_t code, const std::string &note = "");
    void Serial(std::uint8_t baudCode, std::uint8_t parityCode, const std::string &note = "");
    void Id(std::uint16_t id, const std::string &note = "");
    void Values(const ModuleValues &values);

    void Print(std::ostream &out, bool asJson) const;
    const std::vector<std::string> &Lines() const { return lines; }
    const nlohmann::ordered_json &Json() const { return json; }

private:
    std::vector<std::string> lines;
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
};

// "rf-baud: 9600", or the code as it came when it names no known rate.
std::string RateText(std::uint8_t code);
std::string SerialText(std::uint8_t baudCode, std::uint8_t parityCode);
std::string IdText(std::uint16_t id);

} // namespace corvanta::cli
