// The routing of device pages' requests: a test page raises its events by name with by-reference
// parameters; the control runs the transaction on the simulated line and writes the results back.
#include <algorithm>

#include "support/ControlRig.h"

namespace zd::test {
namespace {

// Raises the requests by name with the variables a page passes by reference.
class TestPage : public DevicePage {
  public:
    TestPage() : DevicePage("configZD4270Commands") {}

    void SendDALI(std::int16_t commandId, std::int16_t addrType, std::int16_t addr) {
        request.nCommandId = commandId;
        request.nAddrType = addrType;
        request.nAddr = addr;
        RaiseEvent("SendDALICommand", request.params);
    }
    void Receive() {
        EventParams params;
        params.Bind("nData", request.nData).Bind("nRet", request.nRet);
        RaiseEvent("ReceiveDALIData", params);
    }
    DaliRequest request;
};

// Gear 5 at level 100 on the line; the frames sent after the refresh are logged.
class PageEventsTest : public ControlRig {
  protected:
    void SetUp() override {
        ControlRig::SetUp();
        sim::GearConfig gear;
        gear.shortAddress = 5;
        gear.actualLevel = 100;
        terminal->AddGear(gear);
        terminal->SetFrameLog(true);
        page = static_cast<TestPage*>(
            &control->SetPage(PageKind::Commands, std::make_unique<TestPage>()));
    }
    void Refresh() {
        ControlRig::Refresh();
        ASSERT_TRUE(ctx.dialogs.boxes.empty());
        terminal->ClearFrameLog();
    }
    std::int16_t Ret() const { return page->request.nRet; }
    std::uint8_t Data() const { return page->request.nData; }

