// The served line's session held open: one terminal opened for many jobs, a job that does not wait
// for a fade, tests in the gear that leave the line free, and the line file written after each job.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <utility>
#include <vector>

#include "cli/CommandLine.h"
#include "serve/ServedLine.h"
#include "sim/LineFile.h"
#include "support/Examples.h"

namespace zd {
namespace {

class Recorder : public RunListener {
  public:
    void Progress(const Json&) override {
        if (auto first = std::exchange(onFirstProgress, {})) first();
    }
    void BusRows(const Json&) override {}
    void LineEvent(const Json& event) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
        m_changed.notify_all();
    }
    // The first event of the type, waited for up to seconds of real time.
    Json WaitFor(const std::string& type, int seconds = 20) {
        std::unique_lock lock(m_mutex);
        Json found;
        m_changed.wait_for(lock, std::chrono::seconds(seconds), [&] {
            for (const Json& event : m_events)
                if (event.value("type", "") == type) found = event;
            return !found.is_null();
        });
        return found;
    }

    // Runs once, on the session's thread, while the job that reports progress is under way.
    std::function<void()> onFirstProgress;

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Json> m_events;
};

class ServedLineTest : public ::testing::Test {
  protected:
    // The emergency example with its LED gear at 4 dimming on fade time 8 (4 s).
    void SetUp() override {
        sim::LineDescription line = sim::LoadLineFile(test::ExamplePath("lines/emergency.json"));
        for (sim::GearConfig& gear : line.gear)
            if (gear.shortAddress == 4) gear.fadeTime = 8;
        lineFile = folder.File("line.json");
        std::ofstream(lineFile) << sim::WriteLineDescription(line);
        options.connection = test::ExampleConnection("emergency.json");
        options.connection.lineFile = lineFile;
        options.connection.registryFile = folder.File("store.ini");
        options.connection.siteFile = folder.File("site.json");
        options.saveLineFile = folder.File("saved.json");
        options.prepareSimulatedLine = [this](SimDevCom&) { ++opened; };
        served = std::make_unique<ServedLine>(options, StationSelection{}, folder.Path() / "state");
    }

    // Runs a command as the page asks for it and waits for its document.
    Json Ask(const std::string& name, const std::string& body, bool* started = nullptr) {
        const CommandSyntax* syntax = CommandOfPath(name);
        EXPECT_NE(syntax, nullptr) << name;
        std::promise<Json> document;
        const bool ok = served->Start(served->Prepare(*syntax, body), recorder,
                                      [&](Json result) { document.set_value(std::move(result)); });
        if (started) *started = ok;
        if (!ok) return Json();
        return document.get_future().get();
    }

    test::TempFolder folder{"zd_served_"};
    std::string lineFile;
    SessionOptions options;
    int opened = 0;
    Recorder recorder;
    std::unique_ptr<ServedLine> served;
};

TEST_F(ServedLineTest, OneTerminalOpenedForEveryJobAndNoJobWaitsForAFade) {
    const Json dimmed = Ask("send", R"({"words": ["direct arc power"], "short": 4, "data": 100})");
    ASSERT_EQ(dimmed.value("exitCode", -1), 0) << dimmed.dump(2);
    // A command of its own would let the 4 s fade settle before saving the line.
    EXPECT_LT(dimmed.value("lineTimeMs", 99'999), 1000) << dimmed.dump(2);
    const sim::LineDescription saved = sim::LoadLineFile(folder.File("saved.json"));
    const auto gear = std::find_if(saved.gear.begin(), saved.gear.end(),
                                   [](const auto& g) { return g.shortAddress == 4; });
    ASSERT_NE(gear, saved.gear.end());
    ASSERT_TRUE(gear->fade.has_value()) << "the saved line keeps the fade under way";
    EXPECT_EQ(gear->fade->target, 100);

    const Json level = Ask("query", R"({"words": ["query actual level"], "short": 4})");
    EXPECT_EQ(level.value("exitCode", -1), 0) << level.dump(2);
    const Json status = Ask("status", "{}");
    EXPECT_EQ(status.value("exitCode", -1), 0) << status.dump(2);
    // Only the first job opened the terminal; the later ones found it open.
    EXPECT_EQ(opened, 1);
    EXPECT_LT(level.value("requests", 999), status.value("requests", 0) + 50);
}

TEST_F(ServedLineTest, ATestInTheGearLeavesTheLineFreeAndReportsItsResult) {
    const Json started = Ask("emergency test", R"({"words": ["function"], "short": 2})");
    ASSERT_EQ(started.value("exitCode", -1), 0) << started.dump(2);
    EXPECT_TRUE(started.value("started", false));
    // The line is free meanwhile: a lamp is switched off, and no procedure holds the line.
    EXPECT_FALSE(served->Running());
    bool taken = false;
    const Json off = Ask("send", R"({"words": ["off"], "short": 4})", &taken);
    EXPECT_TRUE(taken);
    EXPECT_EQ(off.value("exitCode", -1), 0) << off.dump(2);
    // A second test at the same address is refused while the first runs.
    const Json again = Ask("emergency test", R"({"words": ["function"], "short": 2})");
    EXPECT_EQ(again.value("exitCode", -1), 1) << again.dump(2);

    // Unit 2's emergency lamp has failed: its function test ends, and fails.
    const Json event = recorder.WaitFor("gear-test");
    ASSERT_FALSE(event.is_null()) << "no result came";
    const Json& result = event["document"];
    EXPECT_EQ(result.value("shortAddress", -1), 2);
    EXPECT_FALSE(result.value("passed", true)) << result.dump(2);
    EXPECT_TRUE(served->GearTests().begin()->empty());
    // The result is in the emergency log the report reads.
    const std::string store = test::ReadFileText(folder.File("store.ini"));
    EXPECT_NE(store.find("A2%20function=\"date="), std::string::npos) << store;
    EXPECT_NE(store.find("passed=0"), std::string::npos) << store;
}

TEST_F(ServedLineTest, ALuminaireIsNamedWhileItIdentifies) {
    std::vector<std::string> ended;
    std::mutex mutex;
    std::promise<Json> named;
    recorder.onFirstProgress = [&] {
        // A procedure other than identify would refuse it.
        EXPECT_FALSE(served->Refusal("name"));
        EXPECT_EQ(served->Refusal("scan"), "identify");
        const CommandSyntax* name = CommandOfPath("name");
        EXPECT_TRUE(served->Start(
            served->Prepare(*name, R"({"words": ["Exit east"], "short": 4, "room": "Hall"})"),
            recorder, [&](Json document) {
                std::lock_guard lock(mutex);
                ended.push_back("name");
                named.set_value(std::move(document));
            }));
    };
    std::promise<Json> identified;
    ASSERT_TRUE(
        served->Start(served->Prepare(*CommandOfPath("identify"), R"({"short": 4, "seconds": 10})"),
                      recorder, [&](Json document) {
                          std::lock_guard lock(mutex);
                          ended.push_back("identify");
                          identified.set_value(std::move(document));
                      }));
    const Json identify = identified.get_future().get();
    const Json name = named.get_future().get();
    EXPECT_EQ(identify.value("exitCode", -1), 0) << identify.dump(2);
    EXPECT_EQ(name.value("exitCode", -1), 0) << name.dump(2);
    EXPECT_EQ(name.value("room", ""), "Hall") << name.dump(2);
    // The name was given while the luminaire still flashed, and identify put its level back.
    EXPECT_EQ(ended, (std::vector<std::string>{"name", "identify"}));
    for (const Json& level : identify["levels"]) EXPECT_TRUE(level.value("restored", false));
}

}  // namespace
}  // namespace zd
