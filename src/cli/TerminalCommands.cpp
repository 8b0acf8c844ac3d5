// The terminal commands: one DALI command or query through the control's transaction routing (the
// way a device page asks for one), the engine's archive upload and download with the file given on
// the command line, and the options tab's settings.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "cli/HeadlessCommands.h"
#include "devices/NumericText.h"
#include "engine/ArchiveFile.h"
#include "engine/ArchiveTransfer.h"
#include "engine/LineCommands.h"
#include "engine/TerminalOptions.h"
#include "link/Commands.h"
#include "link/Results.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The commands whose scene or group comes from the data byte: the first number of each range.
constexpr std::int16_t kDataRanges[] = {kCmdStoreDtrAsScene, kCmdRemoveFromScene, kCmdAddToGroup,
                                        kCmdRemoveFromGroup, kCmdQuerySceneLevel};

std::optional<std::int16_t> DataRangeStart(int id) {
    for (const std::int16_t first : kDataRanges)
        if (id >= first && id < first + 16) return first;
    return std::nullopt;
}

// Queries whose only answer is YES: any backward frame, even several at once, means yes.
bool IsYesNoQuery(std::int16_t id) {
    return (id >= kCmdQueryBallast && id <= kCmdQueryMissingShortAddress) ||
           id == kCmdQueryPowerFailure || id == kCmdCompare || id == kCmdVerifyShortAddress;
}

// Commands that gear answer.
bool IsQuery(std::int16_t id) {
    return (id >= kCmdQueryStatus && id <= kCmdQueryPowerFailure) ||
           (id >= kCmdQueryActualLevel && id <= kCmdQueryFadeTimeFadeRate) ||
           (id >= kCmdQuerySceneLevel && id <= kCmdQueryRandomAddressL) || id == kCmdCompare ||
           id == kCmdVerifyShortAddress || id == kCmdQueryShortAddress;
}

// Commands whose word carries the data byte: a level, a scene or group, or the byte of a
// special command. Every other command's word leaves it out.
bool TakesData(std::int16_t id) {
    return id == kCmdDirectArcPower || id == kCmdGoToScene || DataRangeStart(id) ||
           id == kCmdDataTransferRegister || id == kCmdInitialise ||
           (id >= kCmdSearchAddrH && id <= kCmdVerifyShortAddress);
}

// Commands that store what the gear hold in their DTR.
bool StoresDtr(std::int16_t id) {
    return (id >= kCmdStoreDtrAsMaxLevel && id <= kCmdStoreDtrAsFadeRate) ||
           id == kCmdStoreDtrAsShortAddress ||
           (id >= kCmdStoreDtrAsScene && id < kCmdStoreDtrAsScene + 16);
}

struct ParsedCommand {
    std::int16_t id = 0;
    // The scene or group a name such as "add to group 3" gives.
    std::optional<std::uint8_t> data;
};

// A command number -1 to 272, or a command's text as the addressing log writes it ("off",
// "go to scene 3", "query actual level"), in any case.
ParsedCommand ParseDALICommand(const std::string& text) {
    constexpr int kFirst = kCmdDirectArcPower;
    constexpr int kLast = kCmdEnableDeviceTypeX;
    std::optional<int> number;
    bool byName = false;
    try {
        number = ParseNumber(text, kFirst, kLast, "the command");
    } catch (const UsageError&) {
        const std::string wanted = Lower(text);
        for (int id = kFirst; id <= kLast && !number; ++id)
            if (Lower(DALICommandText(static_cast<std::int16_t>(id))) == wanted) number = id;
        byName = true;
    }
    if (!number || DALICommandText(static_cast<std::int16_t>(*number)).rfind('<', 0) == 0)
        throw UsageError("no DALI command \"%1\"", {text});
    // The catalogue names commands that the terminal link does not send (enable device type X):
    // such a command would only ever fail.
    std::uint8_t probe = 0;
    if (!BuildDALICommandWord(static_cast<std::int16_t>(*number), probe, AddressKind::Broadcast,
                              0)) {
        throw UsageError(
            "\"%1\" cannot be sent through the terminal; the commands it sends are -1 to 270",
            {DALICommandText(static_cast<std::int16_t>(*number))});
    }
    ParsedCommand parsed{static_cast<std::int16_t>(*number), std::nullopt};
    // The terminal takes the scene or group of these ranges from the data byte alone, so the
    // name's number travels there and the first number of the range is sent.
    if (const auto first = DataRangeStart(*number); first && byName) {
        parsed.id = *first;
        parsed.data = static_cast<std::uint8_t>(*number - *first);
    }
    return parsed;
}

