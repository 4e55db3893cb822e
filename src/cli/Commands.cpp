#include "Commands.h"

#include <functional>

#include "protocol/LineSettings.h"
#include "protocol/ModuleFrame.h"

namespace corvanta::cli {
namespace {

using std::chrono::milliseconds;

constexpr std::uint8_t kNoReadRequest = 0xFF;

// One value that a write request sets and, but for the power, a read request reads back.
struct Setting {
    std::string key;   // JSON key
    std::string label; // in messages
    std::uint8_t setCommand;
    std::uint8_t readCommand;
    std::function<bool(FrameWriter &)> send;
    std::function<int(const ReplyFields &)> readBack;
    int expected;
    std::function<std::string(int)> text;
    std::optional<std::pair<std::uint32_t, std::uint8_t>> newLine; // a serial write moves the module's UART
};

enum class Check { Skipped, Verified, NotVerifiable };

int SerialValue(std::uint8_t baudCode, std::uint8_t parity) { return baudCode << 8 | parity; }
std::string SerialValueText(int value) {
    return SerialText(static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF));
}
std::string Decimal(int value) { return std::to_string(value); }

Setting ChannelSetting(int channel) {
    return {"channel",
            "channel",
            CmdChannelSet,
            CmdChannelRead,
            [channel](FrameWriter &w) { return SendChannel(w, channel); },
            [](const ReplyFields &r) { return int{r.channel}; },
            channel,
            Decimal,
            std::nullopt};
}

Setting RfBaudSetting(std::uint32_t rate) {
    const std::uint8_t code = BaudCodeFromRate(rate);
    return {"rf_baud",
            "air baud rate",
            CmdRfBaudRateSet,
            CmdRfBaudRateRead,
            [code](FrameWriter &w) { return SendRfBaudRate(w, code); },
            [](const ReplyFields &r) { return int{r.rfBaudCode}; },
            code,
            [](int value) { return RateText(static_cast<std::uint8_t>(value)); },
            std::nullopt};
}

Setting IdSetting(int id) {
    return {"id",
            "ID",
            CmdGuestIdSet,
            CmdGuestIdRead,
            [id](FrameWriter &w) { return SendGuestId(w, id); },
            [](const ReplyFields &r) { return int{r.GuestId()}; },
            id,
            [](int value) { return IdText(static_cast<std::uint16_t>(value)); },
            std::nullopt};
}

Setting PowerSetting(int level) {
    return {
        "power", "power level", CmdPowerSet, kNoReadRequest, [level](FrameWriter &w) { return SendPower(w, level); },
        nullptr, level,         Decimal,     std::nullopt};
}

Setting SerialSetting(std::uint32_t rate, std::uint8_t parity) {
    const std::uint8_t code = BaudCodeFromRate(rate);
    return {"serial",
            "serial parameters",
            CmdComParamSet,
            CmdComParamRead,
            [code, parity](FrameWriter &w) { return SendComParam(w, code, parity); },
            [](const ReplyFields &r) { return SerialValue(r.comBaudCode, r.comParity); },
            SerialValue(code, parity),
            SerialValueText,
            std::pair{rate, parity}};
}

// Writes one setting and, when asked, reads it back to see that the module took it.
int WriteSetting(Session &session, const Setting &setting, milliseconds timeout, bool verify, Check &check) {
    int code = kExitOk;
    check = Check::Skipped;
    if (!session.Request(setting.setCommand, "write " + setting.label, timeout, setting.send, code))
        return code;
    if (!verify)
        return kExitOk;
    if (setting.readCommand == kNoReadRequest) {
        check = Check::NotVerifiable;
        return kExitOk;
    }
    if (setting.newLine) {
        // The module answered at the old setting and then switched: follow it.
        if ((code = session.Retime(setting.newLine->first, setting.newLine->second)))
            return code;
    }
    const auto back = session.Read(setting.readCommand, "read " + setting.label + " back", timeout, code);
    if (!back) {
        if (setting.newLine && code == kExitNoReply) {
            session.Err() << "corvanta-cli: verify failed on " << session.Device()
                          << ": the module acknowledged the serial parameters but does not answer at "
                          << SerialValueText(setting.expected) << '\n';
            return kExitVerify;
        }
        return code;
    }
    const int actual = setting.readBack(*back);
    if (actual != setting.expected) {
        session.Err() << "corvanta-cli: verify failed on " << session.Device() << ": wrote " << setting.label << " "
                      << setting.text(setting.expected) << ", the module reads back " << setting.text(actual) << '\n';
        return kExitVerify;
    }
    check = Check::Verified;
    return kExitOk;
}

std::string CheckNote(Check check) {
    switch (check) {
    case Check::Verified:
        return "verified";
    case Check::NotVerifiable:
        return "not verifiable: the module has no request to read it";
    default:
        return "";
    }
}

void AddCheck(Report &report, Check check) {
    if (check == Check::Verified)
        report.Add("verified", true);
    else if (check == Check::NotVerifiable)
        report.Add("verified", false);
}

// Reports a written setting under its own key; serial parameters under two.
void AddWritten(Report &report, const Setting &setting, const std::string &line) {
    if (setting.newLine) {
        report.Add("serial_baud", setting.newLine->first);
        report.Add("parity", std::string(ParityName(setting.newLine->second)));
    } else if (setting.key == "rf_baud") {
        report.Add(setting.key, RateFromBaudCode(static_cast<std::uint8_t>(setting.expected)));
    } else {
        report.Add(setting.key, setting.expected);
    }
    report.Line(line);
}

std::string HumanKey(const Setting &setting) { return setting.key == "rf_baud" ? "rf-baud" : setting.key; }

} // namespace

