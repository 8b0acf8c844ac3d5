// The served line over HTTP: the page and its files, the JSON commands, the downloads, and the
// live channel (a WebSocket) on which every browser sees the run under way, its progress, the
// device list and the bus monitor. Every request carries the access token; what changes the line
// is a POST from the page's own origin or a script's bearer token.
//
// The server is meant for a site's network, where anyone may reach its port: what a request may
// cost is decided from its headers before its body is read (token, Host, Origin, declared size),
// a body is read only up to its limit (chunked ones counted as they come), headers and idle
// connections have a time limit, and connections are capped per address and in all. It runs on a
// thread of its own; the command's thread hands its news over to it.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "serve/RequestRules.h"
#include "serve/ServedLine.h"

namespace zd {

struct ServeLimits {
    // Bytes of a request's body, and of its request line and headers together.
    std::size_t maxBody = 2 * 1024 * 1024;
    std::size_t maxHeader = 16 * 1024;
    // Requests of one address: a burst, and the steady rate after it.
    double burst = 120;
    double perSecond = 40;
    // Browsers on the live channel at once.
    int maxWatchers = 64;
    // Connections open at once, in all and from one address.
    int maxConnections = 512;
    int maxPerAddress = 64;
    // The time a connection has for the next request's headers (idle time included), for its
    // body, and for taking an answer.
    std::chrono::milliseconds headerTime{std::chrono::seconds(10)};
    std::chrono::milliseconds bodyTime{std::chrono::seconds(60)};
    std::chrono::milliseconds writeTime{std::chrono::seconds(60)};
    // A live-channel message from a browser (it only listens).
    std::size_t maxWatcherMessage = 4096;
};

class PageServer : private RunListener {
  public:
    // stateDir is the private folder of the line's files: its name never reaches an answer.
    PageServer(ServedLine& line, std::string token, Language language,
               std::filesystem::path stateDir, ServeLimits limits = {});
    ~PageServer() override;
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    // Serves HTTPS with a PEM certificate (chain) and key. Throws ControlError naming the file
    // as given.
    void UseTls(const std::string& certificateFile, const std::string& keyFile);
    // Listens on an IP address; port 0 takes a free one. Returns the port; throws ControlError.
    unsigned short Listen(const std::string& address, unsigned short port);
    // The names and addresses a request's Host may give (besides the listen address).
    void AllowHosts(std::vector<std::string> names);
    // Starts answering, on the server's own thread.
    void Start();
    // Takes no more connections; those open go on.
    void StopListening();
    // Answers what is owed, closes the live channel and every connection, and ends the thread.
    void Shutdown();

    // The server's workings, on its own thread (defined where it is built).
    struct Impl;

  private:
    // RunListener, on the command's thread: handed over to the server's thread.
    void Progress(const Json& event) override;
    void BusRows(const Json& rows) override;
    void LineEvent(const Json& event) override;

    std::unique_ptr<Impl> m_impl;
};

}  // namespace zd