struct DaliTransaction {
    std::int16_t commandId = 0;
    std::uint8_t data = 0;
    AddressKind addrType = AddressKind::Broadcast;
    std::int16_t addr = 0;
};

Json AddressJson(const DaliTransaction& t) {
    switch (t.addrType) {
        case AddressKind::Short:
            return {{"short", t.addr}};
        case AddressKind::Group:
            return {{"group", t.addr}};
        default:
            return "broadcast";
    }
}

DaliTransaction ParseTransaction(const CommandArguments& arguments, bool query) {
    std::string text;
    for (const std::string& word : arguments.words) text += (text.empty() ? "" : " ") + word;
    DaliTransaction t;
    const ParsedCommand command = ParseDALICommand(text);
    t.commandId = command.id;
    if (query && !IsQuery(t.commandId)) {
        throw UsageError("\"%1\" is no query and gets no answer: send it with zd4270 send", {text});
    }
    const auto data = arguments.Value("--data");
    // The data byte of a command that leaves it out of its word would be reported as sent.
    if (data && !command.data && !TakesData(t.commandId)) {
        throw UsageError(StoresDtr(t.commandId)
                             ? "\"%1\" stores the DTR the gear hold, not --data: set the DTR "
                               "first (zd4270 send \"data transfer register (DTR)\" --data D), "
                               "then send it without --data"
                             : "\"%1\" takes no data; leave out --data",
                         {text});
    }
    if (command.data && data) {
        throw UsageError(
            "\"%1\" takes its number from its name; leave out --data or name the command by its "
            "number",
            {text});
    }
    if (command.data) t.data = *command.data;
    if (data) t.data = static_cast<std::uint8_t>(ParseNumber(*data, 0, 255, "--data"));
    const auto shortAddress = arguments.Value("--short");
    const auto group = arguments.Value("--group");
    const bool broadcast = arguments.Has("--broadcast");
    if ((shortAddress ? 1 : 0) + (group ? 1 : 0) + (broadcast ? 1 : 0) > 1)
        throw UsageError("give one of --short, --group and --broadcast", {});
    if (shortAddress) {
        t.addrType = AddressKind::Short;
        t.addr =
            static_cast<std::int16_t>(ParseNumber(*shortAddress, 0, kMaxShortAddress, "--short"));
    } else if (group) {
        t.addrType = AddressKind::Group;
        t.addr = static_cast<std::int16_t>(ParseNumber(*group, 0, 15, "--group"));
    } else if (!broadcast && t.commandId < kCmdTerminate) {
        // The special commands reach every gear anyway; the others name their receivers.
        throw UsageError("\"%1\" needs --short A, --group G or --broadcast", {text});
    }
    // What wipes the settings of gear is only sent when asked for, as the window asks first.
    if (!arguments.Has("--yes")) {
        if (t.commandId == kCmdReset) {
            throw UsageError(
                "reset sets the gear back to their defaults and deletes their groups and "
                "scenes; confirm with --yes",
                {});
        }
        if (t.commandId == kCmdStoreDtrAsShortAddress && t.addrType != AddressKind::Short) {
            throw UsageError(
                "store DTR as short address to more than one gear gives them all one address; "
                "confirm with --yes",
                {});
        }
    }
    return t;
}

std::string WordText(std::uint16_t word) {
    char text[8] = "";
    std::snprintf(text, sizeof text, "0x%04X", word);
    return text;
}

// The engine's refusal of a command in the wrong operation mode (it has shown the page's box).
void FailOnRefusal(const LineCommandResult& sent, Json& details) {
    if (sent.outcome.failure != EngineFailure::Refused) return;
    details["failedStep"] = "mode";
    throw CommandFailed(sent.outcome.text, std::move(details));
}

