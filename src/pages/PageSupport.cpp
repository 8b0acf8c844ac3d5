#include "pages/PageSupport.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>

#include "devices/NumericText.h"
#include "link/Results.h"
#include "platform/Error.h"

namespace zd {

std::string FormatNumber(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    // nearbyint rounds halves to even in the default rounding mode.
    const double rounded = std::nearbyint(value * scale) / scale;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, rounded);
    std::string text = buffer;
    const std::size_t point = text.find_first_of(".,");
    if (point != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.' || text.back() == ',') {
            text.pop_back();
        } else {
            const lconv* conventions = std::localeconv();
            const char* separator = conventions ? conventions->decimal_point : nullptr;
            text.replace(point, 1, separator && *separator ? separator : ".");
        }
    }
    return text == "-0" ? "0" : text;
}

std::string GetPercentString(std::int32_t level) {
    if (level == 0) return "0";
    if (level >= 255) return "MASK";
    const double exponent = (static_cast<double>(level) - 1.0) / (253.0 / 3.0) - 1.0;
    return FormatNumber(std::pow(10.0, exponent), 3);
}

std::string LevelPercentText(std::int32_t level) {
    return level == 255 ? "MASK" : GetPercentString(level) + " %";
}

std::string FadeRateText(std::int32_t rate) {
    if (rate < 1 || rate > 15) return {};
    return FormatNumber(506.0 / std::sqrt(std::pow(2.0, rate)), 1);
}

std::string FadeTimeText(std::int32_t time) {
    if (time < 0 || time > 15) return {};
    return FormatNumber(0.5 * std::sqrt(std::pow(2.0, time)), 1);
}

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

void DaliDevicePage::SetDALIAddrType(std::int16_t nAddrType) {
    if (nAddrType >= 0 && nAddrType <= 2) DevicePage::SetDALIAddrType(nAddrType);
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

std::int16_t DaliDevicePage::SendDALICommand(std::int16_t nCommandId, std::uint8_t nData,
                                             std::int16_t nAddrType, std::int16_t nAddr) {
    std::int16_t nRet = kResultDone;
    EventParams params;
    params.Bind("nCommandId", nCommandId)
        .Bind("nData", nData)
        .Bind("nAddrType", nAddrType)
        .Bind("nAddr", nAddr)
        .Bind("nRet", nRet);
    RaiseEvent("SendDALICommand", params);
    return nRet;
}

std::int16_t DaliDevicePage::ReceiveDALIData(std::uint8_t& nData) {
    std::int16_t nRet = kResultDone;
    EventParams params;
    params.Bind("nData", nData).Bind("nRet", nRet);
    RaiseEvent("ReceiveDALIData", params);
    return nRet;
}

std::int16_t DaliDevicePage::QueryDALIData(std::int16_t nCommandId, std::uint8_t nQueryData,
                                           std::uint8_t& nData) {
    std::int16_t nRet = SendDALICommand(nCommandId, nQueryData);
    if (nRet == kResultDone) nRet = ReceiveDALIData(nData);
    // A gear that lost an answer, or answers every second question, answers the second ask: the
    // page shows its value rather than "?".
    if (nRet == kResultTimeout) {
        nRet = SendDALICommand(nCommandId, nQueryData);
        if (nRet == kResultDone) nRet = ReceiveDALIData(nData);
    }
    m_bQueryLostConnection = nRet == kResultError;
    return nRet;
}

void DaliDevicePage::ShowModeRefusal(int messageId) {
    m_context.dialogs.MessageBox({m_context.messages.Load(messageId) + "!", MsgButtons::Ok,
                                  MsgIcon::Information, m_context.messages.Load(5098)});
}

}  // namespace zd
