// What the bus monitor keeps: every transaction of the terminal link as it ends, in a bounded
// ring, with an answer joined to the command it answers, and the texts a person reads for each
// (address and command as the addressing log writes them, the result, the answer's meaning).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "link/Link.h"
#include "platform/Scheduler.h"

namespace zd {

enum class BusKind : std::uint8_t { Command, Query, Special };

struct BusEntry {
    std::chrono::system_clock::time_point time;
    Transaction command;  // kind DALIAnswer alone: an answer read without a command before it
    std::optional<Transaction> answer;
};

class BusLog : public TransactionObserver {
  public:
    static constexpr std::size_t kDefaultCapacity = 10'000;

    explicit BusLog(const Scheduler& clock, std::size_t capacity = kDefaultCapacity)
        : m_clock(clock), m_capacity(capacity) {}

    void Observe(const Transaction& transaction) override;

    const std::deque<BusEntry>& Entries() const { return m_entries; }
    // Entries are numbered from the first ever recorded: Entries()[n - FirstNumber()].
    std::uint64_t FirstNumber() const { return m_dropped; }
    // The entry with that number, or null once the ring has dropped it.
    const BusEntry* Entry(std::uint64_t number) const;
    void Clear();
    // Counts every change, so that a view redraws only when something happened.
    std::uint64_t Generation() const { return m_generation; }

  private:
    const Scheduler& m_clock;
    std::size_t m_capacity;
    std::deque<BusEntry> m_entries;
    std::uint64_t m_generation = 0;
    std::uint64_t m_dropped = 0;
};

BusKind KindOf(const BusEntry& entry);
// "A5", "G3", "Bcast", "*" (special commands), "DSI".
std::string BusAddressText(const BusEntry& entry);
// "recall max level", "query actual level", "DSI level".
std::string BusCommandText(const BusEntry& entry);
// "0x0B05", empty when nothing was built.
std::string BusWordText(const BusEntry& entry);
// "done", "done, not acknowledged", "timeout", "collision", "corrupt frame",
// "device-communication error", or the reason a command was refused.
std::string BusResultText(const BusEntry& entry);
// The answer byte "0xFF (255)", empty without one.
std::string BusAnswerText(const BusEntry& entry);
// What the answer means for the query: "YES" / "NO", "42.2 %", "lamp failure, limit error",
// "groups 0, 3", "A12".
std::string BusMeaningText(const BusEntry& entry);
// The bits of a QUERY STATUS answer by name ("lamp on, fade running"), "no bit set" for none.
std::string StatusBitsText(std::uint8_t status);
// "HH:MM:SS.mmm" in local time.
std::string BusTimeText(const BusEntry& entry);

// The columns a transaction is shown in, in order: time, address, command, word, result, answer,
// meaning.
inline constexpr int kBusColumnCount = 7;
// The text of one of those columns.
std::string BusColumnText(const BusEntry& entry, int column);

// The log as comma-separated values with a header line; fields with a comma or quote are quoted.
std::string BusCsv(const std::deque<BusEntry>& entries);

}  // namespace zd