// Whether the terminal acknowledged the command; one that it did not still counts as sent.
void NoteAcknowledge(const LineCommandResult& sent, Json& result, Language language) {
    if (!sent.acknowledged) return;
    result["acknowledged"] = *sent.acknowledged;
    if (!*sent.acknowledged) {
        result["warning"] = HostText(
            language, "the terminal did not acknowledge the command in time; it counts as sent");
    }
}

// Sends the command through the engine, as a device page sends it, and reads the answer of a
// query.
PreparedCommand PrepareTransaction(const CommandArguments& arguments, bool readAnswer) {
    const DaliTransaction t = ParseTransaction(arguments, readAnswer);
    return [t, readAnswer](HeadlessSession& session) {
        EngineTerminal& terminal = session.Line().Terminal();
        std::uint8_t wordData = t.data;
        const auto word = BuildDALICommandWord(t.commandId, wordData, t.addrType, t.addr);
        Json result = {{"commandId", t.commandId},
                       {"commandText", word ? SentDALICommandText(t.commandId, *word)
                                            : DALICommandText(t.commandId)},
                       {"address", AddressJson(t)},
                       {"data", wordData},
                       {"word", word ? Json(WordText(*word)) : Json()}};

        const std::size_t mark = session.BoxCount();
        LineCommandResult sent =
            SendLineCommand(terminal, {t.commandId, t.data, t.addrType, t.addr});
        FailOnRefusal(sent, result);
        result["result"] = ResultNumber(sent.sent);
        result["resultText"] = ResultText(sent.sent);
        result["answer"] = nullptr;
        if (sent.sentAgain > 0) {
            result["recovered"] = Json::array(
                {{{"what", "collision"},
                  {"text", HostText(session.Catalogue().GetLanguage(),
                                    "the command met another master on the line and was sent "
                                    "again")},
                  {"count", sent.sentAgain}}});
        }
        NoteAcknowledge(sent, result, session.Catalogue().GetLanguage());
        const bool acknowledged = sent.acknowledged.value_or(false);
        result["failedStep"] = "send";
        FailOnErrorBox(session, mark, result);
        // A corrupt frame after a query is several gear answering at once: the command went out.
        const bool severalAnswered = sent.sent == Result::CorruptFrame && IsQuery(t.commandId);
        if (sent.sent == Result::Collision) {
            throw CommandFailed(HostWording("the command failed: collision, %1 times: another "
                                            "master keeps the DALI line",
                                            {std::to_string(sent.sentAgain + 1)}),
                                result);
        }
        if (sent.sent != Result::Done && !severalAnswered)
            throw CommandFailed(HostWording("the command failed: %1", {ResultText(sent.sent)}),
                                result);
        result.erase("failedStep");
        if (!readAnswer) return result;

        ReceiveLineAnswer(terminal, sent);
        const Result received = *sent.answerResult;
        result["answerResult"] = ResultNumber(received);
        result["answerResultText"] = ResultText(received);
        result["failedStep"] = "answer";
        FailOnErrorBox(session, mark, result);
        const bool yesNo = IsYesNoQuery(t.commandId);
        // No answer is an answer too: "no" to QUERY BALLAST, for one.
        if (yesNo) {
            result["yes"] = sent.answer == QueryAnswer::Byte || sent.answer == QueryAnswer::Several;
        }
        switch (sent.answer) {
            case QueryAnswer::Byte:
                result["answer"] = sent.answerByte;
                break;
            case QueryAnswer::Several:
                result["answer"] = "several";
                if (!yesNo) {
                    throw CommandFailed(
                        HostWording(
                            "several gear answered at once, so their answers cannot be told apart",
                            {}),
                        result);
                }
                break;
            case QueryAnswer::None:
                // Silence after an unacknowledged command says nothing about the gear.
                if (!acknowledged) {
                    result.erase("yes");
                    throw CommandFailed(
                        HostWording(
                            "the answer was lost: the terminal did not acknowledge the command",
                            {}),
                        result);
                }
                break;
            default:
                throw CommandFailed(HostWording("the answer was a %1", {ResultText(received)}),
                                    result);
        }
        result.erase("failedStep");
        return result;
    };
}

