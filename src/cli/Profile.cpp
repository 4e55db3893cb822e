#include "Profile.h"

#include <fstream>
#include <limits>
#include <sstream>

#include "protocol/LineSettings.h"

namespace corvanta::cli {
namespace {

using Json = nlohmann::ordered_json;

std::int64_t WholeNumber(const std::string &file, const Json &value, const std::string &key, std::int64_t low,
                         std::int64_t high) {
    if (!value.is_number_integer() || value.get<std::int64_t>() < low || value.get<std::int64_t>() > high)
        throw ProfileError(file + ": \"" + key + "\" must be a whole number from " + std::to_string(low) + " to " +
                           std::to_string(high) + ", not " + value.dump());
    return value.get<std::int64_t>();
}

std::uint32_t Rate(const std::string &file, const Json &value, const std::string &key) {
    // Checked as the 64-bit number it is: cut to 32 bits first, 2^32 + 9600 would pass as 9600.
    const std::int64_t rate = value.is_number_integer() ? value.get<std::int64_t>() : -1;
    if (rate < 0 || rate > std::numeric_limits<std::uint32_t>::max() ||
        !IsSupportedBaudRate(static_cast<std::uint32_t>(rate)))
        throw ProfileError(file + ": \"" + key + "\" must be one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, " +
                           "115200, not " + value.dump());
    return static_cast<std::uint32_t>(rate);
}

} // namespace

Profile LoadProfile(const std::string &path) {
    std::ifstream in(path);
    if (!in)
        throw ProfileError("cannot read profile " + path);
    Json doc;
    try {
        doc = Json::parse(in);
    } catch (const Json::exception &e) {
        throw ProfileError(path + " is not valid JSON: " + e.what());
    }
    if (!doc.is_object())
        throw ProfileError(path + ": a profile is one JSON object");
    if (!doc.contains("format"))
        throw ProfileError(path + ": missing key \"format\"");
    if (doc["format"] != kProfileFormat)
        throw ProfileError(path + ": \"format\" must be " + std::to_string(kProfileFormat) + ", not " +
                           doc["format"].dump());

    Profile profile;
    for (const auto &[key, value] : doc.items()) {
        if (value.is_null())
            throw ProfileError(path + ": \"" + key + "\" has no value");
        if (key == "format") {
        } else if (key == "channel") {
            profile.channel = static_cast<std::uint8_t>(WholeNumber(path, value, key, 1, 32));
        } else if (key == "rf_baud") {
            profile.rfBaud = Rate(path, value, key);
        } else if (key == "serial_baud") {
            profile.serialBaud = Rate(path, value, key);
        } else if (key == "parity") {
            const auto parity = value.is_string() ? ParityFromName(value.get<std::string>()) : std::nullopt;
            if (!parity)
                throw ProfileError(path + ": \"parity\" must be \"none\", \"odd\" or \"even\", not " + value.dump());
            profile.serialParity = *parity;
        } else if (key == "id") {
            profile.id = static_cast<std::uint16_t>(WholeNumber(path, value, key, 0, 65535));
        } else if (key == "power") {
            profile.power = static_cast<std::uint8_t>(WholeNumber(path, value, key, 1, 7));
        } else if (key == "band") {
            // Reported by the module with its channel; it cannot be written, so it is only checked.
            WholeNumber(path, value, key, 0, 255);
        } else if (key == "frequency") {
            if (!value.is_string())
                throw ProfileError(path + ": \"frequency\" must be a text such as \"433.0682MHz\", not " +
                                   value.dump());
        } else {
            throw ProfileError(path + ": unknown key \"" + key + "\"");
        }
    }
    // The two travel in one request: half of it cannot be written.
    if (profile.serialBaud.has_value() != profile.serialParity.has_value())
        throw ProfileError(path + ": \"" + std::string(profile.serialBaud ? "serial_baud" : "parity") + "\" needs \"" +
                           (profile.serialBaud ? "parity" : "serial_baud") + "\" too");
    if (!profile.channel && !profile.rfBaud && !profile.serialBaud && !profile.id && !profile.power)
        throw ProfileError(path + ": nothing to apply");
    return profile;
}

std::string ProfileText(const nlohmann::ordered_json &values) {
    Json doc = Json::object();
    doc["format"] = kProfileFormat;
    for (const auto &[key, value] : values.items())
        doc[key] = value;
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace corvanta::cli