int RunRead(Session &session, const std::string &what, milliseconds timeout, Report &report) {
    int code = kExitOk;
    ModuleValues values;
    const bool all = what == "all";
    if (all) {
        const auto scan = session.Request(CmdScanRadio, "the search request", timeout, SendScanRadio, code);
        if (!scan)
            return code;
        values.band = scan->bandCode;
    }
    if (all || what == "channel") {
        const auto reply = session.Read(CmdChannelRead, "read channel", timeout, code);
        if (!reply)
            return code;
        values.channel = reply->channel;
    }
    if (all || what == "rf-baud") {
        const auto reply = session.Read(CmdRfBaudRateRead, "read air baud rate", timeout, code);
        if (!reply)
            return code;
        values.rfBaudCode = reply->rfBaudCode;
    }
    if (all || what == "serial") {
        const auto reply = session.Read(CmdComParamRead, "read serial parameters", timeout, code);
        if (!reply)
            return code;
        values.comBaudCode = reply->comBaudCode;
        values.comParity = reply->comParity;
    }
    if (all || what == "id") {
        const auto reply = session.Read(CmdGuestIdRead, "read ID", timeout, code);
        if (!reply)
            return code;
        values.id = reply->GuestId();
    }
    report.Values(values);
    return kExitOk;
}

int RunWrite(Session &session, const ParsedWrite &write, milliseconds timeout, bool verify, Report &report) {
    Setting setting = write.what == "channel"   ? ChannelSetting(write.value)
                      : write.what == "rf-baud" ? RfBaudSetting(write.rate)
                      : write.what == "serial"  ? SerialSetting(write.rate, write.parity)
                      : write.what == "id"      ? IdSetting(write.value)
                                                : PowerSetting(write.value);
    Check check;
    if (const int code = WriteSetting(session, setting, timeout, verify, check))
        return code;
    std::string line = HumanKey(setting) + ": " + setting.text(setting.expected);
    if (const std::string note = CheckNote(check); !note.empty())
        line += " (" + note + ")";
    AddWritten(report, setting, line);
    AddCheck(report, check);
    if (setting.newLine)
        session.Err() << "corvanta-cli: the module now talks at " << SerialValueText(setting.expected)
                      << "; reach it with -b " << setting.newLine->first << " --parity "
                      << ParityName(setting.newLine->second) << '\n';
    return kExitOk;
}

