#include "sim/ProcessImage.h"

#include <string>

#include "platform/Error.h"

namespace zd::sim {

namespace {

constexpr std::int32_t kWatchdogTable = 99;

const char* const kEntryNames[4] = {"STATUS", "INPUT", "CONTROL", "OUTPUT"};

[[noreturn]] void Refuse(const std::string& reason) {
    throw ControlError("process image layout: " + reason, kLibraryTitle, kErrDevCom);
}

}  // namespace

ImageLayout ImageLayout::Packed(std::int32_t inputTable, std::int32_t outputTable, bool motorola) {
    ImageLayout layout;
    layout.entries[kImageStatus] = {0, 0, inputTable};
    layout.entries[kImageInput] = {0, 8, inputTable};
    layout.entries[kImageControl] = {0, 0, outputTable};
    layout.entries[kImageOutput] = {0, 8, outputTable};
    layout.motorola = motorola;
    return layout;
}

ImageLayout ImageLayout::WordAligned(std::int32_t inputTable, std::int32_t outputTable,
                                     bool motorola) {
    ImageLayout layout;
    layout.entries[kImageStatus] = {0, 0, inputTable};
    layout.entries[kImageInput] = {1, 0, inputTable};
    layout.entries[kImageControl] = {0, 0, outputTable};
    layout.entries[kImageOutput] = {1, 0, outputTable};
    layout.motorola = motorola;
    return layout;
}

ProcessImage::ProcessImage() {
    SetLayout(ImageLayout::Packed(0, 1));
}

void ProcessImage::SetLayout(const ImageLayout& layout) {
    for (int i = 0; i < 4; ++i) {
        const ImageEntry& entry = layout.entries[i];
        const std::string name = kEntryNames[i];
        if (entry.nWordOffset < 0 || entry.nWordOffset >= kTableWords)
            Refuse(name + " word offset " + std::to_string(entry.nWordOffset) + " out of range");
        if (entry.nBitOffset != 0 && entry.nBitOffset != 8)
            Refuse(name + " bit offset " + std::to_string(entry.nBitOffset) +
                   " is neither 0 nor 8");
        if (entry.nTableNumber < 0 || entry.nTableNumber == kWatchdogTable)
            Refuse(name + " table " + std::to_string(entry.nTableNumber) +
                   " cannot hold process data");
    }
    const ImageEntry& status = layout.entries[kImageStatus];
    const ImageEntry& input = layout.entries[kImageInput];
    const ImageEntry& control = layout.entries[kImageControl];
    const ImageEntry& output = layout.entries[kImageOutput];

    std::vector<Table> tables;
    auto tableIndex = [&tables](std::int32_t number) {
        for (std::size_t i = 0; i < tables.size(); ++i) {
            if (tables[i].number == number) return i;
        }
        tables.push_back(Table{number, std::vector<std::uint16_t>(kTableWords, 0),
                               std::vector<bool>(kTableWords, false)});
        return tables.size() - 1;
    };
    auto place = [&](const ImageEntry& entry, std::int32_t wordDelta, int shift, const char* what) {
        const std::int32_t word = entry.nWordOffset + wordDelta;
        if (word >= kTableWords) Refuse(std::string(what) + " lies past the end of its table");
        return BytePlace{tableIndex(entry.nTableNumber), word, shift};
    };

    // The same placement rules the control applies when it reads and writes these bytes.
    BytePlace statusPlace = place(status, 0, status.nBitOffset == 0 ? 0 : 8, "the status byte");
    BytePlace inputLow, inputHigh, controlPlace, outputLow, outputHigh;
    if (input.nBitOffset != 0) {
        inputLow = place(input, 0, 8, "the input data");
        inputHigh = place(input, 1, 0, "the input data");
    } else {
        inputLow = place(input, 0, 0, "the input data");
        inputHigh = place(input, 0, 8, "the input data");
    }
    if (output.nBitOffset != 0) {
        controlPlace = place(output, 0, 0, "the control byte");
        outputLow = place(output, 0, 8, "the output data");
        outputHigh = place(output, 1, 0, "the output data");
    } else {
        controlPlace = place(control, 0, control.nBitOffset == 0 ? 0 : 8, "the control byte");
        outputLow = place(control, 1, 0, "the output data");
        outputHigh = place(control, 1, 8, "the output data");
    }
    for (const BytePlace* in : {&statusPlace, &inputLow, &inputHigh})
        tables[in->table].input[in->word] = true;
    for (const BytePlace* out : {&controlPlace, &outputLow, &outputHigh}) {
        if (tables[out->table].input[out->word]) {
            Refuse("output word " + std::to_string(out->word) + " of table " +
                   std::to_string(tables[out->table].number) + " also carries input bytes");
        }
    }
    m_layout = layout;
    m_tables = std::move(tables);
    m_status = statusPlace;
    m_inputLow = inputLow;
    m_inputHigh = inputHigh;
    m_control = controlPlace;
    m_outputLow = outputLow;
    m_outputHigh = outputHigh;
}

std::size_t ProcessImage::FindTable(std::int32_t table, std::int32_t offset,
                                    std::int32_t count) const {
    for (std::size_t index = 0; index < m_tables.size(); ++index) {
        if (m_tables[index].number != table) continue;
        if (offset < 0 || count < 1 || offset > kTableWords - count) {
            throw ControlError("process image table " + std::to_string(table) + ": words " +
                                   std::to_string(offset) + ".." +
                                   std::to_string(offset + count - 1) + " do not exist",
                               kLibraryTitle, kErrDevCom);
        }
        return index;
    }
    throw ControlError("process image table " + std::to_string(table) + " does not exist",
                       kLibraryTitle, kErrDevCom);
}

void ProcessImage::Read(std::int32_t table, std::int32_t offset, std::int32_t count,
                        std::uint16_t* data) const {
    const Table& t = m_tables[FindTable(table, offset, count)];
    for (std::int32_t i = 0; i < count; ++i) data[i] = t.words[offset + i];
}

void ProcessImage::Write(std::int32_t table, std::int32_t offset, std::int32_t count,
                         const std::uint16_t* data) {
    Table& t = m_tables[FindTable(table, offset, count)];
    for (std::int32_t i = 0; i < count; ++i) {
        if (!t.input[offset + i]) t.words[offset + i] = data[i];
    }
}

void ProcessImage::CheckWrite(std::int32_t table, std::int32_t offset, std::int32_t count) const {
    const Table& t = m_tables[FindTable(table, offset, count)];
    for (std::int32_t i = 0; i < count; ++i) {
        if (t.input[offset + i]) {
            throw ControlError("process image table " + std::to_string(table) + ": word " +
                                   std::to_string(offset + i) + " holds the terminal's inputs",
                               kLibraryTitle, kErrDevCom);
        }
    }
}

void ProcessImage::SetInputValue(std::uint16_t value) {
    Put(m_inputLow, static_cast<std::uint8_t>(value));
    Put(m_inputHigh, static_cast<std::uint8_t>(value >> 8));
}

}  // namespace zd::sim
