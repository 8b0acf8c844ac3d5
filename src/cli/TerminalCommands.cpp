// The terminal commands: one DALI command or query through the control's transaction routing (the
// way a device page asks for one), the archive tab's upload and download with the file given on
// the command line, and the options tab's settings.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "archive/ArchiveFile.h"
#include "cli/HeadlessCommands.h"
#include "devices/NumericText.h"
#include "link/Commands.h"
#include "link/Results.h"

namespace zd {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A command number -1 to 272, or a command's text as the addressing log writes it ("off",
// "go to scene 3", "query actual level"), in any case.
std::int16_t ParseDALICommand(const std::string& text) {
    constexpr int kFirst = kCmdDirectArcPower;
    constexpr int kLast = kCmdEnableDeviceTypeX;
    std::optional<int> number;
    try {
        number = ParseNumber(text, kFirst, kLast, "the command");
    } catch (const UsageError&) {
        const std::string wanted = Lower(text);
        for (int id = kFirst; id <= kLast && !number; ++id)
            if (Lower(DALICommandText(static_cast<std::int16_t>(id))) == wanted) number = id;
    }
    if (!number || DALICommandText(static_cast<std::int16_t>(*number)).rfind('<', 0) == 0)
        throw UsageError("no DALI command \"" + text + "\"");
    return static_cast<std::int16_t>(*number);
}

struct DaliTransaction {
    std::int16_t commandId = 0;
    std::uint8_t data = 0;
    std::int16_t addrType = kAddrBroadcast;
    std::int16_t addr = 0;
};

Json AddressJson(const DaliTransaction& t) {
    switch (t.addrType) {
        case kAddrShort:
            return {{"short", t.addr}};
        case kAddrGroup:
            return {{"group", t.addr}};
        default:
            return "broadcast";
    }
}

DaliTransaction ParseTransaction(const CommandArguments& arguments) {
    std::string text;
    for (const std::string& word : arguments.words) text += (text.empty() ? "" : " ") + word;
    DaliTransaction t;
    t.commandId = ParseDALICommand(text);
    if (const auto data = arguments.Value("--data"))
        t.data = static_cast<std::uint8_t>(ParseNumber(*data, 0, 255, "--data"));
    const auto shortAddress = arguments.Value("--short");
    const auto group = arguments.Value("--group");
    const bool broadcast = arguments.Has("--broadcast");
    if ((shortAddress ? 1 : 0) + (group ? 1 : 0) + (broadcast ? 1 : 0) > 1)
        throw UsageError("give one of --short, --group and --broadcast");
    if (shortAddress) {
        t.addrType = kAddrShort;
        t.addr =
            static_cast<std::int16_t>(ParseNumber(*shortAddress, 0, kMaxShortAddress, "--short"));
    } else if (group) {
        t.addrType = kAddrGroup;
        t.addr = static_cast<std::int16_t>(ParseNumber(*group, 0, 15, "--group"));
    } else if (!broadcast && t.commandId < kCmdTerminate) {
        // The special commands reach every gear anyway; the others name their receivers.
        throw UsageError("\"" + text + "\" needs --short A, --group G or --broadcast");
    }
    return t;
}

// Sends the command the way a device page does: an event to the control, which runs the
// transaction and writes the result into the request's variables.
PreparedCommand PrepareTransaction(const CommandArguments& arguments, bool readAnswer) {
    const DaliTransaction t = ParseTransaction(arguments);
    return [t, readAnswer](HeadlessSession& session) {
        configZD4270& control = session.Control();
        Json result = {{"commandId", t.commandId},
                       {"commandText", DALICommandText(t.commandId)},
                       {"address", AddressJson(t)},
                       {"data", t.data}};
        std::uint8_t wordData = t.data;
        const auto word = BuildDALICommandWord(t.commandId, wordData, t.addrType, t.addr);
        char wordText[8] = "";
        if (word) std::snprintf(wordText, sizeof wordText, "0x%04X", *word);
        result["word"] = word ? Json(wordText) : Json();

        std::int16_t commandId = t.commandId;
        std::uint8_t data = t.data;
        std::int16_t addrType = t.addrType;
        std::int16_t addr = t.addr;
        std::int16_t sent = -1;
        EventParams request;
        request.Bind("nCommandId", commandId).Bind("nData", data).Bind("nAddrType", addrType);
        request.Bind("nAddr", addr).Bind("nRet", sent);
        const std::size_t mark = session.BoxCount();
        control.HandleObjectEvents("SendDALICommand", request);
        result["result"] = sent;
        result["resultText"] = ResultText(sent);
        result["answer"] = nullptr;
        if (sent == kResultDone && readAnswer) {
            std::uint8_t answer = 0;
            std::int16_t received = -1;
            EventParams reply;
            reply.Bind("nData", answer).Bind("nRet", received);
            control.HandleObjectEvents("ReceiveDALIData", reply);
            // No answer is an answer too: "no" to QUERY BALLAST, for one.
            if (received == kResultDone) result["answer"] = answer;
            result["answerResult"] = received;
            result["answerResultText"] = ResultText(received);
            if (received != kResultDone && received != kResultTimeout)
                throw CommandFailed(std::string("the answer was a ") + ResultText(received),
                                    result);
        }
        FailOnErrorBox(session, mark, result);
        if (sent != kResultDone)
            throw CommandFailed(std::string("the command failed: ") + ResultText(sent), result);
        return result;
    };
}

// Picks an entry of the archive tab's options menu, as the user does after clicking the button.
void ChooseArchiveMenu(configZD4270& control, const std::string& entry) {
    const auto popup = control.mnuArchivOptions.OnPopup.Connect(
        [&](double, double) { control.mnuArchivOptions.ClickEntry(entry); });
    control.cmdArchivOptions.Click();
    control.mnuArchivOptions.OnPopup.Disconnect(popup);
}

// The scene levels and group memberships in the archive grids, as the archive file keeps them.
Json ArchiveJson(const configZD4270& control) {
    Json ballasts = Json::array();
    for (int address = 0; address < kArchiveAddresses; ++address) {
        Json scenes = Json::object();
        Json groups = Json::array();
        for (int n = 0; n < kArchiveColumns; ++n) {
            const std::string& level = control.gridScenes.TextMatrix(address + 1, n + 1);
            if (IsNumericText(level)) scenes[std::to_string(n)] = std::stoi(level);
            if (control.gridGroups.TextMatrix(address + 1, n + 1) == "1") groups.push_back(n);
        }
        if (!scenes.empty() || !groups.empty())
            ballasts.push_back({{"address", address}, {"scenes", scenes}, {"groups", groups}});
    }
    return ballasts;
}

// Runs a menu entry that talks to the line; the archive tab refuses it in DSI mode with a box.
void RunArchiveTransfer(HeadlessSession& session, const std::string& entry) {
    const std::size_t mark = session.BoxCount();
    ChooseArchiveMenu(session.Control(), entry);
    FailOnErrorBox(session, mark);
    if (session.State().m_nOperationMode != kModeDali)
        throw CommandFailed(session.LastBoxSince(mark).value_or("the terminal is in DSI mode"));
}

// Runs a menu entry that asks for a file, answering the file dialog with path.
void RunArchiveFileEntry(HeadlessSession& session, const std::string& entry,
                         const std::string& path) {
    const std::size_t mark = session.BoxCount();
    session.Dialogs().SetFilePath(path);
    ChooseArchiveMenu(session.Control(), entry);
    session.Dialogs().SetFilePath(std::nullopt);
    FailOnErrorBox(session, mark);
}

}  // namespace

