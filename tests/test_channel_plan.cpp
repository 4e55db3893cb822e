#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/ChannelPlan.h"

namespace corvanta {
namespace {

struct PlanEntry {
    std::uint8_t band;
    int index;
    std::string_view text;
};

// Every channel of both plans, as the module's documentation lists them.
const std::vector<PlanEntry> &FullPlan() {
    static const std::vector<PlanEntry> plan = [] {
        const std::string_view plan32[] = {
            "433.0782MHz", "433.5785MHz", "433.0688MHz", "433.5672MHz", "433.0682MHz", "433.5674MHz", "433.0761MHz",
            "433.5788MHz", "432.5667MHz", "432.0547MHz", "431.5832MHz", "431.0622MHz", "430.5552MHz", "430.0482MHz",
            "429.5762MHz", "429.5072MHz", "437.0032MHz", "437.5567MHz", "438.0443MHz", "438.5644MHz", "428.5088MHz",
            "428.0542MHz", "427.5087MHz", "427.0572MHz", "439.5943MHz", "439.0698MHz", "440.5134MHz", "440.0657MHz",
            "426.5190MHz", "426.0124MHz", "425.5672MHz", "424.0528MHz",
        };
        const std::string_view plan8[] = {
            "487.5072MHz", "488.4289MHz", "489.2329MHz", "489.9260MHz",
            "490.6942MHz", "491.1580MHz", "491.7360MHz", "492.4388MHz",
        };
        std::vector<PlanEntry> all;
        for (int i = 0; i < 32; ++i)
            all.push_back({kBand32Channels, i, plan32[i]});
        for (int i = 0; i < 8; ++i)
            all.push_back({kBand8Channels, i, plan8[i]});
        return all;
    }();
    return plan;
}

TEST(ChannelPlan, EveryChannelHasItsFrequencyText) {
    ASSERT_EQ(FullPlan().size(), 40u);
    for (const auto &entry : FullPlan()) {
        const auto text = ChannelFrequency(entry.band, entry.index);
        ASSERT_TRUE(text.has_value()) << "band " << int(entry.band) << " index " << entry.index;
        EXPECT_EQ(*text, entry.text) << "band " << int(entry.band) << " index " << entry.index;
    }
}

TEST(ChannelPlan, EveryTextIsDddDotDdddMHz) {
    for (const auto &entry : FullPlan()) {
        const std::string_view text = *ChannelFrequency(entry.band, entry.index);
        ASSERT_EQ(text.size(), 11u) << text;
        for (std::size_t i = 0; i < 8; ++i) {
            if (i == 3)
                EXPECT_EQ(text[i], '.') << text;
            else
                EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text[i]))) << text;
        }
        EXPECT_EQ(text.substr(8), "MHz");
    }
}

TEST(ChannelPlan, NothingOutsideThePlans) {
    for (int band = 0; band < 256; ++band) {
        const auto code = static_cast<std::uint8_t>(band);
        const int count = band == 2 ? 32 : band == 3 ? 8 : 0;
        EXPECT_EQ(ChannelCount(code), count) << "band " << band;
        for (const int index : {-1000, -1, 0, 1, 7, 8, 31, 32, 33, 255, 256}) {
            const bool inPlan = index >= 0 && index < count;
            EXPECT_EQ(ChannelFrequency(code, index).has_value(), inPlan) << "band " << band << " index " << index;
        }
    }
}

} // namespace
} // namespace corvanta
