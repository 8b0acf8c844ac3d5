#include "cli/FrameLog.h"

#include <cstdio>

#include "link/ForwardFrames.h"

namespace zd {

std::string FrameLogLine(const sim::SentFrame& frame) {
    char head[48];
    const long long us = frame.endUs;
    if (frame.dsi) {
        const unsigned level = frame.frame & 0xFFu;
        std::snprintf(head, sizeof head, "%lld.%03lld %02X DSI level %u", us / 1000, us % 1000,
                      level, level);
        return head;
    }
    std::snprintf(head, sizeof head, "%lld.%03lld %04X ", us / 1000, us % 1000,
                  static_cast<unsigned>(frame.frame));
    std::string line = head + ForwardFrameText(frame.frame) + " -> ";
    switch (frame.answer.kind) {
        case sim::AnswerKind::None:
            line += "no answer";
            break;
        case sim::AnswerKind::Byte: {
            char answer[16];
            std::snprintf(answer, sizeof answer, "0x%02X (%u)", frame.answer.value,
                          static_cast<unsigned>(frame.answer.value));
            line += answer;
            break;
        }
        case sim::AnswerKind::Corrupt:
            line += "corrupt (several answered)";
            break;
    }
    if (frame.repeat) line += " [repeat]";
    if (frame.byFirmware) line += " [firmware]";
    return line;
}

std::string FrameLogText(const std::vector<sim::SentFrame>& frames) {
    std::string text =
        "# zd4270 frame log: end of the forward frame (virtual ms), frame (hex), what it is -> "
        "what was heard; [repeat] the terminal's second frame of a send-twice command, "
        "[firmware] the terminal's own random addressing\n";
    for (const sim::SentFrame& frame : frames) text += FrameLogLine(frame) + "\n";
    return text;
}

}  // namespace zd
