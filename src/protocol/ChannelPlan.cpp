#include "ChannelPlan.h"

#include <array>

namespace corvanta {
namespace {

// Measured carrier frequencies; they follow no spacing rule, so they are stored, never computed.
constexpr std::array<std::string_view, 32> kPlan32 = {
    "433.0782MHz", "433.5785MHz", "433.0688MHz", "433.5672MHz", "433.0682MHz", "433.5674MHz", "433.0761MHz",
    "433.5788MHz", "432.5667MHz", "432.0547MHz", "431.5832MHz", "431.0622MHz", "430.5552MHz", "430.0482MHz",
    "429.5762MHz", "429.5072MHz", "437.0032MHz", "437.5567MHz", "438.0443MHz", "438.5644MHz", "428.5088MHz",
    "428.0542MHz", "427.5087MHz", "427.0572MHz", "439.5943MHz", "439.0698MHz", "440.5134MHz", "440.0657MHz",
    "426.5190MHz", "426.0124MHz", "425.5672MHz", "424.0528MHz",
};

constexpr std::array<std::string_view, 8> kPlan8 = {
    "487.5072MHz", "488.4289MHz", "489.2329MHz", "489.9260MHz",
    "490.6942MHz", "491.1580MHz", "491.7360MHz", "492.4388MHz",
};

template <std::size_t N>
std::optional<std::string_view> Lookup(const std::array<std::string_view, N> &plan, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= N)
        return std::nullopt;
    return plan[static_cast<std::size_t>(index)];
}

} // namespace

std::optional<std::string_view> ChannelFrequency(std::uint8_t bandCode, int channelIndex) {
    switch (bandCode) {
    case kBand32Channels:
        return Lookup(kPlan32, channelIndex);
    case kBand8Channels:
        return Lookup(kPlan8, channelIndex);
    default:
        return std::nullopt;
    }
}

int ChannelCount(std::uint8_t bandCode) {
    switch (bandCode) {
    case kBand32Channels:
        return static_cast<int>(kPlan32.size());
    case kBand8Channels:
        return static_cast<int>(kPlan8.size());
    default:
        return 0;
    }
}

} // namespace corvanta
