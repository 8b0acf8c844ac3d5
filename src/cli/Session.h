// One headless run of the engine: the station's terminal on the simulated line (virtual time) or
// over Modbus TCP or RTU (real time), opened as the window opens it, with the boxes its procedures
// show kept for the command's result and the simulated line's state written back when the run is
// over. No form is built.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/ConsoleDialogs.h"
#include "cli/Progress.h"
#include "engine/Emergency.h"
#include "engine/TerminalConnection.h"
#include "host/ConnectionTarget.h"
#include "host/ControlRun.h"
#include "host/QSettingsRegistry.h"
#include "host/SimDevCom.h"
#include "host/StationDocument.h"
#include "link/Link.h"
#include "link/ModuleState.h"
#include "platform/Messages.h"
#include "platform/RegistryAccess.h"
#include "sim/LineFile.h"

namespace zd {

class HeadlessSession;

// What every run needs, whatever the command: the terminal it connects to and how it reports.
struct SessionOptions {
    ConnectionTarget connection;
    // Put before the names of the log files (see TerminalConnection::SetLogFilePrefix).
    std::string logFilePrefix;
    Language language = Language::English;
    // Where the simulated line's state goes after the command; empty: nowhere.
    std::string saveLineFile;
    // Where the frames that went over the simulated line go after the command, one a line (see
    // cli/FrameLog.h); empty: nowhere.
    std::string frameLogFile;
    // Called with the simulated device communication before the control opens it, so that a test
    // can switch on its faults; unused over Modbus.
    std::function<void(SimDevCom&)> prepareSimulatedLine;
    // No progress line on stderr, even on a terminal.
    bool quiet = false;
    // --lang was given, rather than taken from the locale.
    bool languageChosen = false;
    // The command line named the terminal or the line itself (--station, --pos, --line,
    // --modbus, --modbus-rtu), so the window does not ask.
    bool connectionChosen = false;
    // The simulated line keeps real time, as the window runs it, instead of running as fast as
    // the computer can (a served line: people watch it and take lamps out).
    bool realTimeSimulation = false;
    // Hears what the run shows, besides the progress line (a served page's live channel), with
    // the milliseconds of line time since the procedure began. Called on the run's thread.
    std::function<void(HeadlessSession&, const ProgressState&, std::int64_t elapsedMs)>
        progressObserver;
    // Sees every transaction of the terminal link as it ends (a served bus monitor). Called on
    // the run's thread; must outlive the run.
    TransactionObserver* transactionObserver = nullptr;
    // Asks the run to end as a signal would (a Cancel from a served page). Polled on the run's
    // thread, between two timer callbacks.
    std::function<bool()> cancelRequested;
    // Called between two steps of a procedure, where cancelRequested is asked: a session held
    // open runs short jobs there that may interleave with the procedure (naming a luminaire
    // while it identifies). Called on the run's thread.
    std::function<void()> betweenSteps;
};

// The pseudo signal of a run that cancelRequested ended: reported as interrupted, with the exit
// code of SIGINT, "cancelled" instead of the signal's name.
inline constexpr int kCancelRequested = -1;
// "SIGINT", "SIGTERM" or "cancelled"; the exit code of a run it ended.
const char* StopName(int signal);
int StopExitCode(int signal);

// A run that SIGINT or SIGTERM ended: thrown by RunUntil once the procedure under way has been
// cancelled (or cannot be), and by Open. No std::exception, so that no handler of a command's
// own failures takes it for one.
struct CommandInterrupted {
    int signal = 0;
    // What the command had done when it stopped, for its document.
    Json details = Json::object();
};

class HeadlessSession : public ControlRun {
  public:
    struct JobState {
        SessionOptions options;
        std::int64_t startMs = 0;
        std::optional<std::int64_t> endMs;
        int interrupted = 0;
        std::optional<std::string> interruptNote;
        bool finishing = false;
        bool frameLogSaved = false;
        bool keepStoredList = false;
        std::vector<clsDevice> storedAtOpen;
        std::vector<std::int16_t> given;
        bool storedListWiped = false;
        std::int64_t failuresAtBegin = 0;
        std::string observedWhat;
        std::int64_t observedBeginMs = 0;
        std::vector<MessageBoxRequest> shown;
        bool assumeYes = false;
    };

