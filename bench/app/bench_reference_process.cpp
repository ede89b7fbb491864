// Reference processes for the whole-program figures, measured beside the real
// program in the same run by bench/scripts/program_figures.sh:
//
//   bench_reference_process interfaces
//       prints the interface names in the order the program lists them, one a
//       line, so that the scripts can pick loopback's position.
//   bench_reference_process sampler SECONDS
//       takes one snapshot of the interface table per second and nothing else:
//       the least a traffic monitor must do, with no window and no statistics.
//   bench_reference_process window SECONDS PORT
//       an empty Qt Widgets main window of the program's size, shown; once the
//       event loop runs it listens on 127.0.0.1:PORT (when PORT is not 0) so
//       that a start-up probe can tell it is up. The floor of any Qt Widgets
//       program's start-up time and resident memory.
//
// Each mode ends by itself after SECONDS (at most an hour).
#include "sampling/NetlinkSource.h"
#include "sampling/UniqueFd.h"

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr int kMaxSeconds = 3600;

int secondsArgument(const char* text)
{
    const int seconds = std::atoi(text);
    return seconds < 1 ? 1 : (seconds > kMaxSeconds ? kMaxSeconds : seconds);
}

int listInterfaces()
{
    flowloom::sampling::NetlinkSource source;
    for (const auto& row : source.interfaceSnapshot())
        std::printf("%s\n", row.name.c_str());
    return 0;
}

int sampler(int seconds)
{
    flowloom::sampling::NetlinkSource source;
    auto next = std::chrono::steady_clock::now();
    std::size_t rows = 0;
    for (int i = 0; i < seconds; ++i) {
        next += std::chrono::seconds(1);
        std::this_thread::sleep_until(next);
        rows += source.interfaceSnapshot().size();
    }
    return rows > 0 ? 0 : 1;
}

// A listening socket on 127.0.0.1 that closes with its owner.
class Listener
{
public:
    explicit Listener(std::uint16_t port) : m_socket(::socket(AF_INET, SOCK_STREAM, 0))
    {
        if (!m_socket.valid())
            return;
        const int on = 1;
        ::setsockopt(m_socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::bind(m_socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_socket.get(), 16) != 0)
            m_socket.reset();
    }
    bool listening() const { return m_socket.valid(); }

private:
    flowloom::sampling::UniqueFd m_socket;
};

int window(int argc, char** argv, int seconds, int port)
{
    QApplication application(argc, argv);
    QMainWindow form;
    form.setWindowTitle(QStringLiteral("Reference"));
    form.resize(799, 480);
    form.show();
    std::unique_ptr<Listener> listener;
    int status = 0;
    // Listening only once the event loop runs: the window is shown by then.
    QTimer::singleShot(0, &form, [&] {
        if (port <= 0)
            return;
        listener = std::make_unique<Listener>(static_cast<std::uint16_t>(port));
        if (!listener->listening()) {
            std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", port);
            status = 1;
            QApplication::quit();
        }
    });
    QTimer::singleShot(seconds * 1000, &application, &QApplication::quit);
    const int loop = QApplication::exec();
    return status != 0 ? status : loop;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_reference_process interfaces\n"
                         "       bench_reference_process sampler SECONDS\n"
                         "       bench_reference_process window SECONDS PORT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string mode = argv[1];
    if (mode == "interfaces" && argc == 2)
        return listInterfaces();
    if (mode == "sampler" && argc == 3)
        return sampler(secondsArgument(argv[2]));
    if (mode == "window" && argc == 4)
        return window(argc, argv, secondsArgument(argv[2]), std::atoi(argv[3]));
    return usage();
}
