#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/ModuleFrame.h"
#include "sim/ModuleBehaviour.h"

namespace {

using corvanta::BuildModuleFrame;
using corvanta::sim::AnswerRequest;
using corvanta::sim::ModuleState;
using corvanta::sim::RequestParser;
using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t command, Bytes payload) { return BuildModuleFrame(command, payload); }

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<Bytes> FeedAll(RequestParser &parser, const Bytes &stream) {
    std::vector<Bytes> frames;
    for (std::uint8_t b : stream)
        if (auto frame = parser.Feed(b))
            frames.push_back(*frame);
    return frames;
}

// ---- RequestParser ------------------------------------------------------

struct ParserCase {
    std::string name;
    Bytes stream;
    std::vector<Bytes> expected;
};

const Bytes kReadChannel = Frame(0x06, {0x00, 0x00});
const Bytes kWriteId3338 = Frame(0x0C, {0x0D, 0x0A});

Bytes WithChecksum(Bytes frame, std::uint8_t checksum) {
    frame[frame.size() - 3] = checksum;
    return frame;
}

std::vector<ParserCase> ParserCases() {
    const Bytes badChecksum = WithChecksum(kReadChannel, static_cast<std::uint8_t>(kReadChannel[10] + 1));
    Bytes noLineFeed = kReadChannel;
    noLineFeed.back() = 0x0B;
    // Header and command, then the next frame: its first byte reads as a length of 0xAF.
    const Bytes truncated(kReadChannel.begin(), kReadChannel.begin() + 7);
    return {
        {"GarbageBeforeFrame",
         Join({{0x00, 0xFF, 0x0D, 0x0A, 0xAF, 0xAF, 0x00, 0xAF, 0xAF, 0xAF}, kReadChannel}),
         {kReadChannel}},
        {"TwoFramesBackToBack", Join({kReadChannel, kWriteId3338}), {kReadChannel, kWriteId3338}},
        {"BadChecksumSkipped", Join({badChecksum, kWriteId3338}), {kWriteId3338}},
        {"MissingLineFeedSkipped", Join({noLineFeed, kReadChannel}), {kReadChannel}},
        {"PayloadHoldsCrLf", kWriteId3338, {kWriteId3338}},
        {"PayloadHoldsHeaderBytes", Frame(0x0C, {0xAF, 0xAF}), {Frame(0x0C, {0xAF, 0xAF})}},
        {"TruncatedFrameDoesNotSwallowNext", Join({truncated, kReadChannel}), {kReadChannel}},
        {"OtherPayloadLengths",
         Join({Frame(0x00, {}), Frame(0x00, {5, 0, 2, 0})}),
         {Frame(0x00, {}), Frame(0x00, {5, 0, 2, 0})}},
        {"OnlyGarbage", {0x0D, 0x0A, 0xAF, 0x80, 0x00, 0x0D, 0x0A}, {}},
    };
}

void PrintTo(const ParserCase &c, std::ostream *os) { *os << c.name; }

class ParserTest : public ::testing::TestWithParam<ParserCase> {};

