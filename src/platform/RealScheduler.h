// Steady-clock scheduler without Qt, for the command line on a real wire: real sleeps, and timers
// that fire while DoEvents or RunUntil is called.
#pragma once

#include "platform/SteadyScheduler.h"

namespace zd {

class RealScheduler : public SteadyScheduler {
  public:
    RealScheduler();

    void DoEvents() override;
};

}  // namespace zd