  public:
    // Reads the station and line files and makes the device communication. Throws ControlError
    // when a file cannot be used.
    HeadlessSession(const SessionOptions& options, std::FILE* console);
    // Opens the terminal. Throws ControlError when the terminal cannot be reached or the refresh
    // reports an error; the boxes it showed stay in Messages().
    void Open();
    ~HeadlessSession() override;
    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    AddressingLine& Line() override { return m_connection->Line(); }
    TerminalConnection& Connection() { return *m_connection; }
    ModuleState& State() { return m_state; }
    const ModuleState& State() const { return m_state; }
    bool TerminalStillAddressing() override { return m_connection->TerminalAddressing(); }
    // Where an addressing run's log goes, when the store's switch asks for one.
    std::string AddressingLogPath() const;
    // The hooks of the job under way (language, progress, bus monitor, cancel): a session held
    // open for many jobs takes each job's own before BeginCommand.
    SessionOptions& JobOptions() { return m_options; }
    ConsoleDialogs& Dialogs() { return m_dialogs; }
    const ConsoleDialogs& Dialogs() const { return m_dialogs; }
    const MessageCatalogue& Catalogue() const { return m_messages; }
    QSettingsRegistry& Registry() { return *m_registry; }
    RegistryAccess* Store() override { return m_registry.get(); }
    // The simulated terminal, or null over Modbus.
    sim::Terminal* SimulatedTerminal() { return m_simulated ? &m_simulated->Terminal() : nullptr; }
    Scheduler& Clock() { return *m_scheduler; }
    const SessionOptions& Options() const { return m_options; }

    // Milliseconds on the run's clock from the opened terminal to the end of the command
    // (Finish): virtual time on the simulated line, real time over Modbus.
    std::int64_t LineTimeMs() const;

    // Lets the run's clock pass until done() holds; false when limitMs passed first. SIGINT or
    // SIGTERM (see platform/Interrupt.h) ends the wait after the timer under way and throws
    // CommandInterrupted.
    bool RunUntil(const std::function<bool()>& done,
                  std::int64_t limitMs = kProcedureLimitMs) override;
    // The signal that ended the run, or 0.
    int InterruptedBy() const { return m_interrupted; }
    // What goes on after the run was interrupted, if anything.
    const std::optional<std::string>& InterruptNote() const { return m_interruptNote; }

    // An engine procedure run from the command line: what it shows goes to the progress line, and
    // a signal asks it to stop between two steps (StopRequested, which it asks). Once it has
    // ended, EndEngineRun throws CommandInterrupted when a signal came.
    void ShowProgress(const ProgressState& state) override;
    bool StopRequested(const std::string& what) override;
    // The same for a procedure that the terminal runs on and the control cannot stop: the signal
    // ends the wait, and InterruptNote says that it goes on.
    bool StopRequestedLeavingRunning(const std::string& what);
    void EndEngineRun() override;
    // Ends the progress line of a run that reports its own stop.
    void EndProgress();

    // Every box shown in this run: icon, title and text.
    Json Messages() const;

    // What a job of a session held open keeps for its own end: a job run between the steps of
    // another saves the other's first and gives it back after.
    JobState SaveJob() const;
    void RestoreJob(const JobState& job);
    // Writes the simulated line as it stands now to path (nothing over Modbus). Throws
    // ControlError when it cannot be written.
    void SaveLineTo(const std::string& path);
    // A session held open for many jobs begins the next one: what one job noted for its own end
    // (the stored list to keep, the addresses given, a signal, the boxes shown, --yes) starts
    // afresh, and its line time counts from here. Open begins the first.
    void BeginCommand();
    // Closes the terminal (its device list goes to the store) and, on the simulated line, writes
    // the line file and the frame log asked for. Throws ControlError when a file cannot be
    // written.
    void Finish();
    // Ends a job of a session held open: the device list goes to the store and the simulated
    // line is written as it stands, a fade under way with it (the line file continues it), so
    // that nobody waits for a lamp to settle. The terminal stays open. Throws ControlError when
    // a file cannot be written.
    void EndCommand();
    // The link met words that cannot be the terminal's: a session held open is dropped and the
    // terminal opened anew for the next job.
    bool Untrusted() const;