// A DSI data byte (the light level) to the line, the way the Commands page's DSI tab sends it:
// the byte alone, to every DSI gear.
PreparedCommand PrepareDsiTransaction(const CommandArguments& arguments) {
    if (!arguments.words.empty() || arguments.Value("--short") || arguments.Value("--group") ||
        arguments.Value("--data") || arguments.Has("--broadcast")) {
        throw UsageError("send --dsi takes the data byte alone; DSI has no addresses", {});
    }
    const auto level =
        static_cast<std::uint8_t>(ParseNumber(*arguments.Value("--dsi"), 0, 255, "--dsi"));
    return [level](HeadlessSession& session) {
        Json result = {{"dsi", level}, {"word", WordText(level)}};
        const std::size_t mark = session.BoxCount();
        const LineCommandResult sent = SendDsiByte(session.Line().Terminal(), level);
        FailOnRefusal(sent, result);
        result["result"] = ResultNumber(sent.sent);
        result["resultText"] = ResultText(sent.sent);
        NoteAcknowledge(sent, result, session.Catalogue().GetLanguage());
        FailOnErrorBox(session, mark, result);
        if (sent.sent != Result::Done) {
            throw CommandFailed(HostWording("the command failed: %1", {ResultText(sent.sent)}),
                                result);
        }
        return result;
    };
}

// The scene levels and group memberships of an archive, as the archive file keeps them.
Json ArchiveJson(const Archive& archive) {
    Json ballasts = Json::array();
    for (int address = 0; address < kArchiveAddresses; ++address) {
        const ArchiveBallast& ballast = archive.ballasts[static_cast<std::size_t>(address)];
        Json scenes = Json::object();
        Json groups = Json::array();
        for (int n = 0; n < kArchiveColumns; ++n) {
            const std::optional<std::uint8_t> level = ballast.scenes[static_cast<std::size_t>(n)];
            if (level && *level != kArchiveNotInScene) scenes[std::to_string(n)] = *level;
            if (ballast.groups[static_cast<std::size_t>(n)].value_or(false)) groups.push_back(n);
        }
        if (!scenes.empty() || !groups.empty())
            ballasts.push_back({{"address", address}, {"scenes", scenes}, {"groups", groups}});
    }
    return ballasts;
}

// The transfer's options: the progress line and the interrupt between two addresses; an error
// box names the window's handler, as the window shows it.
ArchiveTransferOptions TransferOptions(HeadlessSession& session, bool upload) {
    const Language language = session.Catalogue().GetLanguage();
    const std::string what = HostText(language, upload ? "archive upload" : "archive download");
    ArchiveTransferOptions options;
    options.errorProcedure =
        upload ? "mnuArchivOptionsUpload_Click" : "mnuArchivOptionsDownload_Click";
    options.progress = [&session, what, language](const ProgressState& progress) {
        session.ShowProgress(
            {what, HostText(language, "address %1", {std::to_string(progress.address.value_or(0))}),
             static_cast<double>(progress.done) / progress.total, language});
    };
    options.cancel = [&session, what] { return session.StopRequested(what); };
    return options;
}

// Fails on the error box of the transfer, and on its refusal in DSI mode with its notice.
void FailArchiveTransfer(HeadlessSession& session, std::size_t mark, const EngineOutcome& outcome,
                         const char* step) {
    session.EndEngineRun();
    FailOnErrorBox(session, mark, {{"failedStep", step}});
    if (outcome.failure == EngineFailure::Refused)
        throw CommandFailed(ForConsole(outcome.text), {{"failedStep", step}});
}

