// Fuzzes what the served page reads of a request before anything runs: the body as the commands
// get it (a JSON object of bounded depth without a key twice, or BadRequest), and the Host,
// Origin, Cookie, Authorization and query texts. The input's first byte chooses the reading; a
// body that is taken must survive being walked and written out again, and a host that is taken
// must name the server.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzInput.h"
#include "serve/RequestRules.h"
#include "serve/ServedLine.h"

namespace {

int Depth(const zd::Json& value, int depth) {
    int deepest = depth;
    if (value.is_structured())
        for (const auto& item : value) deepest = std::max(deepest, Depth(item, depth + 1));
    return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zd;
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
        case 0: {
            Json body;
            try {
                body = ReadRequestBody(text);
            } catch (const BadRequest&) {
                return 0;
            }
            if (!body.is_object()) fuzz::Broken("a request body", "that is no object was taken");
            if (Depth(body, 1) > kMaxBodyNesting + 1)
                fuzz::Broken("a request body", "nested too deep was taken");
            // What ServedLine does with it: written out again and read back.
            const Json again =
                Json::parse(body.dump(2, ' ', false, Json::error_handler_t::replace));
            if (again.size() != body.size()) fuzz::Broken("a request body", "changes when written");
            return 0;
        }
        case 1: {
            const HostRules rules("http", 4270, {"127.0.0.1", "localhost", "::1"});
            if (rules.HostAllowed(text)) {
                const auto host = ParseHost(text, 80);
                if (!host || host->port != 4270)
                    fuzz::Broken("a Host header", "taken for another port");
                if (host->host != "127.0.0.1" && host->host != "localhost" && host->host != "::1")
                    fuzz::Broken("a Host header", "taken for another host: " + host->host);
            }
            if (rules.SameOrigin(text, "127.0.0.1:4270")) {
                std::string scheme(text.substr(0, text.find("://")));
                for (char& c : scheme) c = static_cast<char>(std::tolower(c));
                const auto at = text.find("127.0.0.1");
                if (scheme != "http" || at == std::string_view::npos)
                    fuzz::Broken("an Origin", "of another page was taken: " + std::string(text));
            }
            return 0;
        }
        case 2: {
            const std::string value = CookieValue(text, "zd4270_token");
            if (value.size() > text.size()) fuzz::Broken("a cookie", "grew");
            if (const auto bearer = BearerToken(text); bearer && bearer->size() > text.size())
                fuzz::Broken("an Authorization", "grew");
            return 0;
        }
        default: {
            const auto value = QueryValue(text, "token");
            if (value && value->size() > text.size()) fuzz::Broken("a query", "grew");
            SameToken(text, "0123456789abcdef0123456789abcdef");
            return 0;
        }
    }
}
