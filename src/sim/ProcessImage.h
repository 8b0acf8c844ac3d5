// The terminal's share of the fieldbus process image: where its control, status and data bytes lie
// among the 16-bit words of the image tables (packed or word-aligned placement), read and written
// exactly the way the control places them, and the word store the host reads and writes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace zd::sim {

// One process-data variable of the terminal: the same three fields as the control's layout entry.
struct ImageEntry {
    std::int32_t nWordOffset = -1;
    std::int32_t nBitOffset = -1;
    std::int32_t nTableNumber = -1;
};

// Indices into ImageLayout::entries, in the order the control reads them.
enum ImageIndex : int { kImageStatus = 0, kImageInput = 1, kImageControl = 2, kImageOutput = 3 };

struct ImageLayout {
    std::array<ImageEntry, 4> entries{};
    // Motorola order: the 16-bit data values are byte-swapped in the image; control and status
    // bytes never are.
    bool motorola = false;

    // STATUS 0.0, INPUT 0.8 in the input table; CONTROL 0.0, OUTPUT 0.8 in the output table.
    static ImageLayout Packed(std::int32_t inputTable, std::int32_t outputTable,
                              bool motorola = false);
    // STATUS 0.0, INPUT 1.0 in the input table; CONTROL 0.0, OUTPUT 1.0 in the output table.
    static ImageLayout WordAligned(std::int32_t inputTable, std::int32_t outputTable,
                                   bool motorola = false);
};

class ProcessImage {
  public:
    static constexpr std::int32_t kTableWords = 256;

    ProcessImage();

    // Takes a new layout and clears the image. Throws ControlError for a layout whose bytes do not
    // fit a table, lie on the watchdog table, or put an input byte into an output word.
    void SetLayout(const ImageLayout& layout);
    const ImageLayout& Layout() const { return m_layout; }

    // The host's word access. Words that carry input bytes are the terminal's: a host write leaves
    // them alone. Throws ControlError for a table the layout does not use or words past its end.
    void Read(std::int32_t table, std::int32_t offset, std::int32_t count,
              std::uint16_t* data) const;
    void Write(std::int32_t table, std::int32_t offset, std::int32_t count,
               const std::uint16_t* data);
    // Throws as Read and Write do, without touching anything.
    void Check(std::int32_t table, std::int32_t offset, std::int32_t count) const {
        (void)FindTable(table, offset, count);
    }
    // As Check, and refuses a write to words that carry input bytes: those are the terminal's, and
    // a host that writes them has the layout wrong, which it should learn rather than be ignored.
    void CheckWrite(std::int32_t table, std::int32_t offset, std::int32_t count) const;

    // The terminal's side. Data values are as they stand in the image, before any byte swap.
    std::uint8_t ControlByte() const { return Get(m_control); }
    std::uint16_t OutputValue() const {
        return static_cast<std::uint16_t>(Get(m_outputLow) | (Get(m_outputHigh) << 8));
    }
    std::uint8_t StatusByte() const { return Get(m_status); }
    void SetStatusByte(std::uint8_t status) { Put(m_status, status); }
    std::uint16_t InputValue() const {
        return static_cast<std::uint16_t>(Get(m_inputLow) | (Get(m_inputHigh) << 8));
    }
    void SetInputValue(std::uint16_t value);

  private:
    struct Table {
        std::int32_t number = 0;
        std::vector<std::uint16_t> words;
        std::vector<bool> input;
    };
    struct BytePlace {
        std::size_t table = 0;
        std::int32_t word = 0;
        int shift = 0;
    };

    std::uint8_t Get(const BytePlace& place) const {
        return static_cast<std::uint8_t>(m_tables[place.table].words[place.word] >> place.shift);
    }
    void Put(const BytePlace& place, std::uint8_t value) {
        std::uint16_t& word = m_tables[place.table].words[place.word];
        word = static_cast<std::uint16_t>((word & ~(0xFF << place.shift)) | (value << place.shift));
    }
    std::size_t FindTable(std::int32_t table, std::int32_t offset, std::int32_t count) const;

    ImageLayout m_layout;
    std::vector<Table> m_tables;
    BytePlace m_status, m_inputLow, m_inputHigh, m_control, m_outputLow, m_outputHigh;
};

}  // namespace zd::sim