    // Tests that run in the gear on their own (an emergency unit's function or duration test):
    // a job starts one and returns at once; the session asks the gear how it goes between other
    // jobs (WatchGearTests), so the line stays free for switching, dimming and queries. The
    // result is kept in the emergency log and told to the observer. A test at an address that is
    // followed already is refused. Throws CommandFailed when the test did not start.
    Json StartGearTest(const EmergencyTestRequest& request);
    // Stops the test followed at an address (STOP TEST); false when none is followed there.
    bool StopGearTest(std::int16_t address);
    // Polls the tests whose time has come; call between jobs, on the session's thread.
    void WatchGearTests();
    // When the next poll is due on the session's clock, if a test is followed.
    std::optional<std::int64_t> NextGearPollMs() const;
    // The tests followed now: address, kind, time since the start.
    Json GearTests() const;
    // Hears of each test that ended, with the document of its result (its exit code in
    // "exitCode": 0 passed, 1 otherwise). Called on the session's thread.
    void SetGearTestObserver(std::function<void(const Json&)> observer) {
        m_gearTestObserver = std::move(observer);
    }
    // The store keeps the device list it held before the run: a run that did not finish (a
    // signal, a lost connection) may have found only part of the line, and a command that gives
    // or moves no address learns nothing for sure that the store lacks. Call before Finish.
    void KeepStoredDeviceList() { m_keepStoredList = true; }
    // An addressing run tells the addresses it gave as it ends (a physical selection, a control's
    // search): a run that then does not finish (its closing scan cut short) stores the list the
    // store held, with these addresses added, rather than the part of the line it had scanned.
    // storedListWiped: the run took every short address away first (a new installation).
    void NoteAddressesGiven(const std::vector<std::int16_t>& addresses, bool storedListWiped);
    // The list such a run stores, and shows: the store's list from the start with the addresses
    // given. Call before Finish.
    void KeepStoredListWithAddressesGiven();
    // The device communication failed at some time during the job under way.
    bool CommunicationFailed() const;
    // Writes the frame log asked for with the frames sent so far, once: a run that failed before
    // Finish still tells what went over the line. Throws ControlError when it cannot be written.
    void SaveFrameLog();

  protected:
    // The boxes are counted in the console's dialogs; their texts read as on the console.
    const std::vector<MessageBoxRequest>& ShownBoxes() const override { return m_dialogs.Shown(); }
    std::string BoxText(const std::string& text) const override { return ForConsole(text); }

  private:
    // The store, the line file and the frame log at the end of a job; close: the terminal too.
    void EndJob(bool close);
    // Writes the simulated line's state, once its fades have settled when settle is true.
    void SaveLine(bool settle);
    void WriteFrameLog(const std::string& text);
    // True once a signal has come (the first time, the console hears of it).
    bool Interrupted();
    // A signal that came, a cancel asked for, or 0.
    int PendingInterruption() const;

    SessionOptions m_options;
    std::FILE* m_console;
    std::unique_ptr<Scheduler> m_scheduler;
    // Before the dialogs and the terminal, which draw on it until they are gone.
    std::unique_ptr<ProgressLine> m_progress;
    ConsoleDialogs m_dialogs;
    MessageCatalogue m_messages;
    std::unique_ptr<QSettingsRegistry> m_registry;
    ModuleState m_state;
    sim::LineDescription m_lineFile;
    StationDocument m_station;
    XmlNode m_terminal;
    std::shared_ptr<DevCom> m_devCom;
    std::shared_ptr<SimDevCom> m_simulated;
    std::unique_ptr<TerminalConnection> m_connection;
    std::int64_t m_startMs = 0;
    std::optional<std::int64_t> m_endMs;
    int m_interrupted = 0;
    std::optional<std::string> m_interruptNote;
    // Finish runs after an interruption as after any run: its waits are not interrupted.
    bool m_finishing = false;
    bool m_frameLogSaved = false;
    bool m_keepStoredList = false;
    // The device list the store held when the terminal was opened, and the addresses given since.
    std::vector<clsDevice> m_storedAtOpen;
    std::vector<std::int16_t> m_given;
    bool m_storedListWiped = false;
    // The link's failures before the job under way began.
    std::int64_t m_failuresAtBegin = 0;
    struct GearTest {
        std::unique_ptr<EmergencyTestRun> run;
        std::int64_t nextPollMs = 0;
    };
    std::vector<GearTest> m_gearTests;
    std::function<void(const Json&)> m_gearTestObserver;
    // Ends a followed test: its result to the log and the observer.
    void EndGearTest(GearTest& test, bool stopped);
    // The procedure the progress observer hears of, and when it began.
    std::string m_observedWhat;
    std::int64_t m_observedBeginMs = 0;
};

}  // namespace zd
