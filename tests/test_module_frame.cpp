#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/ModuleFrame.h"
#include "protocol/Requests.h"

namespace corvanta {
namespace {

using Bytes = std::vector<std::uint8_t>;

class RecordingWriter : public FrameWriter {
public:
    int open = 1;
    int writeResult = 1;
    int writeCalls = 0;
    Bytes written;

    int IsOpen() const override { return open; }
    int Write(const std::uint8_t *data, std::uint32_t count) override {
        ++writeCalls;
        written.insert(written.end(), data, data + count);
        return writeResult;
    }
};

struct RequestCase {
    std::string name;
    std::function<bool(FrameWriter &)> send;
    Bytes frame;
};

void PrintTo(const RequestCase &c, std::ostream *os) { *os << c.name; }

const RequestCase kRequests[] = {
    {"Search",
     [](FrameWriter &w) { return SendScanRadio(w); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x00, 0x02, 0x00, 0x00, 0x8F, 0x0D, 0x0A}},
    {"ReadSerialParameters",
     [](FrameWriter &w) { return SendReadRequest(w, CmdComParamRead); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x02, 0x02, 0x00, 0x00, 0x91, 0x0D, 0x0A}},
    {"WriteSerialParameters",
     [](FrameWriter &w) { return SendComParam(w, 8, 2); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x01, 0x02, 0x08, 0x02, 0x9A, 0x0D, 0x0A}},
    {"WriteAirBaud",
     [](FrameWriter &w) { return SendRfBaudRate(w, 4); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x03, 0x02, 0x04, 0x00, 0x96, 0x0D, 0x0A}},
    {"WriteChannel",
     [](FrameWriter &w) { return SendChannel(w, 32); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x05, 0x02, 0x20, 0x00, 0xB4, 0x0D, 0x0A}},
    {"ReadChannel",
     [](FrameWriter &w) { return SendReadRequest(w, CmdChannelRead); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x06, 0x02, 0x00, 0x00, 0x95, 0x0D, 0x0A}},
    // The bytes sum to 0xFF, which goes out as checksum 0x00.
    {"WriteId100",
     [](FrameWriter &w) { return SendGuestId(w, 100); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0C, 0x02, 0x00, 0x64, 0x00, 0x0D, 0x0A}},
    {"WriteIdKeepsLow16Bits",
     [](FrameWriter &w) { return SendGuestId(w, 65536); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0C, 0x02, 0x00, 0x00, 0x9B, 0x0D, 0x0A}},
    // A payload of CR LF is sent as it is; the frame stays 13 bytes.
    {"WriteIdThatIsCrLf",
     [](FrameWriter &w) { return SendGuestId(w, 3338); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0C, 0x02, 0x0D, 0x0A, 0xB2, 0x0D, 0x0A}},
    {"ReadId",
     [](FrameWriter &w) { return SendReadRequest(w, CmdGuestIdRead); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0D, 0x02, 0x00, 0x00, 0x9C, 0x0D, 0x0A}},
    {"WritePower",
     [](FrameWriter &w) { return SendPower(w, 7); },
     {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x13, 0x02, 0x07, 0x00, 0xA9, 0x0D, 0x0A}},
};

class RequestFrame : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestFrame, WritesExactlyTheFrameInOneWrite) {
    RecordingWriter writer;
    EXPECT_TRUE(GetParam().send(writer));
    EXPECT_EQ(writer.written, GetParam().frame);
    EXPECT_EQ(writer.writeCalls, 1);
}

TEST_P(RequestFrame, ClosedWriterGetsNoByteAndRequestFails) {
    RecordingWriter writer;
    writer.open = 0;
    EXPECT_FALSE(GetParam().send(writer));
    EXPECT_EQ(writer.writeCalls, 0);
    EXPECT_TRUE(writer.written.empty());
}

TEST_P(RequestFrame, FailedWriteMakesRequestFail) {
    RecordingWriter writer;
    writer.writeResult = 0;
    EXPECT_FALSE(GetParam().send(writer));
}

INSTANTIATE_TEST_SUITE_P(AllRequests, RequestFrame, ::testing::ValuesIn(kRequests),
                         [](const ::testing::TestParamInfo<RequestCase> &info) { return info.param.name; });

TEST(FrameChecksum, IsTheByteSumWithFfFoldedToZero) {
    const struct {
        Bytes bytes;
        std::uint8_t checksum;
    } cases[] = {
        {{}, 0x00},           {{0xFE}, 0xFE},       {{0xFF}, 0x00},       {{0x80, 0x7F}, 0x00},
        {{0xFF, 0x01}, 0x00}, {{0xFF, 0xFF}, 0xFE}, {{0xFF, 0x02}, 0x01}, {{0xAF, 0xAF, 0xAF}, 0x0D},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FrameChecksum(c.bytes), c.checksum) << ::testing::PrintToString(c.bytes);
}

TEST(FrameChecksum, NeverFfForAnyTwoBytes) {
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b = 0; b < 256; ++b) {
            const std::uint8_t bytes[] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)};
            const unsigned wrapped = (a + b) & 0xFFu;
            ASSERT_EQ(FrameChecksum(bytes), wrapped == 0xFF ? 0 : wrapped) << a << " " << b;
        }
}

