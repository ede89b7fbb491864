// A server of the HTTP layer for load measurements: answers every request with
// the same 350-byte text on 127.0.0.1 and stops by itself after some seconds.
//   bench_http_server <port> <seconds>      (port 0: the system picks one)
// Prints "listening on 127.0.0.1:<port>" once it accepts connections.
#include "web/server/HttpServer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// 350 bytes: seven lines of 50 (49 characters and a line feed).
std::string fixedText()
{
    std::string text;
    for (int line = 0; line < 7; ++line) {
        text += std::string(49, static_cast<char>('a' + line));
        text += '\n';
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <port> <seconds>\n", argv[0]);
        return 2;
    }
    const long port = std::strtol(argv[1], nullptr, 10);
    const long seconds = std::strtol(argv[2], nullptr, 10);
    if (port < 0 || port > 65535 || seconds <= 0 || seconds > 3600) {
        std::fprintf(stderr, "port 0..65535, seconds 1..3600\n");
        return 2;
    }
    const std::string text = fixedText();
    flowloom::web::HttpServer server(
        [&text](flowloom::web::Connection&, const flowloom::web::Request&,
                flowloom::web::Reply& reply) {
            reply.setContentType("text/plain");
            reply.setContentText(text);
        });
    server.setBinding({"127.0.0.1", static_cast<std::uint16_t>(port)});
    try {
        server.start();
    } catch (const flowloom::web::HttpServerError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(server.binding()->port));
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    try {
        server.stop();
    } catch (const flowloom::web::HttpServerError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
