#include "pages/PageSupport.h"

#include <algorithm>

#include "devices/NumericText.h"
#include "link/Results.h"
#include "platform/Error.h"

namespace zd {

BoxText ReadBoxText(const std::string& text) {
    if (text.empty()) return {BoxTextKind::Empty, 0};
    if (!IsNumericText(text)) return {BoxTextKind::Other, 0};
    return {BoxTextKind::Numeric, TextToInteger(text)};
}

void PlaceCaret(TextBox& box, int position) {
    box.SetSelStart(position);
    box.SetSelLength(0);
}

EditorBoxValue ReadEditorBox(TextBox& box, int min, int max, int caret) {
    try {
        const BoxText text = ReadBoxText(box.Text());
        if (text.kind == BoxTextKind::Numeric) {
            const int value = std::clamp<int>(text.value, min, max);
            box.SetText(std::to_string(value));
            PlaceCaret(box, caret);
            return {value, false};
        }
        if (text.kind == BoxTextKind::Other) {
            box.SetText("0");
            PlaceCaret(box, caret);
        }
        return {std::clamp(0, min, max), false};
    } catch (...) {
        box.SetText("0");
        PlaceCaret(box, caret);
        return {0, true};
    }
}

DaliDevicePage::DaliDevicePage(std::string name, const Context& context)
    : DevicePage(std::move(name)), m_context(context) {
    SetVisible(false);
}

void DaliDevicePage::SetDALIAddr(std::int16_t nAddr) {
    if (nAddr >= 0 && nAddr <= 63) DevicePage::SetDALIAddr(nAddr);
}

void DaliDevicePage::SetDALIAddrType(AddressKind nAddrType) {
    const std::int16_t number = AddressKindNumber(nAddrType);
    if (number >= 0 && number <= 2) DevicePage::SetDALIAddrType(nAddrType);
}

void DaliDevicePage::ReadListSteps(const char* procedure, ProgressBar& progress, int steps,
                                   const std::function<void(bool)>& enable,
                                   const std::function<void()>& clear,
                                   const std::function<void(int)>& readStep) {
    try {
        enable(false);
        progress.SetValue(0);
        clear();
        m_context.scheduler.DoEvents();
        for (int step = 0; step < steps; ++step) {
            progress.SetValue(step + 1);
            m_context.scheduler.DoEvents();
            readStep(step);
            if (QueryLostConnection()) break;
        }
        progress.SetValue(0);
        enable(true);
    } catch (...) {
        IgnoreErrors([&] { enable(true); });
        ReportCurrentException(m_context, procedure);
    }
}

Result DaliDevicePage::SendDALICommand(std::int16_t nCommandId, std::uint8_t nData,
                                       AddressKind nAddrType, std::int16_t nAddr) {
    std::int16_t nRet = ResultNumber(Result::Done);
    std::int16_t nAddrTypeNumber = AddressKindNumber(nAddrType);
    EventParams params;
    params.Bind("nCommandId", nCommandId)
        .Bind("nData", nData)
        .Bind("nAddrType", nAddrTypeNumber)
        .Bind("nAddr", nAddr)
        .Bind("nRet", nRet);
    RaiseEvent("SendDALICommand", params);
    return ResultFromNumber(nRet);
}

Result DaliDevicePage::ReceiveDALIData(std::uint8_t& nData) {
    std::int16_t nRet = ResultNumber(Result::Done);
    EventParams params;
    params.Bind("nData", nData).Bind("nRet", nRet);
    RaiseEvent("ReceiveDALIData", params);
    return ResultFromNumber(nRet);
}

Result DaliDevicePage::QueryDALIData(std::int16_t nCommandId, std::uint8_t nQueryData,
                                     std::uint8_t& nData) {
    Result nRet = SendDALICommand(nCommandId, nQueryData);
    if (nRet == Result::Done) nRet = ReceiveDALIData(nData);
    // A gear that lost an answer, or answers every second question, answers the second ask: the
    // page shows its value rather than "?".
    if (nRet == Result::Timeout) {
        nRet = SendDALICommand(nCommandId, nQueryData);
        if (nRet == Result::Done) nRet = ReceiveDALIData(nData);
    }
    m_bQueryLostConnection = nRet == Result::Error;
    return nRet;
}

EngineTerminal DaliDevicePage::WriteTerminal() {
    if (!m_terminalState || !m_terminalLink)
        throw ControlError("the page is not attached to a terminal");
    // The engine's notices (a refusal in the other mode) are shown as the page's boxes.
    return {*m_terminalState, *m_terminalLink, m_context, m_terminalPosition,
            [this](const EngineNotice& notice) {
                m_context.dialogs.MessageBox(NoticeBox(notice, m_context.messages));
            }};
}

void DaliDevicePage::ShowModeRefusal(int messageId) {
    m_context.dialogs.MessageBox({m_context.messages.Load(messageId) + "!", MsgButtons::Ok,
                                  MsgIcon::Information, m_context.messages.Load(5098)});
}

}  // namespace zd
