#pragma once

#include "output/encoders/ByteSink.h"
#include "sampling/UniqueFd.h"
#include "web/http/Reply.h"
#include "web/http/Request.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace flowloom::web {

class Connection;

// Runs on the connection's worker thread, several at once for different
// connections. It may write the reply itself through the Reply.
using RequestHandler = std::function<void(Connection&, const Request&, Reply&)>;

// One connection whose request has arrived complete: runs the handler and
// writes the reply on a worker thread. The socket stays owned by the server,
// which closes it only after it can no longer be shut down by a stop. It is
// non-blocking and every wait has a deadline, so no peer can hold the thread
// for ever.
class Connection final : public output::ByteSink
{
public:
    using Clock = std::chrono::steady_clock;

    // challengeRealm: see ServerOptions; it outlives the connection.
    Connection(int socket, std::string remoteAddress, std::chrono::milliseconds sendTimeout,
               const std::atomic<bool>& stopping, std::string_view challengeRealm = {});

    const std::string& remoteAddress() const { return m_remoteAddress; }
    // True once the server is stopping; a handler waiting on something slow
    // should give up.
    bool stopRequested() const { return m_stopping.load(std::memory_order_relaxed); }

    // A second descriptor of the connection, for a handler that hands it over
    // to outlive the request (an event stream): the server closes its own after
    // the handler as always, and the connection lives on in the copy. Invalid
    // when the process is out of descriptors.
    sampling::UniqueFd duplicateSocket() const;

    // Dispatches the request and writes what the handler left unwritten. GET,
    // HEAD and POST reach the handler; what statusWithoutHandler() names is
    // answered here with its small status page (401 with the Basic challenge).
    void serve(const RequestHandler& handler, Request& request);

    bool write(const std::uint8_t* data, std::size_t size) noexcept override;
    bool writeBoth(std::string_view first, std::string_view second) noexcept override;

private:
    enum class WaitResult { Ready, TimedOut, Failed };

    WaitResult waitFor(short events, Clock::time_point deadline);
    bool sendAll(std::string_view first, std::string_view second) noexcept;

    int m_socket;
    std::string m_remoteAddress;
    std::chrono::milliseconds m_sendTimeout;
    const std::atomic<bool>& m_stopping;
    std::string_view m_challengeRealm;
    bool m_wroteBefore = false;
    bool m_endsReply = false; // the writes left end the reply and the connection
};

} // namespace flowloom::web