// Loads the archive file with the window's boxes for a file that does not parse or holds values
// out of range; false when it has no loop of the device.
bool LoadArchiveFile(HeadlessSession& session, const std::string& path, Archive& archive) {
    const Context& context = session.Line().Terminal().context;
    const std::size_t mark = session.BoxCount();
    bool loaded = false;
    Guard(context, "ArchivLoad", [&] {
        XmlDocument document;
        if (!document.Load(path, kArchiveInput)) {
            const std::string text =
                ArchiveParseErrorText(document.ParseError().value_or(XmlParseError{}));
            IgnoreErrors([&] {
                context.dialogs.MessageBox(
                    {text, MsgButtons::Ok, MsgIcon::Critical, context.messages.Load(5113)});
            });
            return;
        }
        loaded = LoadArchive(document, archive);
    });
    FailOnErrorBox(session, mark, {{"failedStep", "load"}});
    return loaded;
}

}  // namespace

PreparedCommand PrepareSend(const CommandArguments& arguments) {
    if (arguments.Value("--dsi")) return PrepareDsiTransaction(arguments);
    if (arguments.words.empty()) throw UsageError("send needs a DALI command or --dsi BYTE", {});
    return PrepareTransaction(arguments, false);
}

PreparedCommand PrepareQuery(const CommandArguments& arguments) {
    if (arguments.words.empty()) throw UsageError("query needs a DALI query", {});
    return PrepareTransaction(arguments, true);
}

PreparedCommand PrepareArchiveUpload(const CommandArguments& arguments) {
    const std::string path = arguments.words.at(0);
    // The window's save dialog asks before it replaces a file; here --yes is that answer.
    std::error_code error;
    if (std::filesystem::exists(path, error) && !arguments.Has("--yes"))
        throw UsageError("the archive %1 exists; replace it with --yes", {path});
    return [path](HeadlessSession& session) {
        EngineTerminal& terminal = session.Line().Terminal();
        std::size_t mark = session.BoxCount();
        const ArchiveUploadReport report = UploadArchive(terminal, TransferOptions(session, true));
        FailArchiveTransfer(session, mark, report.outcome, "upload");
        mark = session.BoxCount();
        Guard(terminal.context, "mnuArchivOptionsSave_Click",
              [&] { SaveArchiveFile(path, report.archive); });
        FailOnErrorBox(session, mark, {{"failedStep", "save"}});
        if (!std::filesystem::exists(path)) {
            throw CommandFailed(HostWording("the archive %1 was not written", {path}),
                                {{"failedStep", "save"}});
        }
        return Json{{"file", path}, {"ballasts", ArchiveJson(report.archive)}};
    };
}

PreparedCommand PrepareArchiveDownload(const CommandArguments& arguments) {
    const std::string path = arguments.words.at(0);
    const bool yes = arguments.Has("--yes");
    return [path, yes](HeadlessSession& session) {
        // The file dialog of the window only offers files that exist.
        if (!std::filesystem::is_regular_file(path)) {
            throw CommandFailed(HostWording("the archive %1 cannot be read", {path}),
                                {{"failedStep", "load"}});
        }
        // A file without the device's loop loads nothing and says nothing. The window shows the
        // empty grids before anything is written, but here a download would turn every scene of
        // every gear into "not in scene" unseen.
        Archive archive;
        if (!LoadArchiveFile(session, path, archive)) {
            throw CommandFailed(HostWording("the archive %1 holds no groups or scenes of this "
                                            "device; nothing was written",
                                            {path}),
                                {{"failedStep", "load"}});
        }
        // Nothing has gone to the line yet: the confirmation can name the known devices the
        // archive leaves out, which lose their groups and scenes.
        if (!yes && session.State().m_nOperationMode == kModeDali) {
            // The refusal names the gear of this line: the store's list may be another line's, or
            // old. A scan only asks.
            RunDeviceScan(session);
        }
        const std::vector<std::int16_t> unlisted = ArchiveUnlistedDevices(archive, session.State());
        if (!yes) {
            if (unlisted.empty()) {
                throw UsageError(
                    "archive download replaces the groups and scenes of the gear at every "
                    "address; confirm with --yes",
                    {});
            }
            std::string addresses;
            for (std::size_t i = 0; i < unlisted.size(); ++i)
                addresses += (i ? ", " : "") + std::to_string(unlisted[i]);
            throw UsageError(
                "archive download replaces the groups and scenes of the gear at every address; "
                "%1 device(s) on this line that the archive does not list lose theirs (%2); "
                "confirm with --yes",
                {std::to_string(unlisted.size()), addresses});
        }
        EngineTerminal& terminal = session.Line().Terminal();
        const std::size_t mark = session.BoxCount();
        ArchiveTransferOptions options = TransferOptions(session, false);
        // --yes has answered the window's question, which the messages keep as it showed.
        options.confirmClearing = [&session](const EngineNotice& question) {
            session.Dialogs().SetAssumeYes(true);
            session.Dialogs().MessageBox(NoticeBox(question, session.Catalogue()));
            session.Dialogs().SetAssumeYes(false);
            return true;
        };
        const ArchiveDownloadReport report = DownloadArchive(terminal, archive, options);
        if (const int signal = session.InterruptedBy()) {
            // Stopped between two addresses: what was written, and what was not reached.
            Json written = Json::array();
            Json notWritten = Json::array();
            for (int address = 0; address < kArchiveAddresses; ++address) {
                const ArchiveAddressState state =
                    report.addresses[static_cast<std::size_t>(address)];
                if (state == ArchiveAddressState::Done) written.push_back(address);
                if (state == ArchiveAddressState::NotAsked) notWritten.push_back(address);
            }
            session.EndProgress();
            throw CommandInterrupted{
                signal, {{"file", path}, {"written", written}, {"notWritten", notWritten}}};
        }
        FailArchiveTransfer(session, mark, report.outcome, "download");
        Json cleared = Json::array();
        for (const std::int16_t address : report.cleared) cleared.push_back(address);
        return Json{{"file", path}, {"ballasts", ArchiveJson(archive)}, {"cleared", cleared}};
    };
}