int RunProfileApply(Session &session, const Profile &profile, milliseconds timeout, bool verify, Report &report) {
    // Serial parameters go last: they move the module's UART away from this port's setting.
    std::vector<Setting> settings;
    if (profile.channel)
        settings.push_back(ChannelSetting(*profile.channel));
    if (profile.rfBaud)
        settings.push_back(RfBaudSetting(*profile.rfBaud));
    if (profile.id)
        settings.push_back(IdSetting(*profile.id));
    if (profile.power)
        settings.push_back(PowerSetting(*profile.power));
    if (profile.serialBaud)
        settings.push_back(SerialSetting(*profile.serialBaud, *profile.serialParity));

    nlohmann::ordered_json changed = nlohmann::ordered_json::array();
    bool allVerified = true;
    for (const Setting &setting : settings) {
        // What the module holds now, so the report can say what changed.
        std::optional<int> before;
        if (setting.readCommand != kNoReadRequest) {
            int code = kExitOk;
            const auto reply = session.Read(setting.readCommand, "read " + setting.label, timeout, code);
            if (!reply)
                return code;
            before = setting.readBack(*reply);
        }
        Check check;
        if (const int code = WriteSetting(session, setting, timeout, verify, check))
            return code;
        std::string line = HumanKey(setting) + ": ";
        std::string note = CheckNote(check);
        if (!before) {
            line += setting.text(setting.expected);
            note = note.empty() ? "written" : "written, " + note;
            changed.push_back(setting.key);
        } else if (*before == setting.expected) {
            line += setting.text(setting.expected);
            note = note.empty() ? "unchanged" : "unchanged, " + note;
        } else {
            line += setting.text(*before) + " -> " + setting.text(setting.expected);
            changed.push_back(setting.key);
        }
        AddWritten(report, setting, note.empty() ? line : line + " (" + note + ")");
        allVerified = allVerified && check == Check::Verified;
    }
    report.Add("changed", changed);
    if (verify)
        report.Add("verified", allVerified);
    return kExitOk;
}

SearchOrder SearchOrderFrom(std::uint32_t rate, std::uint8_t parity) {
    SearchOrder order;
    for (std::size_t b = BaudCodeFromRate(rate) - 1u; b < kBaudRates.size(); ++b)
        for (std::uint8_t p = (order.empty() ? parity : 0); p < kParityNames.size(); ++p)
            order.emplace_back(kBaudRates[b], p);
    return order;
}

int RunSearch(Session &session, const SearchOrder &order, milliseconds interval, bool showProgress, Report &report) {
    std::ostream &err = session.Err();
    auto setting = [&](std::size_t i) {
        return std::to_string(order[i].first) + " " + std::string(ParityName(order[i].second));
    };
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto [rate, parity] = order[i];
        if (showProgress)
            err << "\rtrying " << setting(i) << " (" << i + 1 << "/" << order.size() << ")   " << std::flush;
        if (const int code = session.Retime(rate, parity))
            return code;
        int code = kExitOk;
        // Silence at a wrong setting is the normal case here.
        const auto reply =
            session.Request(CmdScanRadio, "the search request", interval, SendScanRadio, code, /*quietTimeout=*/true);
        if (showProgress && (reply || code != kExitNoReply))
            err << '\n';
        if (code == kExitCancelled) {
            err << "corvanta-cli: search cancelled on " << session.Device() << " after trying " << i + 1 << " of "
                << order.size() << " settings:";
            for (std::size_t k = 0; k <= i; ++k)
                err << (k ? ", " : " ") << setting(k);
            err << '\n';
            return code;
        }
        if (code == kExitPort)
            return code;
        if (reply) {
            report.Add("baud", rate);
            report.Line("baud: " + std::to_string(rate));
            report.Add("parity", std::string(ParityName(parity)));
            report.Line("parity: " + std::string(ParityName(parity)));
            report.Channel(reply->scanChannel, reply->bandCode);
            report.Band(reply->bandCode);
            return kExitOk;
        }
    }
    if (showProgress)
        err << '\n';
    err << "corvanta-cli: no module answered on " << session.Device() << " at any of the " << order.size()
        << " settings from " << setting(0) << " to 115200 even\n";
    return kExitNoReply;
}

} // namespace corvanta::cli