    TestPage* page = nullptr;
};

TEST_F(PageEventsTest, BeforeRefreshDataEveryRequestAnswersNoDevCom) {
    page->SendDALI(kCmdOff, kAddrShort, 5);
    EXPECT_EQ(Ret(), kResultNoDevCom);
    page->request.nData = 77;
    page->Receive();
    EXPECT_EQ(Ret(), kResultNoDevCom);
    EXPECT_EQ(Data(), 0);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(PageEventsTest, AQueryAndItsAnswerReachThePageNoAnswerIsATimeoutWithDataZero) {
    Refresh();
    page->SendDALI(kCmdQueryActualLevel, kAddrShort, 5);
    EXPECT_EQ(Ret(), kResultDone);
    page->Receive();
    EXPECT_EQ(Ret(), kResultDone);
    EXPECT_EQ(Data(), 100);

    page->SendDALI(kCmdQueryActualLevel, kAddrShort, 9);
    EXPECT_EQ(Ret(), kResultDone);
    page->Receive();
    EXPECT_EQ(Ret(), kResultTimeout);
    EXPECT_EQ(Data(), 0);
}

TEST_F(PageEventsTest, TheSceneTakenFromDataDoesNotReachThePage) {
    Refresh();
    page->request.nData = 0;
    page->SendDALI(20, kAddrBroadcast, 0);
    EXPECT_EQ(Ret(), kResultDone);
    EXPECT_EQ(Data(), 0);
    ASSERT_FALSE(terminal->FrameLog().empty());
    EXPECT_EQ(terminal->FrameLog().back().frame, 0xFF14);  // GO TO SCENE 4 to broadcast
}

TEST_F(PageEventsTest, RejectedAddressesComeBackAsResults) {
    Refresh();
    page->SendDALI(kCmdOff, kAddrShort, 64);
    EXPECT_EQ(Ret(), kResultBadAddress);
    page->SendDALI(kCmdOff, 7, 0);
    EXPECT_EQ(Ret(), kResultBadAddrType);
    EXPECT_TRUE(terminal->FrameLog().empty());
}

TEST_F(PageEventsTest, NamesAreMatchedExactlyAndUnknownOnesIgnored) {
    Refresh();
    DaliRequest request;
    request.nData = 9;
    page->RaiseEvent("senddalicommand", request.params);
    page->RaiseEvent("Click", request.params);
    control->HandleObjectEvents("ReceiveDaliData", request.params);
    EXPECT_EQ(request.nRet, -99);
    EXPECT_EQ(request.nData, 9);
    EXPECT_TRUE(terminal->FrameLog().empty());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(PageEventsTest, BadParametersShowHandleObjectEventsAndLeaveTheResultUnwritten) {
    Refresh();
    std::int16_t nCommandId = 0, nData = 300, nAddrType = 2, nAddr = 0, nRet = -5;
    EventParams params;
    params.Bind("nCommandId", nCommandId)
        .Bind("nData", nData)
        .Bind("nAddrType", nAddrType)
        .Bind("nAddr", nAddr)
        .Bind("nRet", nRet);
    page->RaiseEvent("SendDALICommand", params);
    EventParams missing;
    missing.Bind("nRet", nRet);
    page->RaiseEvent("SendDSICommand", missing);
    std::string text = "12x";
    EventParams textual;
    textual.Bind("nData", text).Bind("nRet", nRet);
    page->RaiseEvent("SendDSICommand", textual);

    std::vector<std::string> texts = BoxTexts(ctx.dialogs);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].rfind("Error: HandleObjectEvents: Overflow\r\nSource: ", 0), 0u);
    EXPECT_EQ(
        texts[1].rfind("Error: HandleObjectEvents: Invalid procedure call or argument: nData", 0),
        0u);
    EXPECT_EQ(texts[2].rfind("Error: HandleObjectEvents: Type mismatch", 0), 0u);
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "System failure");
    EXPECT_EQ(nRet, -5);
    EXPECT_TRUE(terminal->FrameLog().empty());
}

TEST_F(PageEventsTest, TextParametersAreConvertedBothWays) {
    Refresh();
    std::string nData = "3", nRet = "?";
    EventParams params;
    params.Bind("nData", nData).Bind("nRet", nRet);
    page->RaiseEvent("SendDSICommand", params);
    EXPECT_EQ(nRet, "0");
    EXPECT_EQ(nData, "3");
}

TEST_F(PageEventsTest, ADevComFailureInsideTheTransactionIsReportedThroughTheResult) {
    Refresh();
    port->faults.failOnCall = port->faults.calls + 1;
    page->SendDALI(kCmdOff, kAddrShort, 5);
    EXPECT_EQ(Ret(), kResultError);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(
        ctx.dialogs.boxes[0].text.rfind("Error: SendDALICommand: Device communication failed", 0),
        0u);
}

TEST_F(PageEventsTest, PagesLieOnTabMainAndARemovedPageIsNoLongerHeard) {
    EXPECT_EQ(control->Page(PageKind::Commands), page);
    EXPECT_EQ(page->Parent(), &control->tabMain);
    EXPECT_EQ(page->Left(), kPageLeft);
    EXPECT_EQ(page->Top(), kPageTop);
    EXPECT_EQ(page->Width(), kPageWidth);
    EXPECT_EQ(page->Height(), kPageHeight);
    EXPECT_TRUE(page->Visible());

    auto* light = &control->SetPage(PageKind::LightControl,
                                    std::make_unique<DevicePage>("configZD4270LightControl"));
    EXPECT_EQ(light->Name(), PageClassName(PageKind::LightControl));
    control->RemovePageControls();
    for (int kind = 0; kind < kPageKindCount; ++kind) {
        EXPECT_EQ(control->Page(static_cast<PageKind>(kind)), nullptr);
    }
    EXPECT_TRUE(control->tabMain.Children().end() == std::find(control->tabMain.Children().begin(),
                                                               control->tabMain.Children().end(),
                                                               light));

    // A page kept alive by someone else after its removal reaches nothing.
    auto detached = std::make_unique<TestPage>();
    TestPage* kept = detached.get();
    control->SetPage(PageKind::Scenes, std::move(detached));
    int heard = 0;
    kept->ObjectEvent.Connect([&](std::string_view, EventParams&) { ++heard; });
    kept->SendDALI(kCmdOff, kAddrShort, 5);
    EXPECT_EQ(kept->request.nRet, kResultNoDevCom);
    EXPECT_EQ(heard, 1);
}

TEST(EventParamsTest, ValuesAreCheckedAgainstTheVariablesTheyGoTo) {
    std::uint8_t byte = 1;
    std::int16_t word = 2;
    std::int32_t dword = 3;
    EventParams params;
    params.Bind("b", byte).Bind("w", word).Bind("d", dword);
    EXPECT_EQ(params.Get("w"), 2);
    params.Set("b", 255);
    EXPECT_EQ(byte, 255);
    EXPECT_THROW(params.Set("b", 256), ControlError);
    EXPECT_THROW(params.Set("b", -1), ControlError);
    EXPECT_EQ(byte, 255);
    EXPECT_THROW(params.Set("w", 32768), ControlError);
    params.Set("d", 70000);
    EXPECT_EQ(dword, 70000);
    EXPECT_FALSE(params.Has("B"));
    EXPECT_THROW(params.Get("B"), ControlError);
    // Binding a name again takes the new variable.
    std::int16_t other = 9;
    params.Bind("w", other);
    EXPECT_EQ(params.Get("w"), 9);
}

}  // namespace
}  // namespace zd::test