PreparedCommand PrepareSend(const CommandArguments& arguments) {
    return PrepareTransaction(arguments, false);
}

PreparedCommand PrepareQuery(const CommandArguments& arguments) {
    return PrepareTransaction(arguments, true);
}

PreparedCommand PrepareArchiveUpload(const CommandArguments& arguments) {
    const std::string path = arguments.words.at(0);
    return [path](HeadlessSession& session) {
        RunArchiveTransfer(session, "mnuArchivOptionsUpload");
        RunArchiveFileEntry(session, "mnuArchivOptionsSave", path);
        if (!std::filesystem::exists(path))
            throw CommandFailed("the archive " + path + " was not written");
        return Json{{"file", path}, {"ballasts", ArchiveJson(session.Control())}};
    };
}

PreparedCommand PrepareArchiveDownload(const CommandArguments& arguments) {
    const std::string path = arguments.words.at(0);
    return [path](HeadlessSession& session) {
        // The file dialog of the window only offers files that exist.
        if (!std::filesystem::is_regular_file(path))
            throw CommandFailed("the archive " + path + " cannot be read");
        RunArchiveFileEntry(session, "mnuArchivOptionsLoad", path);
        RunArchiveTransfer(session, "mnuArchivOptionsDownload");
        return Json{{"file", path}, {"ballasts", ArchiveJson(session.Control())}};
    };
}

PreparedCommand PrepareOptions(const CommandArguments& arguments) {
    std::optional<bool> dsi;
    if (const auto mode = arguments.Value("--mode")) {
        if (*mode != "dali" && *mode != "dsi")
            throw UsageError("--mode takes dali or dsi, not \"" + *mode + "\"");
        dsi = *mode == "dsi";
    }
    std::optional<bool> powerSupply;
    if (const auto value = arguments.Value("--power-supply"))
        powerSupply = ParseOnOff(*value, "--power-supply");
    std::optional<bool> countDevices;
    if (const auto value = arguments.Value("--count-devices"))
        countDevices = ParseOnOff(*value, "--count-devices");
    return [=](HeadlessSession& session) {
        configZD4270& control = session.Control();
        const std::size_t mark = session.BoxCount();
        if (dsi) (*dsi ? control.Option5 : control.Option4).SetValue(true);
        if (powerSupply) control.chkPowerSupplyUnit.SetChecked(*powerSupply);
        if (countDevices) control.chkCountDALIDevices.SetChecked(*countDevices);
        FailOnErrorBox(session, mark);
        return Json{{"mode", session.State().m_nOperationMode == kModeDsi ? "dsi" : "dali"},
                    {"powerSupply", control.chkPowerSupplyUnit.IsChecked()},
                    {"countDevices", control.chkCountDALIDevices.IsChecked()},
                    {"firmwareVersion", control.lblFirmwareVersion.Caption()}};
    };
}

}  // namespace zd
