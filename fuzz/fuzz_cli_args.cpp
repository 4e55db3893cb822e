// Parses arbitrary command lines and checks that whatever ParseCli accepts is
// in range. Only the parser runs: nothing here may open a port.
//
// Input: arguments separated by NUL or LF, optionally followed by a 0x1E byte
// and the text of a profile file, which `profile apply settings.json` reads.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/CliApp.h"

namespace {

using namespace corvanta::cli;
namespace fs = std::filesystem;

constexpr std::size_t kMaxArgs = 16;
constexpr std::size_t kMaxArgLength = 256;
constexpr char kProfileSeparator = '\x1E';
constexpr const char *kProfileName = "settings.json";
constexpr std::uint32_t kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr std::string_view kKeywords[] = {"ports",   "read",   "write", "search", "profile", "save", "apply", "channel",
                                          "rf-baud", "serial", "id",    "power",  "all",     "none", "odd",   "even"};

const std::vector<std::string> *gArgs = nullptr;
fs::path gSandbox;

[[noreturn]] void Fail(const char *what) {
    std::fprintf(stderr, "\nParseCli invariant violated: %s\nargs (%zu):", what, gArgs->size());
    for (const auto &a : *gArgs) {
        std::fprintf(stderr, " \"");
        for (unsigned char c : a)
            std::fprintf(stderr, c >= 0x20 && c < 0x7F && c != '"' && c != '\\' ? "%c" : "\\x%02X", c);
        std::fprintf(stderr, "\"");
    }
    std::fprintf(stderr, "\n");
    std::abort();
}

void Check(bool ok, const char *what) {
    if (!ok)
        Fail(what);
}

bool IsRate(std::uint32_t rate) { return std::find(std::begin(kRates), std::end(kRates), rate) != std::end(kRates); }

std::size_t RateIndex(std::uint32_t rate) {
    return static_cast<std::size_t>(std::find(std::begin(kRates), std::end(kRates), rate) - std::begin(kRates));
}

bool IsOneOf(const std::string &s, std::initializer_list<const char *> names) {
    return std::any_of(names.begin(), names.end(), [&](const char *n) { return s == n; });
}

bool IsKeyword(const std::string &s) {
    return std::find(std::begin(kKeywords), std::end(kKeywords), s) != std::end(kKeywords);
}

bool MentionsProfile(const std::string &s) {
    std::string lower = s;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("profile") != std::string::npos;
}

// Arguments end at NUL or LF; an empty last piece is not an argument.
std::vector<std::string> SplitArgs(std::string_view text) {
    std::vector<std::string> args;
    std::string current;
    bool pending = false;
    for (std::size_t i = 0; i < text.size() && args.size() < kMaxArgs; ++i) {
        const char c = text[i];
        if (c == '\0' || c == '\n') {
            args.push_back(current);
            current.clear();
            pending = false;
            continue;
        }
        if (current.size() < kMaxArgLength)
            current += c;
        pending = true;
    }
    if (pending && args.size() < kMaxArgs)
        args.push_back(current);
    return args;
}

// `profile apply FILE` opens FILE while parsing. So that no input can name a
// device (a tty, /dev/stdin), every argument that could be FILE is moved into
// a private directory that holds only the profile from the input.
void ConfineProfilePaths(std::vector<std::string> &args) {
    bool afterDashes = false;
    for (auto &arg : args) {
        std::replace(arg.begin(), arg.end(), '/', '_');
        const bool positional = afterDashes || arg.empty() || arg[0] != '-';
        if (arg == "--")
            afterDashes = true;
        if (positional && !IsKeyword(arg))
            arg = (gSandbox / arg).string();
    }
}

void CheckWrite(const ParsedWrite &w) {
    if (w.what == "channel") {
        Check(w.value >= 1 && w.value <= 32, "write channel outside 1..32");
        Check(w.rate == 0 && w.parity == 0, "write channel carries a rate or parity");
    } else if (w.what == "rf-baud") {
        Check(IsRate(w.rate), "write rf-baud rate not in the list");
        Check(w.value == 0 && w.parity == 0, "write rf-baud carries a value or parity");
    } else if (w.what == "serial") {
        Check(IsRate(w.rate), "write serial rate not in the list");
        Check(w.parity <= 2, "write serial parity outside 0..2");
        Check(w.value == 0, "write serial carries a value");
    } else if (w.what == "id") {
        Check(w.value >= 0 && w.value <= 65535, "write id outside 0..65535");
        Check(w.rate == 0 && w.parity == 0, "write id carries a rate or parity");
    } else if (w.what == "power") {
        Check(w.value >= 1 && w.value <= 7, "write power outside 1..7");
        Check(w.rate == 0 && w.parity == 0, "write power carries a rate or parity");
    } else {
        Fail("write of an unknown value");
    }
}

void CheckSearch(const CliRequest &r) {
    const auto &order = r.searchOrder;
    Check(!order.empty(), "search order is empty");
    for (std::size_t i = 0; i < order.size(); ++i) {
        Check(IsRate(order[i].first) && order[i].second <= 2, "search order holds an invalid setting");
        if (i > 0)
            Check(order[i - 1] < order[i], "search order is not ascending");
    }
    Check(order.back() == std::make_pair(std::uint32_t{115200}, std::uint8_t{2}),
          "search order does not end at 115200 even");
    // Every combination from the first one on: 8 rates times 3 parities in all.
    const std::size_t first = RateIndex(order.front().first) * 3 + order.front().second;
    Check(order.size() == 24 - first, "search order skips combinations");
    Check(r.baud == order.front().first && r.parity == order.front().second,
          "search line setting is not the first of its order");
    Check(r.interval.count() >= 1 && r.interval.count() <= 600000, "search interval outside 1..600000 ms");
}

// An accepted profile holds exactly the file's values, each in range.
void CheckProfile(const CliRequest &r, const std::string &profileText) {
    const Profile &p = r.profile;
    Check(!p.channel || (*p.channel >= 1 && *p.channel <= 32), "profile channel outside 1..32");
    Check(!p.rfBaud || IsRate(*p.rfBaud), "profile rf_baud not in the list");
    Check(p.serialBaud.has_value() == p.serialParity.has_value(), "profile has half of the serial parameters");
    Check(!p.serialBaud || IsRate(*p.serialBaud), "profile serial_baud not in the list");
    Check(!p.serialParity || *p.serialParity <= 2, "profile parity outside 0..2");
    Check(!p.power || (*p.power >= 1 && *p.power <= 7), "profile power outside 1..7");
    Check(p.channel || p.rfBaud || p.serialBaud || p.id || p.power, "profile with nothing to apply");

    // Only the input's file can be read from the sandbox.
    Check(r.profilePath == (gSandbox / kProfileName).string(), "profile read from a file the input did not give");
    const auto doc = nlohmann::ordered_json::parse(profileText, nullptr, false);
    Check(doc.is_object(), "accepted profile is not a JSON object");
    auto same = [&](const char *key, const auto &field) {
        if (!doc.contains(key)) {
            Check(!field.has_value(), "profile has a value its file does not");
            return;
        }
        const auto &value = doc.at(key);
        Check(field.has_value(), "profile lost a value of its file");
        Check(value.is_number_integer() && value == nlohmann::ordered_json(*field),
              "profile value differs from its file's number");
    };
    same("channel", p.channel);
    same("rf_baud", p.rfBaud);
    same("serial_baud", p.serialBaud);
    same("id", p.id);
    same("power", p.power);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::string dir = (fs::temp_directory_path() / "corvanta-fuzz-cli.XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    gSandbox = dir;
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(gSandbox, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t separator = input.find(kProfileSeparator);
    std::vector<std::string> args = SplitArgs(input.substr(0, separator));
    const std::string profileText(separator == std::string_view::npos ? std::string_view{}
                                                                      : input.substr(separator + 1));

    if (std::any_of(args.begin(), args.end(), MentionsProfile)) {
        ConfineProfilePaths(args);
        std::ofstream(gSandbox / kProfileName, std::ios::binary | std::ios::trunc) << profileText;
    }
    gArgs = &args;

    std::ostringstream out, err;
    const auto result = ParseCli(args, out, err);

    if (const int *code = std::get_if<int>(&result)) {
        Check(*code == kExitOk || *code == kExitUsage, "exit code neither 0 nor 2");
        if (*code == kExitUsage)
            Check(!err.str().empty(), "usage error without a message on err");
        else
            Check(!out.str().empty(), "exit code 0 without help on out");
        return 0;
    }

    const CliRequest &r = std::get<CliRequest>(result);
    Check(err.str().empty(), "accepted command line wrote to err");
    Check(IsRate(r.baud), "baud rate not in the list");
    Check(r.parity <= 2, "parity outside 0..2");
    Check(r.timeout.count() >= 1 && r.timeout.count() <= 600000, "timeout outside 1..600000 ms");
    switch (r.command) {
    case Command::Ports:
        return 0;
    case Command::Read:
        Check(IsOneOf(r.readWhat, {"channel", "rf-baud", "serial", "id", "all"}), "read of an unknown value");
        break;
    case Command::Write:
        CheckWrite(r.write);
        break;
    case Command::Search:
        CheckSearch(r);
        break;
    case Command::ProfileSave:
        Check(r.ports.size() <= 1, "profile save on several ports");
        break;
    case Command::ProfileApply:
        CheckProfile(r, profileText);
        break;
    default:
        Fail("unknown command");
    }
    Check(r.simulate != !r.ports.empty(), "not exactly one of ports and --simulate");
    Check(std::none_of(r.ports.begin(), r.ports.end(), [](const std::string &p) { return p.empty(); }),
          "an empty port name");
    return 0;
}