TEST_P(ParserTest, ExtractsExactlyTheWellFormedFrames) {
    RequestParser parser;
    EXPECT_EQ(FeedAll(parser, GetParam().stream), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Streams, ParserTest, ::testing::ValuesIn(ParserCases()),
                         [](const auto &info) { return info.param.name; });

TEST(Parser, FrameCompletesOnItsLastByteOnlyAndAcrossCalls) {
    RequestParser parser;
    for (std::size_t i = 0; i + 1 < kWriteId3338.size(); ++i)
        EXPECT_FALSE(parser.Feed(kWriteId3338[i])) << "byte " << i;
    EXPECT_EQ(parser.Feed(kWriteId3338.back()), kWriteId3338);
    // The parser starts clean after a frame.
    EXPECT_EQ(FeedAll(parser, kReadChannel), std::vector<Bytes>{kReadChannel});
}

TEST(Parser, ResetDropsThePartialFrame) {
    RequestParser parser;
    FeedAll(parser, Bytes(kReadChannel.begin(), kReadChannel.begin() + 9));
    parser.Reset();
    EXPECT_TRUE(FeedAll(parser, Bytes(kReadChannel.begin() + 9, kReadChannel.end())).empty());
    EXPECT_EQ(FeedAll(parser, kReadChannel), std::vector<Bytes>{kReadChannel});
}

// ---- AnswerRequest ------------------------------------------------------

ModuleState Distinct() {
    ModuleState s;
    s.baud = 19200;
    s.parity = 2;
    s.channel = 7;
    s.band = 3;
    s.rfBaud = 4800;
    s.id = 0x1234;
    s.power = 5;
    return s;
}

struct AnswerCase {
    std::string name;
    std::uint8_t command;
    Bytes payload;
    std::optional<Bytes> replyPayload; // nothing: no answer
    ModuleState after;
    std::optional<std::uint32_t> newBaud = std::nullopt;
    std::optional<std::uint8_t> newParity = std::nullopt;
};

ModuleState With(void (*change)(ModuleState &)) {
    ModuleState s = Distinct();
    change(s);
    return s;
}

std::vector<AnswerCase> AnswerCases() {
    const ModuleState same = Distinct();
    return {
        {"Search", 0x00, {0, 0}, Bytes{7, 0, 3, 0}, same},
        {"ReadSerialParams", 0x02, {0, 0}, Bytes{5, 2}, same},
        {"ReadAirBaud", 0x04, {0, 0}, Bytes{3, 0}, same},
        {"ReadChannel", 0x06, {0, 0}, Bytes{7, 0}, same},
        {"ReadId", 0x0D, {0, 0}, Bytes{0x12, 0x34}, same},
        // The UART switch is reported, not applied: the reply still goes out at the old setting.
        {"WriteSerialParams", 0x01, {8, 1}, Bytes{8, 1}, same, 115200u, std::uint8_t{1}},
        {"WriteSerialParamsLowest", 0x01, {1, 0}, Bytes{1, 0}, same, 1200u, std::uint8_t{0}},
        {"WriteAirBaud", 0x03, {8, 0}, Bytes{8, 0}, With([](ModuleState &s) { s.rfBaud = 115200; })},
        {"WriteAirBaudLowest", 0x03, {1, 0}, Bytes{1, 0}, With([](ModuleState &s) { s.rfBaud = 1200; })},
        {"WriteChannelFirst", 0x05, {1, 0}, Bytes{1, 0}, With([](ModuleState &s) { s.channel = 1; })},
        {"WriteChannelLast", 0x05, {32, 0}, Bytes{32, 0}, With([](ModuleState &s) { s.channel = 32; })},
        {"WriteId", 0x0C, {0x0D, 0x0A}, Bytes{0x0D, 0x0A}, With([](ModuleState &s) { s.id = 3338; })},
        {"WriteIdHighest", 0x0C, {0xFF, 0xFF}, Bytes{0xFF, 0xFF}, With([](ModuleState &s) { s.id = 0xFFFF; })},
        {"WritePowerLowest", 0x13, {1, 0}, Bytes{1, 0}, With([](ModuleState &s) { s.power = 1; })},
        {"WritePowerHighest", 0x13, {7, 0}, Bytes{7, 0}, With([](ModuleState &s) { s.power = 7; })},
        {"SerialBaudCodeZero", 0x01, {0, 0}, std::nullopt, same},
        {"SerialBaudCodeNine", 0x01, {9, 0}, std::nullopt, same},
        {"SerialParityThree", 0x01, {4, 3}, std::nullopt, same},
        {"AirBaudCodeZero", 0x03, {0, 0}, std::nullopt, same},
        {"AirBaudCodeNine", 0x03, {9, 0}, std::nullopt, same},
        {"ChannelZero", 0x05, {0, 0}, std::nullopt, same},
        {"ChannelThirtyThree", 0x05, {33, 0}, std::nullopt, same},
        {"PowerZero", 0x13, {0, 0}, std::nullopt, same},
        {"PowerEight", 0x13, {8, 0}, std::nullopt, same},
        {"UnknownCommand07", 0x07, {0, 0}, std::nullopt, same},
        {"UnknownCommand14", 0x14, {1, 0}, std::nullopt, same},
        {"UnknownCommandFF", 0xFF, {0, 0}, std::nullopt, same},
        // Every request carries two payload bytes; anything else is no request.
        {"ShortPayload", 0x05, {9}, std::nullopt, same},
        {"LongPayload", 0x06, {0, 0, 0}, std::nullopt, same},
    };
}

void PrintTo(const AnswerCase &c, std::ostream *os) { *os << c.name; }

class AnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(AnswerTest, RepliesAndChangesStateAsTheModuleDoes) {
    const AnswerCase &c = GetParam();
    ModuleState state = Distinct();
    const auto answer = AnswerRequest(state, Frame(c.command, c.payload));
    EXPECT_EQ(state, c.after);
    if (!c.replyPayload) {
        EXPECT_FALSE(answer);
        return;
    }
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->reply, Frame(c.command, *c.replyPayload));
    EXPECT_EQ(answer->newBaud, c.newBaud);
    EXPECT_EQ(answer->newParity, c.newParity);
}

INSTANTIATE_TEST_SUITE_P(Commands, AnswerTest, ::testing::ValuesIn(AnswerCases()),
                         [](const auto &info) { return info.param.name; });

TEST(Answer, ReplyBytesOnTheWire) {
    ModuleState state = Distinct();
    const Bytes readChannel = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x06, 0x02, 0x00, 0x00, 0x95, 0x0D, 0x0A};
    const auto channel = AnswerRequest(state, readChannel);
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->reply, (Bytes{0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x06, 0x02, 0x07, 0x00, 0x9C, 0x0D, 0x0A}));

    const Bytes search = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x00, 0x02, 0x00, 0x00, 0x8F, 0x0D, 0x0A};
    const auto scan = AnswerRequest(state, search);
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->reply,
              (Bytes{0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x00, 0x04, 0x07, 0x00, 0x03, 0x00, 0x9B, 0x0D, 0x0A}));
}

} // namespace
