// The routing of device pages' requests: a test page raises its events by name with by-reference
// parameters; the control runs the transaction on the simulated line and writes the results back.
#include "support/ControlRig.h"

namespace zd::test {
namespace {

// Raises the requests by name with the variables a page passes by reference.
class TestPage : public DevicePage {
  public:
    TestPage() : DevicePage("configZD4270Commands") {}

    void SendDALI(std::int16_t commandId, AddressKind addrType, std::int16_t addr) {
        request.nCommandId = commandId;
        request.nAddrType = AddressKindNumber(addrType);
        request.nAddr = addr;
        RaiseEvent("SendDALICommand", request.params);
    }
    void Receive() { RaiseEvent("ReceiveDALIData", request.params); }
    DaliRequest request;
};

// Gear 5 on the line; the frames sent after the refresh are logged.
class PageEventsTest : public ControlRig {
  protected:
    void SetUp() override {
        ControlRig::SetUp();
        sim::GearConfig gear;
        gear.shortAddress = 5;
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
    Result Ret() const { return ResultFromNumber(page->request.nRet); }
    std::uint8_t Data() const { return page->request.nData; }

    TestPage* page = nullptr;
};

TEST_F(PageEventsTest, BeforeRefreshDataEveryRequestAnswersNoDevCom) {
    page->SendDALI(kCmdOff, AddressKind::Short, 5);
    EXPECT_EQ(Ret(), Result::NoDevCom);
    page->request.nData = 77;
    page->Receive();
    EXPECT_EQ(Ret(), Result::NoDevCom);
    EXPECT_EQ(Data(), 0);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

// Answers and timeouts reach the pages as LightControlPageTest
// QueriesShowTheAnswersAndFailuresAsNoOrQuestionMark pins through a real page.
TEST_F(PageEventsTest, FailuresReachThePageButTheSceneTakenFromDataDoesNot) {
    Refresh();
    page->request.nData = 9;
    page->SendDALI(20, AddressKind::Broadcast, 0);
    EXPECT_EQ(Ret(), Result::Done);
    EXPECT_EQ(terminal->FrameLog().back().frame, 0xFF14);  // GO TO SCENE 4, not 9, to broadcast

    // A device-communication failure inside the transaction is reported through the result.
    port->Faults().m_failOnCall = 1;
    page->SendDALI(kCmdOff, AddressKind::Short, 5);
    EXPECT_EQ(Ret(), Result::Error);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(
        ctx.dialogs.boxes[0].text.rfind("Error: SendDALICommand: device communication failed", 0),
        0u);
}

TEST_F(PageEventsTest, OnlyExactNamesAreHandledAndBadParametersLeaveTheResultUnwritten) {
    Refresh();
    DaliRequest request;
    request.nData = 9;
    page->RaiseEvent("senddalicommand", request.params);
    page->RaiseEvent("Click", request.params);
    control->HandleObjectEvents("ReceiveDaliData", request.params);
    EXPECT_EQ(request.nRet, -99);
    EXPECT_EQ(request.nData, 9);
    EXPECT_TRUE(terminal->FrameLog().empty());
    page->RaiseEvent("SendDSICommand", request.params);
    EXPECT_EQ(request.nRet, ResultNumber(Result::Done));
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    std::int16_t nCommandId = 0, nData = 300, nAddrType = 2, nAddr = 0, nRet = -5;
    EventParams overflow, missing;
    overflow.Bind("nCommandId", nCommandId).Bind("nData", nData).Bind("nAddrType", nAddrType);
    overflow.Bind("nAddr", nAddr).Bind("nRet", nRet);
    missing.Bind("nRet", nRet);
    page->RaiseEvent("SendDALICommand", overflow);
    page->RaiseEvent("SendDSICommand", missing);
    const std::vector<std::string> texts = BoxTexts(ctx.dialogs);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind("Error: HandleObjectEvents: Overflow\r\nSource: ", 0), 0u);
    EXPECT_EQ(
        texts[1].rfind("Error: HandleObjectEvents: Invalid procedure call or argument: nData", 0),
        0u);
    EXPECT_EQ(nRet, -5);
}

TEST(EventParamsTest, ValuesAreCheckedAgainstTheVariablesTheyGoTo) {
    std::uint8_t byte = 1;
    std::int16_t word = 2, other = 9;
    std::string text = "12";
    EventParams params;
    params.Bind("b", byte).Bind("w", word).Bind("s", text);
    params.Set("b", 255);
    EXPECT_THROW(params.Set("b", 256), ControlError);
    EXPECT_THROW(params.Set("b", -1), ControlError);
    EXPECT_EQ(byte, 255);
    EXPECT_THROW(params.Set("w", 32768), ControlError);
    EXPECT_EQ(params.Get("s"), 12);
    params.Set("s", 3);
    EXPECT_EQ(text, "3");
    params.Bind("w", other);  // binding a name again takes the new variable
    EXPECT_EQ(params.Get("w"), 9);
}

}  // namespace
}  // namespace zd::test
