#include "cli/Demo.h"

#include <cinttypes>
#include <memory>

#include "cli/ConsoleDialogs.h"
#include "connection/OpenTerminal.h"
#include "engine/TerminalConnection.h"
#include "engine/TerminalDescription.h"
#include "link/Commands.h"
#include "link/Link.h"
#include "link/Results.h"
#include "platform/HostTexts.h"
#include "platform/RealScheduler.h"
#include "platform/RegistryAccess.h"
#include "platform/VirtualScheduler.h"
#include "sim/LineFile.h"

namespace zd {

namespace {

struct DemoCommand {
    const char* what;
    std::int16_t commandId;
    std::uint8_t data;
    AddressKind addrType;
    std::int16_t addr;
    bool query;
};

// Log lines end in CR LF; the console wants LF.
std::string Console(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out.push_back(c);
    return out;
}

// The demonstration on any clock.
int RunDemoOn(Scheduler& scheduler, const DemoOptions& options, std::FILE* out) {
    ConsoleDialogs dialogs(out);
    MessageCatalogue messages(options.language);
    const Language language = options.language;
    Context context{scheduler, dialogs, messages};
    MemoryRegistry registry;
    ModuleState state;

    const ConnectionTarget& connection = options.connection;
    OpenedTerminal opened;
    try {
        opened = OpenTerminal(connection, scheduler, [out](const std::string& note) {
            std::fprintf(out, "zd4270: %s\n", note.c_str());
        });
    } catch (const ControlError& e) {
        std::fprintf(out, "zd4270: %s\n", e.Description().c_str());
        return 1;
    }
    const std::shared_ptr<SimDevCom>& simulated = opened.simulated;
    const XmlNode& terminal = opened.terminal;

    if (simulated) {
        std::fprintf(out, "%s\n\n",
                     HostText(language, "Station %1, line %2 (simulated, virtual time)",
                              {connection.stationFile, connection.lineFile
                                                           ? *connection.lineFile
                                                           : HostText(language, "without gear")})
                         .c_str());
    } else {
        std::fprintf(
            out, "%s\n\n",
            HostText(language, "Station %1, terminal on Modbus %2 %3 (real time)",
                     {connection.stationFile, connection.modbusRtu.empty() ? "TCP" : "RTU",
                      connection.modbusRtu.empty() ? connection.modbus : connection.modbusRtu})
                .c_str());
    }

    TerminalConnection terminalConnection(context, registry, state);
    terminalConnection.Line().Terminal().tell = [&](const EngineNotice& notice) {
        dialogs.MessageBox(NoticeBox(notice, messages));
    };
    terminalConnection.Open(terminal, opened.devCom, StationUserData(terminal));
    // The device settings tab's labels and values, as the refresh read them.
    const TerminalDescription& described = terminalConnection.Description();
    const auto ifRead = [&](const std::string& text) {
        return described.nodeRead ? text : std::string();
    };
    std::fprintf(out, "%s: %s   %s: %s   %s: %s   %s: %s   %s   %s %s\n",
                 messages.Load(110).c_str(), ifRead(std::to_string(described.position)).c_str(),
                 messages.Load(112).c_str(), ifRead(std::to_string(described.channel)).c_str(),
                 messages.Load(111).c_str(), ifRead(described.deviceName).c_str(),
                 messages.Load(113).c_str(), ifRead(described.offsetText).c_str(),
                 ByteOrderText(described.motorola), messages.Load(5116).c_str(),
                 described.firmwareText.c_str());
    std::fprintf(out, "%s: %s\n\n", messages.Load(5067).c_str(),
                 state.m_nOperationMode == kModeDali ? "DALI" : "DSI");

    Link& link = terminalConnection.TerminalLink();
    StringLogStream log;
    const DemoCommand commands[] = {
        {"query ballast A0", kCmdQueryBallast, 0, AddressKind::Short, 0, true},
        {"query ballast A1", kCmdQueryBallast, 0, AddressKind::Short, 1, true},
        {"recall max level A5", kCmdRecallMaxLevel, 0, AddressKind::Short, 5, false},
        {"query actual level A5", kCmdQueryActualLevel, 0, AddressKind::Short, 5, true},
        {"direct arc power 128 to all", kCmdDirectArcPower, 128, AddressKind::Broadcast, 0, false},
        {"query actual level A63", kCmdQueryActualLevel, 0, AddressKind::Short, 63, true},
        {"go to scene 4 on group 2", kCmdGoToScene, 4, AddressKind::Group, 2, false},
        {"query status A0", kCmdQueryStatus, 0, AddressKind::Short, 0, true},
        {"query ballast A64 (refused)", kCmdQueryBallast, 0, AddressKind::Short, 64, false},
    };
    std::fprintf(out, "%-30s %-8s %-30s %s\n", HostText(language, "command").c_str(),
                 HostText(language, "word").c_str(), HostText(language, "result").c_str(),
                 HostText(language, "answer").c_str());
    for (const DemoCommand& c : commands) {
        std::int16_t commandId = c.commandId;
        std::uint8_t data = c.data;
        AddressKind addrType = c.addrType;
        std::int16_t addr = c.addr;
        std::uint8_t wordData = c.data;
        auto word = BuildDALICommandWord(commandId, wordData, addrType, addr);
        char wordText[8] = "-";
        if (word && CheckDALIAddress(addrType, addr) == Result::Done)
            std::snprintf(wordText, sizeof wordText, "0x%04X", *word);
        const std::int64_t start = scheduler.Now();
        Result result = link.SendDALICommand(commandId, data, addrType, addr, &log);
        std::string answer;
        if (result == Result::Done && c.query) {
            std::uint8_t reply = 0;
            Result received = link.ReceiveDALIData(reply, &log);
            char text[48];
            if (received == Result::Done)
                std::snprintf(text, sizeof text, "0x%02X (%u)", reply, reply);
            else
                std::snprintf(text, sizeof text, "none: %s", ResultText(received));
            answer = text;
        }
        char resultText[80];
        std::snprintf(resultText, sizeof resultText, "%d %s, %" PRId64 " ms", ResultNumber(result),
                      ResultText(result), scheduler.Now() - start);
        std::fprintf(out, "%-30s %-8s %-30s %s\n", c.what, wordText, resultText, answer.c_str());
    }
    std::fprintf(out, "\n%s\n%s",
                 HostText(language, "Addressing log lines of these commands:").c_str(),
                 Console(log.text).c_str());

    scheduler.RunUntil([] { return false; }, 2000);
    if (simulated) {
        const auto& watchdog = simulated->Terminal().Watchdog();
        char words[48];
        std::snprintf(words, sizeof words, "%u %u %u", watchdog.words[0], watchdog.words[1],
                      watchdog.words[2]);
        std::fprintf(
            out, "\n%s\n",
            HostText(language, "Watchdog: %1 messages in %2 ms of virtual time, last %3",
                     {std::to_string(watchdog.count), std::to_string(scheduler.Now()), words})
                .c_str());
    }
    terminalConnection.Close();
    return 0;
}

}  // namespace

int RunDemo(const DemoOptions& options, std::FILE* out) {
    if (options.connection.OverModbus()) {
        RealScheduler scheduler;
        return RunDemoOn(scheduler, options, out);
    }
    VirtualScheduler scheduler;
    return RunDemoOn(scheduler, options, out);
}

}  // namespace zd
