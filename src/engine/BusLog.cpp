#include "engine/BusLog.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "engine/LevelText.h"
#include "link/Commands.h"
#include "link/ForwardFrames.h"

namespace zd {

namespace {

std::string Hex(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, value);
    return buffer;
}

bool IsAnswer(const Transaction& t) {
    return t.kind == Transaction::Kind::DALIAnswer;
}

// The queries answered by any frame for yes and by silence for no.
bool IsYesNoQuery(std::int16_t id) {
    return (id >= kCmdQueryBallast && id <= kCmdQueryMissingShortAddress) ||
           id == kCmdQueryPowerFailure || id == kCmdCompare || id == kCmdVerifyShortAddress;
}

bool IsLevelQuery(std::int16_t id) {
    return (id >= kCmdQueryActualLevel && id <= kCmdQuerySystemFailureLevel) ||
           id == kCmdQueryPhysicalMinimumLevel ||
           (id >= kCmdQuerySceneLevel && id < kCmdQuerySceneLevel + 16);
}

}  // namespace

std::string StatusBitsText(std::uint8_t status) {
    static const char* const kBits[] = {"control gear failure",  "lamp failure", "lamp on",
                                        "limit error",           "fade running", "reset state",
                                        "missing short address", "power failure"};
    std::string text;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(status & (1u << bit))) continue;
        if (!text.empty()) text += ", ";
        text += kBits[bit];
    }
    return text.empty() ? "no bit set" : text;
}

namespace {

std::string GroupList(std::uint8_t bits, int first) {
    std::string text;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(bits & (1u << bit))) continue;
        text += text.empty() ? "groups " : ", ";
        text += std::to_string(first + bit);
    }
    return text.empty() ? "no group" : text;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

void BusLog::Observe(const Transaction& transaction) {
    ++m_generation;
    // An answer belongs to the DALI command just before it, unless that has one already.
    if (IsAnswer(transaction) && !m_entries.empty()) {
        BusEntry& last = m_entries.back();
        if (last.command.kind == Transaction::Kind::DALICommand && !last.answer) {
            last.answer = transaction;
            return;
        }
    }
    if (m_entries.size() >= m_capacity) {
        m_entries.pop_front();
        ++m_dropped;
    }
    m_entries.push_back({m_clock.WallClock(), transaction, std::nullopt});
}

const BusEntry* BusLog::Entry(std::uint64_t number) const {
    if (number < m_dropped || number - m_dropped >= m_entries.size()) return nullptr;
    return &m_entries[number - m_dropped];
}

void BusLog::Clear() {
    m_dropped += m_entries.size();
    m_entries.clear();
    ++m_generation;
}

BusKind KindOf(const BusEntry& entry) {
    const Transaction& c = entry.command;
    if (c.kind != Transaction::Kind::DALICommand) return BusKind::Command;
    if (c.nCommandId > 255) return BusKind::Special;
    if (c.nCommandId >= kCmdQueryStatus) return BusKind::Query;
    return BusKind::Command;
}

