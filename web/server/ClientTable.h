#pragma once

#include "sampling/UniqueFd.h"
#include "web/http/Request.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

namespace flowloom::web {

// A connection whose request has arrived complete and waits for a worker.
struct ReadyRequest
{
    sampling::UniqueFd socket;
    std::uint32_t peer = 0; // IPv4 address of the client, network byte order
    Request request;
};

// What each client (peer address) holds of the server, and whose complete
// request a free worker takes next. A connection counts from accept to close;
// complete requests wait in one queue per client, and workers take them round
// robin over the clients that are below their share of workers, so one client
// with many requests waits behind everyone else's next request. Not
// thread-safe: the server guards it with one mutex.
class ClientTable
{
public:
    explicit ClientTable(std::size_t workersPerClient);

    std::size_t held(std::uint32_t peer) const;
    std::size_t heldTotal() const { return m_heldTotal; }
    std::size_t serving(std::uint32_t peer) const;

    void connectionOpened(std::uint32_t peer);
    // A connection that is not being served ended (closed while reading its
    // head, or dropped from the queue).
    void connectionClosed(std::uint32_t peer);

    // A connection of the table whose request is complete.
    void push(std::unique_ptr<ReadyRequest> ready);
    // The next request to serve, counted as being served; empty when every
    // waiting request belongs to a client at its share.
    std::unique_ptr<ReadyRequest> pop();
    // Whether pop() may find a request (it may still find none).
    bool hasRunnable() const { return !m_turns.empty(); }
    // A connection of the table whose request is complete is served at once
    // when its client is below its share of workers (true); otherwise push it.
    bool startServing(std::uint32_t peer);
    // A popped or started request was served and its connection closed.
    void served(std::uint32_t peer);

    // Every waiting request, taken out of the table (their connections still
    // count until connectionClosed).
    std::vector<std::unique_ptr<ReadyRequest>> takeWaiting();

private:
    struct Client
    {
        std::size_t held = 0;
        std::size_t serving = 0;
        std::deque<std::unique_ptr<ReadyRequest>> waiting;
    };

    void release(std::unordered_map<std::uint32_t, Client>::iterator client);

    // A client with waiting requests below its share is in m_turns once; one
    // that reached its share by startServing may linger there until pop().
    std::unordered_map<std::uint32_t, Client> m_clients;
    std::deque<std::uint32_t> m_turns;
    std::size_t m_workersPerClient;
    std::size_t m_heldTotal = 0;
};

} // namespace flowloom::web