PreparedCommand PrepareOptions(const CommandArguments& arguments) {
    TerminalOptionsChange change;
    if (const auto mode = arguments.Value("--mode")) {
        if (*mode != "dali" && *mode != "dsi")
            throw UsageError("--mode takes dali or dsi, not \"%1\"", {*mode});
        change.mode = *mode == "dsi" ? TerminalMode::Dsi : TerminalMode::Dali;
    }
    if (const auto value = arguments.Value("--power-supply"))
        change.powerSupplyUnit = ParseOnOff(*value, "--power-supply");
    if (const auto value = arguments.Value("--count-devices"))
        change.countDaliDevices = ParseOnOff(*value, "--count-devices");
    return [change](HeadlessSession& session) {
        EngineTerminal& terminal = session.Line().Terminal();
        if (!session.State().objDevCom)
            throw CommandFailed(HostWording("no terminal to read the options from", {}));
        const bool writes = change.mode || change.powerSupplyUnit || change.countDaliDevices;
        if (writes) {
            try {
                WriteTerminalOptions(terminal, change);
            } catch (const ControlError& e) {
                throw CommandFailed(
                    HostWording("the options were not written: %1", {e.Description()}),
                    {{"failedStep", "write"}});
            }
            // The control works in the mode the terminal now has.
            if (change.mode == TerminalMode::Dali) session.State().m_nOperationMode = kModeDali;
            if (change.mode == TerminalMode::Dsi) session.State().m_nOperationMode = kModeDsi;
        }
        // A terminal ignores a register write it does not take, so the settings are read back
        // from the terminal rather than taken from the change.
        const TerminalOptions options = ReadTerminalOptions(terminal);
        const bool isDsi = options.mode == TerminalMode::Dsi;
        Json result = {{"mode", isDsi ? "dsi" : "dali"},
                       {"powerSupply", options.powerSupplyUnit},
                       {"countDevices", options.countDaliDevices},
                       {"firmwareVersion", session.State().m_nFirmwareVersion},
                       {"firmwareVersionText", session.Connection().Description().firmwareText}};
        if ((change.mode && (*change.mode == TerminalMode::Dsi) != isDsi) ||
            (change.powerSupplyUnit && *change.powerSupplyUnit != options.powerSupplyUnit) ||
            (change.countDaliDevices && *change.countDaliDevices != options.countDaliDevices)) {
            result["failedStep"] = "check";
            throw CommandFailed(HostWording("the terminal did not take every option", {}), result);
        }
        return result;
    };
}

}  // namespace zd