std::string BusAddressText(const BusEntry& entry) {
    const Transaction& c = entry.command;
    if (c.kind == Transaction::Kind::DSICommand) return "DSI";
    if (IsAnswer(c)) return "";
    if (c.nCommandId > 255) return "*";
    std::string text = AddressText(c.nAddrType, c.nAddr);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string BusCommandText(const BusEntry& entry) {
    const Transaction& c = entry.command;
    switch (c.kind) {
        case Transaction::Kind::DSICommand:
            return "DSI level " + std::to_string(c.nData);
        case Transaction::Kind::DALIAnswer:
            return "answer";
        case Transaction::Kind::DALICommand:
            break;
    }
    // A frame the catalogue has no text for (a device type's) reads as the frame log reads it,
    // without the address, which has a column of its own.
    if (c.word && !HasDALICommandText(c.nCommandId)) {
        const std::string frame = ForwardFrameText(*c.word);
        return frame.substr(std::min(frame.size(), frame.find(' ') + 1));
    }
    // The word names the scene or group, as the command line does.
    std::string text =
        c.word ? SentDALICommandText(c.nCommandId, *c.word) : DALICommandText(c.nCommandId);
    if (c.nCommandId == kCmdDirectArcPower) text += " " + std::to_string(c.nData);
    if (c.nCommandId == kCmdDataTransferRegister || c.nCommandId == kCmdInitialise ||
        (c.nCommandId >= kCmdSearchAddrH && c.nCommandId <= kCmdVerifyShortAddress))
        text += "    --> " + Hex(c.nData, 1);
    return text;
}

std::string BusWordText(const BusEntry& entry) {
    return entry.command.word ? Hex(*entry.command.word, 4) : "";
}

std::string BusResultText(const BusEntry& entry) {
    const Transaction& c = entry.command;
    std::string text;
    if (c.result == Result::Error)
        text = "device-communication error";
    else
        text = ResultText(c.result);
    if (c.result == Result::Done && !c.acknowledged && !IsAnswer(c)) text += ", not acknowledged";
    if (entry.answer && entry.answer->result != Result::Done) {
        text += entry.answer->result == Result::Error
                    ? ", answer: device-communication error"
                    : ", answer: " + std::string(ResultText(entry.answer->result));
    }
    return text;
}

std::string BusAnswerText(const BusEntry& entry) {
    const Transaction* answer = IsAnswer(entry.command) ? &entry.command
                                : entry.answer          ? &*entry.answer
                                                        : nullptr;
    if (!answer || answer->result != Result::Done) return "";
    return Hex(answer->nData, 2) + " (" + std::to_string(answer->nData) + ")";
}

std::string BusMeaningText(const BusEntry& entry) {
    if (entry.command.kind != Transaction::Kind::DALICommand || !entry.answer) return "";
    const std::int16_t id = entry.command.nCommandId;
    const Transaction& answer = *entry.answer;
    if (IsYesNoQuery(id)) {
        // Silence is the gear's "no"; several answering at once still say yes.
        if (answer.result == Result::Timeout) return "NO";
        if (answer.result == Result::Done || answer.result == Result::CorruptFrame ||
            answer.result == Result::Collision)
            return "YES";
        return "";
    }
    if (answer.result != Result::Done) return "";
    const std::uint8_t data = answer.nData;
    if (IsLevelQuery(id)) return LevelPercentText(data);
    switch (id) {
        case kCmdQueryStatus:
            return StatusBitsText(data);
        case kCmdQueryVersionNumber:
            return "version " + std::to_string(data);
        case kCmdQueryContentDtr:
            return "DTR " + std::to_string(data);
        case kCmdQueryDeviceType:
            return "device type " + std::to_string(data);
        case kCmdQueryFadeTimeFadeRate:
            return "fade time " + FadeTimeText(data >> 4) + " s, fade rate " +
                   FadeRateText(data & 0x0F) + " steps/s";
        case kCmdQueryGroups0To7:
            return GroupList(data, 0);
        case kCmdQueryGroups8To15:
            return GroupList(data, 8);
        case kCmdQueryShortAddress:
            return data == kDaliMask ? "no short address" : "A" + std::to_string(data >> 1);
        default:
            return "";
    }
}

std::string BusTimeText(const BusEntry& entry) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(entry.time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms % 1000));
    return buffer;
}

std::string BusColumnText(const BusEntry& entry, int column) {
    using Text = std::string (*)(const BusEntry&);
    static constexpr Text kColumns[kBusColumnCount] = {
        BusTimeText,   BusAddressText, BusCommandText, BusWordText,
        BusResultText, BusAnswerText,  BusMeaningText};
    return column >= 0 && column < kBusColumnCount ? kColumns[column](entry) : std::string();
}

std::string BusCsv(const std::deque<BusEntry>& entries) {
    std::string csv = "time,address,command,word,result,answer,meaning\r\n";
    for (const BusEntry& e : entries) {
        for (int column = 0; column < kBusColumnCount; ++column) {
            csv += CsvField(BusColumnText(e, column));
            csv += column + 1 < kBusColumnCount ? "," : "\r\n";
        }
    }
    return csv;
}

}  // namespace zd
