#include "LineSettings.h"

#include <algorithm>

namespace corvanta {

std::uint8_t BaudCodeFromRate(std::uint32_t rate) {
    auto it = std::find(kBaudRates.begin(), kBaudRates.end(), rate);
    return it == kBaudRates.end() ? 0 : static_cast<std::uint8_t>(it - kBaudRates.begin() + 1);
}

std::uint32_t RateFromBaudCode(std::uint8_t code) {
    return code >= 1 && code <= kBaudRates.size() ? kBaudRates[code - 1] : 0;
}

bool IsSupportedBaudRate(std::uint32_t rate) { return BaudCodeFromRate(rate) != 0; }

std::string_view ParityName(std::uint32_t code) { return code < kParityNames.size() ? kParityNames[code] : ""; }

std::optional<std::uint8_t> ParityFromName(std::string_view name) {
    for (std::size_t i = 0; i < kParityNames.size(); ++i)
        if (kParityNames[i] == name)
            return static_cast<std::uint8_t>(i);
    return std::nullopt;
}

} // namespace corvanta
