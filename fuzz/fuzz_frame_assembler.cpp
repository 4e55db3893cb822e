// Feeds arbitrary received bytes to the frame assembler and checks it after
// every byte against a small model of its own.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "serial/NerloSerial.h"

namespace {

using corvanta::ReplyFields;
using Member = std::uint8_t ReplyFields::*;

constexpr std::uint32_t kMessageId = 0x4C21;
constexpr std::size_t kMaxFrame = 21;

struct Slot {
    Member member;
    std::size_t position;
    const char *name;
};

// Kept apart from the source on purpose: a mistake there must not hide here.
std::vector<Slot> RowOf(std::uint8_t command) {
    switch (command) {
    case 0x00:
        return {{&ReplyFields::scanChannel, 8, "scanChannel"}, {&ReplyFields::bandCode, 10, "bandCode"}};
    case 0x01:
    case 0x02:
        return {{&ReplyFields::comBaudCode, 8, "comBaudCode"}, {&ReplyFields::comParity, 9, "comParity"}};
    case 0x03:
    case 0x04:
        return {{&ReplyFields::rfBaudCode, 8, "rfBaudCode"}};
    case 0x05:
    case 0x06:
        return {{&ReplyFields::channel, 8, "channel"}};
    case 0x0C:
    case 0x0D:
        return {{&ReplyFields::guestIdHigh, 8, "guestIdHigh"}, {&ReplyFields::guestIdLow, 9, "guestIdLow"}};
    default:
        return {};
    }
}

const Slot kEveryMember[] = {
    {&ReplyFields::lastCommand, 6, "lastCommand"}, {&ReplyFields::scanChannel, 8, "scanChannel"},
    {&ReplyFields::bandCode, 10, "bandCode"},      {&ReplyFields::comBaudCode, 8, "comBaudCode"},
    {&ReplyFields::comParity, 9, "comParity"},     {&ReplyFields::rfBaudCode, 8, "rfBaudCode"},
    {&ReplyFields::channel, 8, "channel"},         {&ReplyFields::guestIdHigh, 8, "guestIdHigh"},
    {&ReplyFields::guestIdLow, 9, "guestIdLow"},
};

const std::uint8_t *gInput = nullptr;
std::size_t gInputSize = 0;
std::size_t gIndex = 0;

[[noreturn]] void Fail(const char *what) {
    std::fprintf(stderr, "\nframe assembler invariant violated after input byte %zu: %s\ninput:", gIndex, what);
    for (std::size_t i = 0; i < gInputSize; ++i)
        std::fprintf(stderr, " %02X", gInput[i]);
    std::fprintf(stderr, "\n");
    std::abort();
}

void Check(bool ok, const char *what) {
    if (!ok)
        Fail(what);
}

void PrintFields(const char *label, const ReplyFields &f) {
    std::fprintf(stderr, "%s:", label);
    for (const Slot &s : kEveryMember)
        std::fprintf(stderr, " %s=%02X", s.name, f.*s.member);
    std::fprintf(stderr, "\n");
}

void CheckFields(const ReplyFields &actual, const ReplyFields &expected, const char *what) {
    if (actual == expected)
        return;
    PrintFields("actual  ", actual);
    PrintFields("expected", expected);
    Fail(what);
}

struct Recorder final : corvanta::NotifyTarget {
    struct Note {
        std::uint32_t id;
        ReplyFields fields;
    };
    std::vector<Note> notes;
    int portLost = 0;

    void PostReplyMessage(std::uint32_t messageId, const ReplyFields &reply) override {
        notes.push_back({messageId, reply});
    }
    void PostPortLost(const corvanta::SerialError &) override { ++portLost; }
};

// What the assembler should hold: the bytes of the frame in progress and
// the values of every frame completed so far.
struct Model {
    std::vector<std::uint8_t> collected;
    ReplyFields fields;
    std::size_t frames = 0;

