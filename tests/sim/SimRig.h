// A simulated terminal on a virtual clock, and a master that writes command words and reads status
// and answers the way the control places them in the process image, for the simulator's own tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/VirtualScheduler.h"
#include "sim/Terminal.h"

namespace zd::sim::test {

class SimRig {
  public:
    explicit SimRig(const TerminalConfig& config = {})
        : m_terminal(std::make_unique<Terminal>(m_scheduler, config)) {}

    VirtualScheduler& Clock() { return m_scheduler; }
    Terminal& Term() { return *m_terminal; }

    // The feature register written behind the code word, as the control's options do it.
    void WriteFeatures(std::uint16_t features) {
        std::uint16_t code = Terminal::kCodeWord;
        m_terminal->WriteTable(m_terminal->Position(), 0, 31, 1, &code);
        m_terminal->WriteTable(m_terminal->Position(), 0, 32, 1, &features);
    }
    std::uint16_t ReadWord(std::int32_t table, std::int32_t offset) {
        std::uint16_t word = 0;
        m_terminal->ReadTable(0, table, offset, 1, &word);
        return word;
    }

    // The output data value (swapped under Motorola) into its place, control byte unchanged.
    void PutData(std::uint16_t value) {
        std::uint16_t words[2];
        const ImageEntry& at = OutputWordsAt();
        m_terminal->ReadTable(0, at.nTableNumber, at.nWordOffset, 2, words);
        Place(value, words);
        m_terminal->WriteTable(0, at.nTableNumber, at.nWordOffset, 2, words);
    }
    void Place(std::uint16_t value, std::uint16_t* words) const {
        if (m_terminal->Layout().motorola)
            value = static_cast<std::uint16_t>((value >> 8) | (value << 8));
        if (Packed()) {
            words[0] = static_cast<std::uint16_t>((words[0] & 0x00FF) | ((value & 0xFF) << 8));
            words[1] = static_cast<std::uint16_t>((words[1] & 0xFF00) | (value >> 8));
        } else {
            words[1] = value;
        }
    }
    // XORs bits into the control byte.
    void FlipControl(std::uint8_t bits) {
        const ImageEntry& at = OutputWordsAt();
        std::uint16_t words[2];
        m_terminal->ReadTable(0, at.nTableNumber, at.nWordOffset, 2, words);
        words[0] ^= ControlBits(bits);
        m_terminal->WriteTable(0, at.nTableNumber, at.nWordOffset, 2, words);
    }
    // As the control's handshake: one read of the output words, the data written, then the same
    // words with control bit 0 toggled.
    void Command(std::uint16_t word) {
        std::uint16_t words[2];
        const ImageEntry& at = OutputWordsAt();
        m_terminal->ReadTable(0, at.nTableNumber, at.nWordOffset, 2, words);
        Place(word, words);
        m_terminal->WriteTable(0, at.nTableNumber, at.nWordOffset, 2, words);
        words[0] ^= ControlBits(0x01);
        m_terminal->WriteTable(0, at.nTableNumber, at.nWordOffset, 2, words);
    }

    std::uint8_t Status() {
        const ImageEntry& at = m_terminal->Layout().entries[kImageStatus];
        const std::uint16_t word = ReadWord(at.nTableNumber, at.nWordOffset);
        return static_cast<std::uint8_t>(at.nBitOffset != 0 ? word >> 8 : word);
    }
    std::uint16_t Input() {
        const ImageEntry& at = m_terminal->Layout().entries[kImageInput];
        std::uint16_t value = 0;
        if (at.nBitOffset != 0) {
            const std::uint16_t low = ReadWord(at.nTableNumber, at.nWordOffset);
            const std::uint16_t high = ReadWord(at.nTableNumber, at.nWordOffset + 1);
            value = static_cast<std::uint16_t>((low >> 8) | ((high & 0xFF) << 8));
        } else {
            value = ReadWord(at.nTableNumber, at.nWordOffset);
        }
        if (m_terminal->Layout().motorola)
            value = static_cast<std::uint16_t>((value >> 8) | (value << 8));
        return value;
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
    std::uint16_t ControlBits(std::uint8_t bits) const {
        const bool high = !Packed() && m_terminal->Layout().entries[kImageControl].nBitOffset != 0;
        return static_cast<std::uint16_t>(high ? bits << 8 : bits);
    }
    bool Packed() const { return m_terminal->Layout().entries[kImageOutput].nBitOffset != 0; }
    const ImageEntry& OutputWordsAt() const {
        const ImageLayout& layout = m_terminal->Layout();
        return Packed() ? layout.entries[kImageOutput] : layout.entries[kImageControl];
    }

    VirtualScheduler m_scheduler;
    std::unique_ptr<Terminal> m_terminal;
};

}  // namespace zd::sim::test
