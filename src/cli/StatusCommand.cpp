// The line at a glance: each known device's level, status and device type, asked with three
// queries per device. The device list is the store's, or a scan's when the store knows none or
// --scan asks for a fresh one.
#include <algorithm>

#include "cli/DeviceCommands.h"
#include "engine/BusLog.h"
#include "engine/LevelText.h"
#include "engine/LineCommands.h"
#include "link/Commands.h"
#include "maintenance/DeviceJson.h"
#include "maintenance/LineScan.h"

namespace zd {

namespace {

// The answer's byte, "several" when several gear answered at once, or null for silence and
// failures.
Json AnswerJson(const LineCommandResult& result) {
    if (result.answer == QueryAnswer::Byte) return result.answerByte;
    if (result.answer == QueryAnswer::Several) return "several";
    return nullptr;
}

}  // namespace

PreparedCommand PrepareStatus(const CommandArguments& arguments) {
    std::optional<int> only;
    if (const auto text = arguments.Value("--short"))
        only = ParseNumber(*text, 0, kMaxShortAddress, "--short");
    const bool scan = arguments.Has("--scan");
    return [=](HeadlessSession& session) {
        const std::size_t mark = session.BoxCount();
        const bool known = session.State().devices && !session.State().devices->Items().empty();
        if (scan || (!known && !only)) RunDeviceScan(session);
        std::vector<std::pair<int, bool>> devices;
        if (only) {
            bool conflict = false;
            if (session.State().devices)
                for (const auto& [key, device] : session.State().devices->Items())
                    if (device->m_nShortAddress == *only) conflict = device->m_bDALIConflict;
            devices.emplace_back(*only, conflict);
        } else if (session.State().devices) {
            for (const auto& [key, device] : session.State().devices->Items())
                devices.emplace_back(device->m_nShortAddress, device->m_bDALIConflict);
        }
        std::sort(devices.begin(), devices.end());
        EngineTerminal& terminal = session.Line().Terminal();
        Json list = Json::array();
        int silent = 0;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const int address = devices[i].first;
            const bool conflict = devices[i].second;
            ProgressState progress;
            progress.what = "Reading the devices' levels";
            progress.detail = "A" + std::to_string(address);
            progress.fraction = static_cast<double>(i) / static_cast<double>(devices.size());
            progress.language = session.Catalogue().GetLanguage();
            session.ShowProgress(progress);
            if (session.StopRequested("the reading")) break;
            auto ask = [&](std::int16_t query) {
                return QueryLine(
                    terminal, {query, 0, AddressKind::Short, static_cast<std::int16_t>(address)});
            };
            const LineCommandResult level = ask(kCmdQueryActualLevel);
            const LineCommandResult status = ask(kCmdQueryStatus);
            const LineCommandResult type = ask(kCmdQueryDeviceType);
            Json entry = {{"shortAddress", address}, {"conflict", conflict}};
            entry["level"] = AnswerJson(level);
            if (level.answer == QueryAnswer::Byte)
                entry["levelText"] = LevelPercentText(level.answerByte);
            entry["status"] = AnswerJson(status);
            if (status.answer == QueryAnswer::Byte) {
                entry["statusText"] = StatusBitsText(status.answerByte);
                entry["lampOn"] = (status.answerByte & 0x04) != 0;
                entry["lampFailure"] = (status.answerByte & 0x02) != 0;
            }
            entry["deviceType"] = AnswerJson(type);
            const bool answered = level.answer == QueryAnswer::Byte ||
                                  status.answer == QueryAnswer::Byte ||
                                  type.answer == QueryAnswer::Byte;
            if (!answered && level.answer != QueryAnswer::Several) ++silent;
            entry["answered"] = answered;
            list.push_back(std::move(entry));
        }
        session.EndEngineRun();
        // Nothing of the list changed: the store keeps it as it was.
        if (!scan && known) session.KeepStoredDeviceList();
        FailOnErrorBox(session, mark, {{"devices", list}});
        Json document = {{"devices", std::move(list)}};
        if (silent > 0) document["silent"] = silent;
        return document;
    };
}

}  // namespace zd
