// Load on the simulator's Modbus TCP server over loopback: many well-behaved clients at once, one
// client that trickles its frames a byte at a time and one hostile client (garbage, half frames,
// silence), plus one client too many. Prints how many requests were answered within their
// deadline and the latency percentiles; exits 1 when a well-behaved request failed or was late.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/RealScheduler.h"
#include "sim/Terminal.h"
#include "simserver/ModbusSimServer.h"
#include "transport/ModbusDevCom.h"
#include "transport/SimDevCom.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWellBehavedClients = 62;
constexpr int kRequestsPerClient = 200;
constexpr std::int64_t kDeadlineMs = 250;
constexpr int kTrickleByteMs = 20;
constexpr int kPauseMs = 5;

std::int64_t MicrosSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

int Connect(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void SendBytes(int fd, const std::vector<std::uint8_t>& bytes) {
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// Read of the firmware register (position 1, register 9) with the given transaction id.
std::vector<std::uint8_t> ReadRequest(std::uint16_t transaction) {
    return {static_cast<std::uint8_t>(transaction >> 8),
            static_cast<std::uint8_t>(transaction),
            0x00,
            0x00,
            0x00,
            0x06,
            0x01,
            0x03,
            0x81,
            0x09,
            0x00,
            0x01};
}

struct Figures {
    std::mutex mutex;
    std::vector<std::int64_t> latenciesUs;
    std::atomic<int> failed{0};
    std::atomic<int> late{0};
    std::atomic<int> trickled{0};
    std::atomic<int> hostileRounds{0};
};

// Connects, waits for go, then asks kRequestsPerClient times a few milliseconds apart.
void WellBehaved(std::uint16_t port, Figures& figures, std::atomic<int>& ready,
                 const std::atomic<bool>& go) {
    std::vector<std::int64_t> latencies;
    try {
        zd::ModbusDevCom client(zd::ModbusEndpoint{"127.0.0.1", port}, kDeadlineMs * 4);
        ++ready;
        while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::uint16_t words[2] = {};
        for (int i = 0; i < kRequestsPerClient; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
            const Clock::time_point start = Clock::now();
            try {
                if (i % 2 == 0) {
                    client.ReadTable(0, 0, 0, 2, words);
                } else {
                    client.ReadTable(1, 0, 9, 1, words);
                }
            } catch (const zd::ControlError&) {
                ++figures.failed;
                continue;
            }
            const std::int64_t us = MicrosSince(start);
            latencies.push_back(us);
            if (us > kDeadlineMs * 1000) ++figures.late;
        }
    } catch (const zd::ControlError&) {
        ++ready;
        figures.failed += kRequestsPerClient;
    }
    std::lock_guard lock(figures.mutex);
    figures.latenciesUs.insert(figures.latenciesUs.end(), latencies.begin(), latencies.end());
}

// Sends each request a byte at a time and reads its answer, until stop.
void Trickler(std::uint16_t port, const std::atomic<bool>& stop, Figures& figures) {
    const int fd = Connect(port);
    if (fd < 0) return;
    for (std::uint16_t t = 1; !stop; ++t) {
        for (std::uint8_t byte : ReadRequest(t)) {
            SendBytes(fd, {byte});
            std::this_thread::sleep_for(std::chrono::milliseconds(kTrickleByteMs));
        }
        std::uint8_t answer[11];
        if (::recv(fd, answer, sizeof answer, MSG_WAITALL) == sizeof answer) ++figures.trickled;
    }
    ::close(fd);
}

// Garbage, a frame with a wrong protocol id, an unknown function, half a frame and silence; again.
void Hostile(std::uint16_t port, const std::atomic<bool>& stop, Figures& figures) {
    std::uint32_t noise = 12345;
    while (!stop) {
        const int fd = Connect(port);
        if (fd < 0) break;
        switch (figures.hostileRounds % 4) {
            case 0: {
                std::vector<std::uint8_t> garbage(64);
                for (auto& byte : garbage)
                    byte = static_cast<std::uint8_t>(noise = noise * 1103515245 + 12345);
                SendBytes(fd, garbage);
                break;
            }
            case 1: {
                std::vector<std::uint8_t> foreign = ReadRequest(7);
                foreign[3] = 0x01;
                SendBytes(fd, foreign);
                break;
            }
            case 2: {
                // Well framed, but a function the server does not have: an exception answer.
                std::vector<std::uint8_t> unknown = ReadRequest(8);
                unknown[7] = 0x2B;
                SendBytes(fd, unknown);
                break;
            }
            default: {
                const std::vector<std::uint8_t> request = ReadRequest(9);
                SendBytes(fd, std::vector<std::uint8_t>(request.begin(), request.begin() + 8));
                break;
            }
        }
        // Wait for the server to close it (at once, or after its frame timeout), bounded.
        std::uint8_t byte = 0;
        for (int i = 0; i < 10 && !stop && ::recv(fd, &byte, 1, 0) != 0; ++i) {
        }
        ::close(fd);
        ++figures.hostileRounds;
    }
}

std::int64_t Percentile(const std::vector<std::int64_t>& sorted, double p) {
    if (sorted.empty()) return 0;
    const auto index = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

}  // namespace

int main() {
    try {
        zd::RealScheduler clock;
        auto terminal = std::make_shared<zd::sim::Terminal>(clock, zd::sim::TerminalConfig{});
        for (int i = 0; i < 4; ++i) {
            zd::sim::GearConfig gear;
            gear.shortAddress = static_cast<std::uint8_t>(i);
            terminal->AddGear(gear);
        }
        zd::ModbusServerLimits limits;
        limits.frameTimeoutMs = 1000;
        zd::ModbusSimServer server(std::make_shared<zd::SimDevCom>(terminal),
                                   zd::ModbusEndpoint{"127.0.0.1", 0}, limits);
        std::thread serving([&] { server.ServeFor(120'000); });
        const std::uint16_t port = server.Port();

        Figures figures;
        std::atomic<bool> stop{false};
        std::thread trickler([&] { Trickler(port, stop, figures); });
        std::thread hostile([&] { Hostile(port, stop, figures); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> clients;
        for (int i = 0; i < kWellBehavedClients; ++i)
            clients.emplace_back([&] { WellBehaved(port, figures, ready, go); });
        while (ready < kWellBehavedClients)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // Idle clients fill the places the others leave; the first beyond the limit is turned
        // away at once.
        std::vector<int> idle;
        bool extraClosed = false;
        for (int attempt = 0; attempt < 8 && !extraClosed; ++attempt) {
            const int fd = Connect(port);
            if (fd < 0) break;
            pollfd watched{fd, POLLIN, 0};
            std::uint8_t byte = 0;
            if (::poll(&watched, 1, 200) == 1 && ::recv(fd, &byte, 1, 0) == 0) {
                extraClosed = true;
                ::close(fd);
            } else {
                idle.push_back(fd);
            }
        }
        const std::size_t connected = server.Clients();
        const Clock::time_point start = Clock::now();
        go = true;
        for (std::thread& client : clients) client.join();
        for (int fd : idle) ::close(fd);
        const double seconds = static_cast<double>(MicrosSince(start)) / 1e6;

        stop = true;
        trickler.join();
        hostile.join();
        server.Stop();
        serving.join();

        std::sort(figures.latenciesUs.begin(), figures.latenciesUs.end());
        const int total = kWellBehavedClients * kRequestsPerClient;
        std::printf("Modbus TCP server under load (loopback, one serving thread)\n");
        std::printf(
            "  clients: %d well-behaved, 1 trickling (%d ms per byte), 1 hostile, %zu "
            "idle; %zu connected at the peak\n",
            kWellBehavedClients, kTrickleByteMs, idle.size(), connected);
        std::printf("  client beyond the limit of %zu: %s\n", limits.maxClients,
                    extraClosed ? "closed at once" : "NOT closed");
        std::printf(
            "  well-behaved requests: %d sent, %zu answered, %d failed, %d later than "
            "%lld ms, in %.2f s (%.0f per s)\n",
            total, figures.latenciesUs.size(), figures.failed.load(), figures.late.load(),
            static_cast<long long>(kDeadlineMs), seconds,
            static_cast<double>(figures.latenciesUs.size()) / seconds);
        std::printf("  latency us: p50 %lld, p90 %lld, p99 %lld, max %lld\n",
                    static_cast<long long>(Percentile(figures.latenciesUs, 0.50)),
                    static_cast<long long>(Percentile(figures.latenciesUs, 0.90)),
                    static_cast<long long>(Percentile(figures.latenciesUs, 0.99)),
                    static_cast<long long>(Percentile(figures.latenciesUs, 1.0)));
        std::printf("  trickled requests answered: %d; hostile connections: %d\n",
                    figures.trickled.load(), figures.hostileRounds.load());
        std::printf(
            "  server: %lld requests, %lld refused with an exception, %lld clients "
            "closed for framing or timeouts, %lld turned away\n",
            static_cast<long long>(server.Requests()), static_cast<long long>(server.Refusals()),
            static_cast<long long>(server.Dropped()), static_cast<long long>(server.TurnedAway()));
        const bool ok = figures.failed == 0 && figures.late == 0 && extraClosed &&
                        figures.latenciesUs.size() == static_cast<std::size_t>(total);
        return ok ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "BenchModbusServer: %s\n", error.what());
        return 1;
    }
}
