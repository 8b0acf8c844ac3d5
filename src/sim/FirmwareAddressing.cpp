#include "sim/FirmwareAddressing.h"

namespace zd::sim {

namespace {

constexpr std::uint8_t kBroadcastCommand = 0xFF;
constexpr std::uint8_t kRecallMaxLevel = 5;
constexpr std::uint8_t kRecallMinLevel = 6;
constexpr std::uint8_t kStoreDtrAsShortAddress = 128;
constexpr std::uint8_t kQueryControlGear = 145;

constexpr std::uint8_t ShortAddressByte(int address) {
    return static_cast<std::uint8_t>((address << 1) | 1);
}

}  // namespace

FirmwareAddressing::FirmwareAddressing(std::uint16_t parameter)
    : m_newInstallation((parameter & 0x0001) != 0),
      m_opticalFeedback((parameter & 0x0008) != 0),
      m_startAddress(static_cast<std::uint8_t>(parameter >> 8)) {}

std::optional<std::uint16_t> FirmwareAddressing::Start() {
    if (m_startAddress > 63) {
        m_result = kFirmwareNoFreeShortAddress;
        m_phase = Phase::Done;
        return std::nullopt;
    }
    m_address = m_startAddress;
    // With optical feedback every lamp goes to its minimum, so that each one found stands out at
    // its maximum.
    if (m_opticalFeedback) m_frames.push_back(MakeFrame(kBroadcastCommand, kRecallMinLevel));
    if (m_newInstallation) {
        m_frames.push_back(MakeFrame(kInitialise, 0x00));
        m_frames.push_back(MakeFrame(kDataTransferRegister, 0xFF));
        m_frames.push_back(MakeFrame(kBroadcastCommand, kStoreDtrAsShortAddress));
    } else {
        m_frames.push_back(MakeFrame(kInitialise, 0xFF));
    }
    m_frames.push_back(MakeFrame(kRandomise, 0x00));
    m_phase = Phase::Prologue;
    return NextFrame();
}

std::optional<std::uint16_t> FirmwareAddressing::OnAnswer(const LineAnswer& answer) {
    if (m_phase == Phase::Done) return std::nullopt;
    // Answers to frames in the middle of a queued sequence carry nothing the run needs.
    if (m_frames.empty()) Decide(answer);
    return NextFrame();
}

std::optional<std::uint16_t> FirmwareAddressing::NextFrame() {
    if (m_frames.empty()) return std::nullopt;
    const std::uint16_t frame = m_frames.front();
    m_frames.pop_front();
    return frame;
}

void FirmwareAddressing::Decide(const LineAnswer& answer) {
    const bool heard = answer.kind != AnswerKind::None;
    switch (m_phase) {
        case Phase::Prologue:
            // After a complete new installation every short address is free; otherwise the
            // addresses in use are found first, and an address two gear answer on is an error.
            if (m_newInstallation) {
                BeginSearchRound();
            } else {
                m_probe = 0;
                BeginProbe();
            }
            return;
        case Phase::Probe:
            if (answer.kind == AnswerKind::Corrupt) {
                Finish(kFirmwareSameShortAddress);
                return;
            }
            m_taken[static_cast<std::size_t>(m_probe)] = heard;
            ++m_probe;
            if (m_probe < 64) {
                BeginProbe();
            } else {
                BeginSearchRound();
            }
            return;
        case Phase::CompareAll:
            if (!heard) {
                Finish(m_count <= 63 ? m_count : kFirmwareNoFreeShortAddress);
                return;
            }
            m_high = kNoRandomAddress;
            m_phase = Phase::Search;
            m_searchProbe = m_low + (m_high - m_low) / 2;
            QueueCompare(m_searchProbe);
            return;
        case Phase::Search:
            // A corrupt frame after COMPARE means several gear said yes.
            if (heard) {
                m_high = m_searchProbe;
            } else {
                m_low = m_searchProbe + 1;
            }
            if (m_low >= m_high) {
                m_low = m_high;
                m_phase = Phase::Confirm;
                QueueCompare(m_low);
            } else {
                m_searchProbe = m_low + (m_high - m_low) / 2;
                QueueCompare(m_searchProbe);
            }
            return;
        case Phase::Confirm:
            if (!heard) {
                Finish(kFirmwareNoCompareReply);
                return;
            }
            while (m_address < 64 && m_taken[static_cast<std::size_t>(m_address)]) ++m_address;
            if (m_address > 63) {
                Finish(kFirmwareNoFreeShortAddress);
                return;
            }
            m_frames.push_back(MakeFrame(kProgramShortAddress, ShortAddressByte(m_address)));
            m_frames.push_back(MakeFrame(kVerifyShortAddress, ShortAddressByte(m_address)));
            m_phase = Phase::Verify;
            return;
        case Phase::Verify:
            if (!heard) {
                Finish(kFirmwareNoReplyAfterProgramming);
                return;
            }
            if (answer.kind == AnswerKind::Corrupt) {
                Finish(kFirmwareSameShortAddress);
                return;
            }
            m_taken[static_cast<std::size_t>(m_address)] = true;
            ++m_count;
            if (m_opticalFeedback)
                m_frames.push_back(MakeFrame(ShortAddressByte(m_address), kRecallMaxLevel));
            m_frames.push_back(MakeFrame(kWithdraw, 0x00));
            m_phase = Phase::AfterWithdraw;
            return;
        case Phase::AfterWithdraw:
            // The gear still taking part all have random addresses at or above the one just found.
            BeginSearchRound();
            return;
        case Phase::Ending:
            m_phase = Phase::Done;
            return;
        case Phase::Done:
            return;
    }
}

void FirmwareAddressing::BeginProbe() {
    m_phase = Phase::Probe;
    m_frames.push_back(MakeFrame(ShortAddressByte(m_probe), kQueryControlGear));
}

void FirmwareAddressing::BeginSearchRound() {
    m_phase = Phase::CompareAll;
    QueueCompare(kNoRandomAddress);
}

void FirmwareAddressing::QueueSearchAddress(std::uint32_t address) {
    const std::uint8_t commands[3] = {kSearchAddrH, kSearchAddrM, kSearchAddrL};
    for (int i = 0; i < 3; ++i) {
        const int byte = static_cast<int>((address >> (16 - 8 * i)) & 0xFF);
        if (byte == m_lastSearchBytes[static_cast<std::size_t>(i)]) continue;
        m_lastSearchBytes[static_cast<std::size_t>(i)] = byte;
        m_frames.push_back(MakeFrame(commands[i], static_cast<std::uint8_t>(byte)));
    }
}

void FirmwareAddressing::QueueCompare(std::uint32_t address) {
    QueueSearchAddress(address);
    m_frames.push_back(MakeFrame(kCompare, 0x00));
}

void FirmwareAddressing::Finish(std::uint8_t result) {
    m_result = result;
    m_frames.clear();
    m_frames.push_back(MakeFrame(kTerminate, 0x00));
    m_phase = Phase::Ending;
}

}  // namespace zd::sim