TEST(BuildModuleFrame, LengthByteIsLow8BitsAndOversizedPayloadGivesNothing) {
    const Bytes largest(kMaxPayload, 0x01);
    const auto frame = BuildModuleFrame(CmdPowerSet, largest);
    ASSERT_EQ(frame.size(), kFrameBufferSize);
    EXPECT_EQ(frame[7], static_cast<std::uint8_t>(kMaxPayload & 0xFF));
    EXPECT_EQ(frame[frame.size() - 2], 0x0D);
    EXPECT_EQ(frame[frame.size() - 1], 0x0A);

    const Bytes tooLarge(kMaxPayload + 1, 0x01);
    EXPECT_TRUE(BuildModuleFrame(CmdPowerSet, tooLarge).empty());
    RecordingWriter writer;
    EXPECT_FALSE(SendModuleFrame(writer, CmdPowerSet, tooLarge));
    EXPECT_EQ(writer.writeCalls, 0);
}

// A reply frame with bytes 8, 9 and 10 set to tell them apart.
Bytes ReplyFor(std::uint8_t command) {
    Bytes frame(kMaxReplyLength, 0x00);
    frame[6] = command;
    frame[8] = 0x11;
    frame[9] = 0x22;
    frame[10] = 0x33;
    return frame;
}

struct StoreCase {
    std::uint8_t command;
    std::function<void(ReplyFields &)> expectedChange;
};

void PrintTo(const StoreCase &c, std::ostream *os) { *os << "command " << int(c.command); }

class StoreReply : public ::testing::TestWithParam<StoreCase> {};

TEST_P(StoreReply, SetsLastCommandAndOnlyItsOwnRow) {
    ReplyFields fields{0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D};
    ReplyFields expected = fields;
    expected.lastCommand = GetParam().command;
    GetParam().expectedChange(expected);

    const Bytes frame = ReplyFor(GetParam().command);
    StoreReplyValues(frame.data(), fields);
    EXPECT_EQ(fields, expected);
}

const StoreCase kStoreCases[] = {
    {0x00, [](ReplyFields &f) { f.scanChannel = 0x11, f.bandCode = 0x33; }},
    {0x01, [](ReplyFields &f) { f.comBaudCode = 0x11, f.comParity = 0x22; }},
    {0x02, [](ReplyFields &f) { f.comBaudCode = 0x11, f.comParity = 0x22; }},
    {0x03, [](ReplyFields &f) { f.rfBaudCode = 0x11; }},
    {0x04, [](ReplyFields &f) { f.rfBaudCode = 0x11; }},
    {0x05, [](ReplyFields &f) { f.channel = 0x11; }},
    {0x06, [](ReplyFields &f) { f.channel = 0x11; }},
    {0x0C, [](ReplyFields &f) { f.guestIdHigh = 0x11, f.guestIdLow = 0x22; }},
    {0x0D, [](ReplyFields &f) { f.guestIdHigh = 0x11, f.guestIdLow = 0x22; }},
    {0x07, [](ReplyFields &) {}},
    {0x13, [](ReplyFields &) {}},
    {0x14, [](ReplyFields &) {}},
    {0xFF, [](ReplyFields &) {}},
};

INSTANTIATE_TEST_SUITE_P(PerCommand, StoreReply, ::testing::ValuesIn(kStoreCases),
                         [](const ::testing::TestParamInfo<StoreCase> &info) {
                             static const char *hex = "0123456789ABCDEF";
                             return std::string("Cmd") + hex[info.param.command >> 4] + hex[info.param.command & 0xF];
                         });

} // namespace
} // namespace corvanta
