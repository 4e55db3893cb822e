#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "Report.h"

namespace corvanta::cli {

// The settings a profile file asks for; unset ones are left alone.
struct Profile {
    std::optional<std::uint8_t> channel;
    std::optional<std::uint32_t> rfBaud;
    std::optional<std::uint32_t> serialBaud; // with serialParity, or neither
    std::optional<std::uint8_t> serialParity;
    std::optional<std::uint16_t> id;
    std::optional<std::uint8_t> power;
};

// A profile that cannot be used; the message names the file and the key.
struct ProfileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline constexpr int kProfileFormat = 1;

// Reads and checks a whole profile before anything is sent.
Profile LoadProfile(const std::string &path);

// The profile text for what was read from a module: the keys of --json plus "format".
std::string ProfileText(const nlohmann::ordered_json &values);

} // namespace corvanta::cli
