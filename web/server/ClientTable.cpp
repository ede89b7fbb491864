#include "web/server/ClientTable.h"

#include <algorithm>
#include <stdexcept>

namespace flowloom::web {

ClientTable::ClientTable(std::size_t workersPerClient)
    : m_workersPerClient(std::max<std::size_t>(1, workersPerClient))
{}

std::size_t ClientTable::held(std::uint32_t peer) const
{
    const auto found = m_clients.find(peer);
    return found == m_clients.end() ? 0 : found->second.held;
}

std::size_t ClientTable::serving(std::uint32_t peer) const
{
    const auto found = m_clients.find(peer);
    return found == m_clients.end() ? 0 : found->second.serving;
}

void ClientTable::connectionOpened(std::uint32_t peer)
{
    ++m_clients[peer].held;
    ++m_heldTotal;
}

void ClientTable::release(std::unordered_map<std::uint32_t, Client>::iterator client)
{
    if (client->second.held == 0) {
        throw std::logic_error("A connection was released twice.");
    }
    --client->second.held;
    --m_heldTotal;
    if (client->second.held == 0) {
        m_clients.erase(client);
    }
}

void ClientTable::connectionClosed(std::uint32_t peer)
{
    const auto client = m_clients.find(peer);
    if (client != m_clients.end()) {
        release(client);
    }
}

void ClientTable::push(std::unique_ptr<ReadyRequest> ready)
{
    const std::uint32_t peer = ready->peer;
    Client& client = m_clients[peer];
    const bool wasWaiting = !client.waiting.empty();
    client.waiting.push_back(std::move(ready));
    if (!wasWaiting && client.serving < m_workersPerClient) {
        m_turns.push_back(peer);
    }
}

std::unique_ptr<ReadyRequest> ClientTable::pop()
{
    while (!m_turns.empty()) {
        const std::uint32_t peer = m_turns.front();
        m_turns.pop_front();
        Client& client = m_clients.at(peer);
        // A request served at once (startServing) may have taken the last of
        // its share since the client joined the line; it rejoins when one ends.
        if (client.waiting.empty() || client.serving >= m_workersPerClient) {
            continue;
        }
        std::unique_ptr<ReadyRequest> ready = std::move(client.waiting.front());
        client.waiting.pop_front();
        ++client.serving;
        // Back to the end of the line: every other client's next request goes first.
        if (!client.waiting.empty() && client.serving < m_workersPerClient) {
            m_turns.push_back(peer);
        }
        return ready;
    }
    return nullptr;
}

bool ClientTable::startServing(std::uint32_t peer)
{
    Client& client = m_clients.at(peer);
    if (client.serving >= m_workersPerClient) {
        return false;
    }
    ++client.serving;
    return true;
}

void ClientTable::served(std::uint32_t peer)
{
    const auto client = m_clients.find(peer);
    if (client == m_clients.end() || client->second.serving == 0) {
        throw std::logic_error("A request was finished that was not being served.");
    }
    Client& c = client->second;
    --c.serving;
    // Back below its share: its waiting requests take their turn again.
    if (!c.waiting.empty() && c.serving + 1 == m_workersPerClient &&
        std::find(m_turns.begin(), m_turns.end(), peer) == m_turns.end()) {
        m_turns.push_back(peer);
    }
    release(client);
}

std::vector<std::unique_ptr<ReadyRequest>> ClientTable::takeWaiting()
{
    std::vector<std::unique_ptr<ReadyRequest>> all;
    for (auto& [peer, client] : m_clients) {
        for (auto& ready : client.waiting) {
            all.push_back(std::move(ready));
        }
        client.waiting.clear();
    }
    m_turns.clear();
    return all;
}

} // namespace flowloom::web
