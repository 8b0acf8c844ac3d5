// A simulated terminal on a virtual clock, and a master that writes command words and reads status
// and answers in the terminal's default packed layout, for the simulator's own tests.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/VirtualScheduler.h"
#include "sim/Terminal.h"

namespace zd::sim::test {

class SimRig {
  public:
    SimRig() : m_terminal(std::make_unique<Terminal>(m_scheduler)) {}

    VirtualScheduler& Clock() { return m_scheduler; }
    Terminal& Term() { return *m_terminal; }

    // The feature register written behind the code word, as the control's options do it.
    void WriteFeatures(std::uint16_t features) {
        std::uint16_t code = Terminal::kCodeWord;
        m_terminal->WriteTable(m_terminal->Position(), 0, 31, 1, &code);
        m_terminal->WriteTable(m_terminal->Position(), 0, 32, 1, &features);
    }

    // The output data value into its place, control byte unchanged.
    void PutData(std::uint16_t value) {
        Update([&](std::uint16_t* words) { Place(value, words); });
    }
    // XORs bits into the control byte.
    void FlipControl(std::uint8_t bits) {
        Update([&](std::uint16_t* words) { words[0] ^= bits; });
    }
    // As the control's handshake: the data written, then control bit 0 toggled.
    void Command(std::uint16_t word) {
        PutData(word);
        FlipControl(0x01);
    }

    std::uint8_t Status() { return static_cast<std::uint8_t>(InputWords()[0]); }
    std::uint16_t Input() {
        const auto words = InputWords();
        return static_cast<std::uint16_t>((words[0] >> 8) | ((words[1] & 0xFF) << 8));
    }
    // A command and, 60 ms later, the answer byte if one is present.
    std::optional<std::uint8_t> Ask(std::uint16_t word) {
        Command(word);
        m_scheduler.Sleep(60);
        const std::uint16_t input = Input();
        if ((input & 0x0100) == 0) return std::nullopt;
        return static_cast<std::uint8_t>(input);
    }
    // A command, then time for the terminal to finish it.
    void Do(std::uint16_t word) {
        Command(word);
        m_scheduler.Sleep(60);
    }

  private:
    // The terminal's default packed placement, Intel order: status and input in table 0, control
    // and output in table 1, the 16-bit values starting in the high byte of word 0.
    static constexpr std::int32_t kInputTable = 0;
    static constexpr std::int32_t kOutputTable = 1;
    static void Place(std::uint16_t value, std::uint16_t* words) {
        words[0] = static_cast<std::uint16_t>((words[0] & 0x00FF) | ((value & 0xFF) << 8));
        words[1] = static_cast<std::uint16_t>((words[1] & 0xFF00) | (value >> 8));
    }
    template <class Change>
    void Update(Change change) {
        std::uint16_t words[2];
        m_terminal->ReadTable(0, kOutputTable, 0, 2, words);
        change(words);
        m_terminal->WriteTable(0, kOutputTable, 0, 2, words);
    }
    std::array<std::uint16_t, 2> InputWords() {
        std::array<std::uint16_t, 2> words{};
        m_terminal->ReadTable(0, kInputTable, 0, 2, words.data());
        return words;
    }

    VirtualScheduler m_scheduler;
    std::unique_ptr<Terminal> m_terminal;
};

}  // namespace zd::sim::test