    // The completed frame, if this byte completed one.
    std::optional<std::vector<std::uint8_t>> Feed(std::uint8_t byte) {
        if (collected.empty() && byte != 0xAF)
            return std::nullopt;
        collected.push_back(byte);
        const std::size_t n = collected.size();
        if (n >= 2 && collected[n - 2] == 0x0D && collected[n - 1] == 0x0A) {
            std::vector<std::uint8_t> frame = std::move(collected);
            collected.clear();
            Apply(frame);
            ++frames;
            return frame;
        }
        if (n >= kMaxFrame)
            collected.clear();
        return std::nullopt;
    }

    static std::uint8_t At(const std::vector<std::uint8_t> &frame, std::size_t position) {
        return position < frame.size() ? frame[position] : 0;
    }

    void Apply(const std::vector<std::uint8_t> &frame) {
        fields.lastCommand = At(frame, 6);
        for (const Slot &s : RowOf(fields.lastCommand))
            fields.*s.member = At(frame, s.position);
    }
};

void CheckFrameShape(const std::vector<std::uint8_t> &frame) {
    const std::size_t n = frame.size();
    Check(n >= 3 && n <= kMaxFrame, "announced frame is not 3..21 bytes long");
    Check(frame[0] == 0xAF, "announced frame does not begin with 0xAF");
    Check(frame[n - 2] == 0x0D && frame[n - 1] == 0x0A, "announced frame does not end with CR LF");
    for (std::size_t i = 0; i + 2 < n; ++i)
        Check(!(frame[i] == 0x0D && frame[i + 1] == 0x0A), "announced frame does not end at its first CR LF");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    gInput = data;
    gInputSize = size;
    gIndex = 0;

    Recorder recorder;
    corvanta::NerloSerial serial;
    serial.SetNotifyWindow(&recorder, kMessageId);
    Model model;

    Check(serial.RxLength() == 0, "a fresh assembler holds bytes");
    CheckFields(serial.GetReplyFields(), ReplyFields{}, "a fresh assembler has values");

    for (std::size_t i = 0; i < size; ++i) {
        gIndex = i;
        const ReplyFields before = serial.GetReplyFields();
        const std::size_t notesBefore = recorder.notes.size();

        serial.OnReceiveByte(data[i]);
        const auto completed = model.Feed(data[i]);

        const int rx = serial.RxLength();
        Check(rx >= 0 && rx <= static_cast<int>(kMaxFrame) - 1, "RxLength() outside 0..20");
        Check(static_cast<std::size_t>(rx) == model.collected.size(), "RxLength() differs from the model");
        Check(recorder.portLost == 0, "PostPortLost without a port");

        const ReplyFields after = serial.GetReplyFields();
        if (!completed) {
            Check(recorder.notes.size() == notesBefore, "notification on a byte that completes no frame");
            CheckFields(after, before, "values changed on a byte that completes no frame");
        } else {
            CheckFrameShape(*completed);
            Check(recorder.notes.size() == notesBefore + 1, "not exactly one notification for a complete frame");
            const auto &note = recorder.notes.back();
            Check(note.id == kMessageId, "notification carries the wrong message id");
            CheckFields(note.fields, after, "notification copy differs from GetReplyFields()");

            const std::uint8_t command = Model::At(*completed, 6);
            Check(after.lastCommand == command, "lastCommand is not frame byte 6");
            const auto row = RowOf(command);
            for (const Slot &s : kEveryMember) {
                if (s.member == &ReplyFields::lastCommand)
                    continue;
                bool inRow = false;
                for (const Slot &r : row)
                    if (r.member == s.member) {
                        inRow = true;
                        Check(after.*s.member == Model::At(*completed, r.position),
                              "a member of the command's row does not hold its frame byte");
                    }
                if (!inRow && after.*s.member != before.*s.member) {
                    std::fprintf(stderr, "member %s changed for command %02X\n", s.name, command);
                    Fail("a member outside the command's row changed");
                }
            }
        }
        Check(recorder.notes.size() == model.frames, "notification count differs from the model's frame count");
        CheckFields(after, model.fields, "values differ from the model");
    }
    return 0;
}
