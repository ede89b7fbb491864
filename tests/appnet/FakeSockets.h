#pragma once

// Sockets and owners written down in advance, for the collector's tests.
#include "appnet/SockDiagSource.h"
#include "appnet/SocketOwners.h"

#include <deque>
#include <map>
#include <netinet/in.h>

namespace flowloom::appnet {

// Ticks written down in advance: what closed, and what is alive (or a failed dump).
class ScriptedSockets final : public TcpSocketSource
{
public:
    struct Step
    {
        std::vector<TcpSocketReading> closed;
        std::vector<TcpSocketReading> live;
        bool pollFails = false;
    };
    std::deque<Step> steps;

    void drainClosed(std::vector<TcpSocketReading>& closed) override
    {
        if (!steps.empty())
            closed = steps.front().closed;
    }
    bool poll(std::vector<TcpSocketReading>& live) override
    {
        if (steps.empty())
            return true;
        const Step step = steps.front();
        steps.pop_front();
        live = step.live;
        return !step.pollFails;
    }
};

// A kernel in miniature that also answers exact lookups: sockets live and
// grow, their closes wait to be read; it counts dumps and looked-up sockets.
class LookupKernel final : public TcpSocketSource
{
public:
    std::map<std::uint64_t, TcpSocketReading> live;
    std::vector<TcpSocketReading> closing;
    bool lookupsFail = false;
    int dumps = 0;
    bool askedForListener = false;

    void drainClosed(std::vector<TcpSocketReading>& closed) override
    {
        closed.insert(closed.end(), closing.begin(), closing.end());
        closing.clear();
    }
    bool poll(std::vector<TcpSocketReading>& out) override
    {
        ++dumps;
        for (const auto& [cookie, socket] : live)
            out.push_back(socket);
        return true;
    }
    bool lookup(const std::vector<TcpSocketReading>& known, std::vector<TcpSocketReading>& found,
                std::vector<std::uint64_t>& gone) override
    {
        if (lookupsFail)
            return false;
        for (const TcpSocketReading& socket : known) {
            askedForListener = askedForListener || socket.state == tcp_state::Listen;
            const auto it = live.find(socket.cookie);
            if (it == live.end())
                gone.push_back(socket.cookie);
            else
                found.push_back(it->second);
        }
        return true;
    }
    void open(const TcpSocketReading& socket) { live[socket.cookie] = socket; }
    void grow(std::uint64_t cookie, std::uint64_t in, std::uint64_t out)
    {
        live.at(cookie).bytesReceived += in;
        live.at(cookie).bytesSent += out;
    }
    void close(std::uint64_t cookie)
    {
        closing.push_back(live.at(cookie));
        live.erase(cookie);
    }
};

// Owners by uid; counts the lookups.
class FakeOwners final : public SocketOwners
{
public:
    std::map<std::uint32_t, Application> byUid;
    std::size_t lookups = 0;
    std::size_t ticks = 0;

    void newTick() override { ++ticks; }
    Application ownerOf(const TcpSocketReading& socket) override
    {
        ++lookups;
        return byUid.at(socket.uid);
    }
};

inline TcpSocketReading internetSocket(std::uint64_t cookie, std::uint32_t uid, std::uint64_t in,
                                       std::uint64_t out)
{
    TcpSocketReading s;
    s.family = AF_INET;
    s.state = tcp_state::Established;
    s.cookie = cookie;
    s.uid = uid;
    s.localAddress = {192, 168, 1, 2};
    s.remoteAddress = {93, 184, 216, 34};
    s.localPort = static_cast<std::uint16_t>(40000 + cookie);
    s.remotePort = 443;
    s.hasInfo = true;
    s.bytesReceived = in;
    s.bytesSent = out;
    return s;
}

inline TcpSocketReading loopbackSocket(std::uint64_t cookie, std::uint32_t uid, std::uint64_t in,
                                       std::uint64_t out)
{
    TcpSocketReading s = internetSocket(cookie, uid, in, out);
    s.localAddress = {127, 0, 0, 1};
    s.remoteAddress = {127, 0, 0, 1};
    return s;
}

inline TcpSocketReading listener(std::uint64_t cookie, std::uint32_t uid, std::uint16_t port)
{
    TcpSocketReading s = internetSocket(cookie, uid, 0, 0);
    s.state = tcp_state::Listen;
    s.localPort = port;
    s.remoteAddress = {};
    s.remotePort = 0;
    return s;
}

} // namespace flowloom::appnet
