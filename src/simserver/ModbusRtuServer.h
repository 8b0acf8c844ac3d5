// The simulator's Modbus RTU front: the registers of ModbusSimServer served on a serial line
// instead of a socket. Only the transport differs; every request goes through the same
// ModbusRequestHandler, so both answer alike.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/DevCom.h"
#include "simserver/ModbusRequestHandler.h"
#include "transport/ModbusDevCom.h"

struct _modbus;

namespace zd {

// A serial line has one client (the master) and takes one frame at a time: there is nobody to
// accept and nothing to interleave, so one thread reads a frame (it ends at its length, told by
// its CRC, or at the silence after it), answers it and waits for the next. A frame of
// another unit is left to that unit, together with its answer; a broadcast is carried out and not
// answered; a garbled frame is dropped, and what is left of it on the line with it.
class ModbusRtuSimServer {
  public:
    // Opens the serial device for this program alone. Throws ControlError
    // "Modbus RTU: DEVICE (SETTINGS) cannot be opened: <reason>" with kErrDevCom.
    ModbusRtuSimServer(std::shared_ptr<DevCom> devCom, const ModbusSerialLine& line);
    ~ModbusRtuSimServer();
    ModbusRtuSimServer(const ModbusRtuSimServer&) = delete;
    ModbusRtuSimServer& operator=(const ModbusRtuSimServer&) = delete;

    // Waits up to timeoutMs for a frame to begin, then reads it whole and answers it. Returns the
    // number of requests carried out (0 or 1). Throws ControlError when the line is gone (the
    // adapter unplugged, the other end of a pseudo-terminal closed).
    int Step(int timeoutMs);
    void Stop() { m_stop = true; }
    bool Stopping() const { return m_stop; }

    const ModbusSerialLine& Line() const { return m_line; }
    std::int64_t Requests() const { return m_requests; }
    std::int64_t Refusals() const { return m_refusals; }
    // Frames dropped: a wrong CRC, or a frame that stopped half way.
    std::int64_t Dropped() const { return m_dropped; }
    // Called with a line for each refused request and each dropped frame.
    void SetLog(std::function<void(const std::string&)> log) { m_log = std::move(log); }

  private:
    // Reads what the line holds into m_pending once it brings something within timeoutUs.
    bool ReadWithin(std::int64_t timeoutUs);
    // Whether the pending bytes are the start of a request to this unit still on its way.
    bool RequestUnderWay() const;
    void Log(const std::string& line) const;
    [[noreturn]] void Fail(const std::string& reason) const;

    std::shared_ptr<DevCom> m_devCom;
    ModbusRequestHandler m_handler;
    ModbusSerialLine m_line;
    _modbus* m_context = nullptr;
    // Bytes read and not yet served: the start of a frame, or of the next one.
    std::vector<std::uint8_t> m_pending;
    // The silence that ends a frame: 3.5 characters (1.75 ms above 19200 baud). A request to
    // this unit that has begun and is not whole yet may pause longer, by the latency of a USB
    // adapter.
    std::int64_t m_frameGapUs = 1750;
    std::int64_t m_requestPauseUs = 100'000;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_requests{0};
    std::atomic<std::int64_t> m_refusals{0};
    std::atomic<std::int64_t> m_dropped{0};
    std::function<void(const std::string&)> m_log;
};

}  // namespace zd
