#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvanta {

inline constexpr std::uint8_t kBand32Channels = 2;
inline constexpr std::uint8_t kBand8Channels = 3;

// The carrier frequency text ("433.0782MHz") of a channel index (channel
// number minus one) in the plan of a band code; nothing for a band without
// a plan or an index outside it.
std::optional<std::string_view> ChannelFrequency(std::uint8_t bandCode, int channelIndex);

// Number of channels in the plan of a band code, 0 when it has none.
int ChannelCount(std::uint8_t bandCode);

} // namespace corvanta
