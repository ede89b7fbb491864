#pragma once

#include "WindowHarness.h"
#include "app/pages/SetupPage.h"
#include "support/LoopbackClient.h"

#include <QCoreApplication>
#include <QLabel>
#include <chrono>
#include <cstdint>
#include <future>
#include <string>

namespace flowloom::testsupport {

// The port of the window's running web server, from the address it shows
// (http://127.0.0.1:PORT/name).
inline std::uint16_t webPortOf(const WindowHarness& w)
{
    const QString url = w.form->controls().Setup->Label2->text();
    const int colon = url.lastIndexOf(':');
    return static_cast<std::uint16_t>(
        url.mid(colon + 1, url.indexOf('/', colon) - colon - 1).toInt());
}

// Sends a request from another thread while this (the user-interface) thread
// keeps running its events, as renderings and published figures need.
inline test::Received requestWhileRunning(const WindowHarness& w, const std::string& bytes)
{
    const std::uint16_t port = webPortOf(w);
    auto reply =
        std::async(std::launch::async, [=] { return test::LoopbackClient::exchange(port, bytes); });
    while (reply.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return reply.get();
}

inline test::Received getWhileRunning(const WindowHarness& w, const std::string& path,
                                      const std::string& extraHeaders = {})
{
    return requestWhileRunning(w, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                      extraHeaders + "\r\n");
}

} // namespace flowloom::testsupport
