// Fuzzes the simulator's Modbus TCP request handling: the input is what one client sends, cut into
// frames the way the server cuts its stream, and each frame is answered over a simulated terminal
// with a gear on its line. Every answer must be a well-formed Modbus TCP frame for its request:
// the header echoed with the right length, and either the function's own answer or an exception
// with a standard code.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "FuzzInput.h"
#include "platform/VirtualScheduler.h"
#include "sim/LineFile.h"
#include "simserver/ModbusRequestHandler.h"
#include "transport/SimDevCom.h"

namespace {

using namespace zd;

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

void CheckAnswer(std::span<const std::uint8_t> request, std::span<const std::uint8_t> answer) {
    if (answer.size() < 9) fuzz::Broken("an answer shorter than an exception");
    if (!std::equal(answer.begin(), answer.begin() + 2, request.begin()) || Word(answer, 2) != 0)
        fuzz::Broken("an answer without the request's transaction id or protocol 0");
    if (Word(answer, 4) != answer.size() - 6) fuzz::Broken("an answer whose length is wrong");
    if (answer[6] != request[6]) fuzz::Broken("an answer from another unit");
    const std::uint8_t function = request[7];
    if (answer[7] & 0x80) {
        const std::uint8_t code = answer[8];
        if (answer.size() != 9 || (answer[7] & 0x7F) != (function & 0x7F) ||
            !(code == 0x01 || code == 0x02 || code == 0x03 || code == 0x04 || code == 0x0B))
            fuzz::Broken("a malformed exception");
        return;
    }
    if (answer[7] != function) fuzz::Broken("an answer to another function");
    if (function == 3) {
        if (request.size() != 12 || answer.size() != 9u + answer[8] ||
            answer[8] != 2 * Word(request, 10))
            fuzz::Broken("a read answered with the wrong number of bytes");
    } else if (function == 16) {
        if (answer.size() != 12 ||
            !std::equal(answer.begin() + 8, answer.end(), request.begin() + 8))
            fuzz::Broken("a write answered without its address and count");
    } else {
        fuzz::Broken("a function other than 3 or 16 answered as served");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VirtualScheduler scheduler;
    sim::LineDescription line;
    line.gear.resize(2);
    line.gear[0].shortAddress = 0;
    auto devCom = std::make_shared<SimDevCom>(sim::MakeTerminal(scheduler, line));
    ModbusRequestHandler handler(*devCom);

    std::span<const std::uint8_t> stream(data, size);
    while (!stream.empty()) {
        const std::ptrdiff_t length = ModbusFrameLength(stream);
        if (length <= 0) break;
        if (static_cast<std::size_t>(length) > stream.size())
            fuzz::Broken("a frame longer than what was received");
        const auto frame = stream.first(static_cast<std::size_t>(length));
        const ModbusReply reply = handler.Handle(frame);
        if (reply.close) break;
        CheckAnswer(frame, reply.bytes);
        stream = stream.subspan(static_cast<std::size_t>(length));
        // The fieldbus cycle goes on between requests, as it does between a client's polls.
        scheduler.RunFor(10);
    }
    return 0;
}
