// Inside the engine: the change of addresses, one step at a time. Only the engine and the form,
// which steps it on its own timer, include this; every other front end runs the whole procedure
// through engine/ChangeAddresses.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "engine/ChangeAddresses.h"

namespace zd {

struct ChangeAddressesView {
    std::function<void(const std::string& text)> showStatus;
    // Every move is made: the device list holds the plan.
    std::function<void()> movesMade;
};

class ChangeAddressesRun {
  public:
    explicit ChangeAddressesRun(AddressingLine& line) : m_line(line) {}

    void SetView(ChangeAddressesView view) { m_view = std::move(view); }
    ChangeAddrStep Step() const { return m_state; }
    // One step: bStart puts the run into its start step, bStop (winning) into its stop step.
    // bFinished asks the driver to end the run; a step that ends the run itself says how.
    ChangeAddrEnd RunStep(bool bStart, bool bStop, bool& bFinished);
    // Devices whose planned address differs from their own, both short addresses: the moves still
    // to make, and how many there were at the start.
    int MovesLeft() const;
    int Planned() const { return m_planned; }

    // The gear at nFrom takes the short address nTo (MASK deletes it).
    void ChangeAddr(std::int16_t nFrom, std::int16_t nTo);
    void SwapAddressViaFree(std::int16_t nA, std::int16_t nB, std::int16_t nFree);

  private:
    void Status(const std::string& text);
    bool PlanHasDouble();
    void DeleteMasked();
    std::int16_t FindFree();
    bool MoveOne(std::int16_t nFree);

    AddressingLine& m_line;
    ChangeAddressesView m_view;
    ChangeAddrStep m_state = ChangeAddrStep::Idle;
    int m_planned = 0;
    std::int16_t m_freeAddress = -1;
};

}  // namespace zd
