// The event stream of the real program, headless on loopback, with a
// password: curl reads events as a browser's EventSource would, the streams of
// one address are bounded with a clear refusal while other requests are still
// served, and every stream ends when the program closes.
#include "ProgramRun.h"
#include "support/LoopbackClient.h"
#include "support/LoopbackTraffic.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include <sys/resource.h>

using namespace flowloom;
using namespace std::chrono_literals;
using test::LoopbackClient;

namespace {

constexpr char kUser[] = "ann";
constexpr char kPassword[] = "s3cret";
// The program's bound of streams per client (limits::kEventStreamsPerClient).
constexpr int kStreamsPerClient = 256;

std::string basicCredentials()
{
    return "Authorization: Basic " +
           QByteArray(std::string(kUser).append(":").append(kPassword).c_str())
               .toBase64()
               .toStdString() +
           "\r\n";
}

// The settings file keeps the password scrambled: each byte is 255 minus itself.
std::string scrambled(std::string_view text)
{
    std::string out;
    for (const char c : text)
        out += static_cast<char>(255 - static_cast<unsigned char>(c));
    return out;
}

// The real program, headless, its server on a free loopback port with the
// JSON API and a password.
struct HeadlessProgram
{
    QTemporaryDir folder, home;
    std::uint16_t port = testsupport::freeLoopbackPort();
    QProcess process;
    testsupport::EndedAtExit ended{process};

    bool start()
    {
        if (!QFile::copy(QStringLiteral(FLOWLOOM_BINARY), folder.path() + "/flowloom"))
            return false;
        QFile ini(folder.path() + "/flowloom.ini");
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.write(QByteArray::fromStdString(
            "[Plotter]\r\nFirst=0\r\nURL=0\r\nRun=1\r\nWeb=1\r\nServerIP=0\r\nPort=" +
            std::to_string(port) + "\r\nAuth=1\r\nUser=" + kUser +
            "\r\nPass=" + scrambled(kPassword) + "\r\nJsonApi=1\r\n"));
        ini.close();
        QProcessEnvironment env = testsupport::offscreenEnvironment(home.path());
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(folder.path());
        process.start(folder.path() + "/flowloom", {"--headless"});
        if (!process.waitForStarted(10000))
            return false;
        // Serving once the first tick's figures are there.
        return testsupport::waitUntil([&] { return status("/api/v1/summary.json") == "200"; });
    }
    // The status code of a GET with the credentials.
    std::string status(const std::string& path) const
    {
        const test::Received reply = LoopbackClient::exchange(
            port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + basicCredentials() + "\r\n");
        return reply.bytes.size() >= 12 ? reply.bytes.substr(9, 3) : std::string();
    }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
};

// curl's output and exit code; curl ends by itself within `seconds`.
struct CurlRun
{
    std::string output;
    int exitCode = -1;
};

CurlRun curl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("curl"), arguments);
    CurlRun run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.output = process.readAllStandardOutput().toStdString();
    run.exitCode = process.exitCode();
    return run;
}

// The blocks of an event stream (each ended by a blank line), whole ones only.
std::vector<std::string> blocks(const std::string& stream)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    for (std::size_t end = stream.find("\n\n"); end != std::string::npos;
         end = stream.find("\n\n", from)) {
        out.push_back(stream.substr(from, end - from));
        from = end + 2;
    }
    return out;
}

// A stream opened with raw bytes, read up to the end of its head.
struct OpenStream
{
    LoopbackClient client;
    std::string head;

    explicit OpenStream(std::uint16_t port) : client(port)
    {
        client.send("GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n" + basicCredentials() +
                    "\r\n");
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (head.find("\r\n\r\n") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            const test::Received some = client.readUntilClose(20ms);
            head += some.bytes;
            if (some.end != test::ReadEnd::TimedOut)
                break;
        }
    }
    std::string statusLine() const { return head.substr(0, head.find("\r\n")); }
};

void allowManyDescriptors()
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 2048) {
        files.rlim_cur = std::min<rlim_t>(2048, files.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

} // namespace

TEST(EndToEndEvents, CurlReceivesTwoEventsOfTheSummaryWithinThreeSecondsAndNoneWithoutPassword)
{
    if (QStandardPaths::findExecutable("curl").isEmpty())
        GTEST_SKIP() << "curl is not installed (Debian package curl)";
    HeadlessProgram program;
    ASSERT_TRUE(program.start()) << program.process.readAllStandardError().toStdString();

    const CurlRun events =
        curl({"-N", "-s", "--max-time", "3", "-u", QString(kUser) + ":" + kPassword,
              QString::fromStdString(program.url("/api/v1/events"))});
    EXPECT_EQ(events.exitCode, 28) << "still streaming when curl's 3 s ran out";
    const std::vector<std::string> parts = blocks(events.output);
    ASSERT_GE(parts.size(), 3u) << events.output;
    EXPECT_EQ(parts[0], "retry: 2000");
    long long lastId = -1;
    std::string lastTime;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string& event = parts[i];
        const std::size_t dataAt = event.find("\ndata: ");
        ASSERT_TRUE(event.starts_with("id: ") && dataAt != std::string::npos) << event;
        const long long id = std::stoll(event.substr(4, dataAt - 4));
        EXPECT_GT(id, lastId) << "one event per tick, in order";
        lastId = id;
        const std::string data = event.substr(dataAt + 7);
        EXPECT_EQ(data.find('\n'), std::string::npos) << "the document on one line";
        QJsonParseError error;
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(data), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << data;
        const QJsonObject summary = document.object();
        for (const char* key :
             {"version", "time", "interface", "received", "sent", "period", "cap"})
            EXPECT_TRUE(summary.contains(key)) << key << " in " << data;
        EXPECT_EQ(summary["interface"].toObject()["name"].toString(), "lo");
        EXPECT_GE(summary["time"].toString().toStdString(), lastTime);
        lastTime = summary["time"].toString().toStdString();
    }

    const CurlRun refused = curl({"-s", "-o", "/dev/null", "-w", "%{http_code}", "--max-time", "3",
                                  QString::fromStdString(program.url("/api/v1/events"))});
    EXPECT_EQ(refused.output, "401");
}

TEST(EndToEndEvents, OneAddressGetsItsShareOfStreamsOthersAreServedAndAllEndAtTheClose)
{
    allowManyDescriptors();
    HeadlessProgram program;
    ASSERT_TRUE(program.start()) << program.process.readAllStandardError().toStdString();

    std::vector<std::unique_ptr<OpenStream>> streams;
    for (int i = 0; i < kStreamsPerClient; ++i) {
        streams.push_back(std::make_unique<OpenStream>(program.port));
        ASSERT_EQ(streams.back()->statusLine(), "HTTP/1.1 200 OK") << "stream " << i;
    }
    // One past the bound: refused at once with a reason and when to come back.
    {
        OpenStream beyond(program.port);
        EXPECT_EQ(beyond.statusLine(), "HTTP/1.1 503 Service Unavailable");
        EXPECT_NE(beyond.head.find("\r\nRetry-After: 10\r\n"), std::string::npos) << beyond.head;
        const test::Received rest = beyond.client.readUntilClose(10s);
        EXPECT_EQ(rest.end, test::ReadEnd::Closed);
        EXPECT_TRUE((beyond.head + rest.bytes).find("too many event streams") != std::string::npos);
    }
    // Documents are still served beside the streams, to the same address too.
    EXPECT_EQ(program.status("/api/v1/summary.json"), "200");

    // A stream that ends gives its place back.
    streams.pop_back();
    std::string lastStatus;
    ASSERT_TRUE(testsupport::waitUntil([&] {
        if (streams.size() == static_cast<std::size_t>(kStreamsPerClient))
            return true; // asked once more after the last try
        auto again = std::make_unique<OpenStream>(program.port);
        lastStatus = again->statusLine();
        if (lastStatus != "HTTP/1.1 200 OK")
            return false;
        streams.push_back(std::move(again));
        return true;
    })) << lastStatus;

    // The close ends every stream, and the program still ends by itself.
    ASSERT_TRUE(testsupport::terminate(program.process));
    int closed = 0;
    for (const auto& stream : streams)
        closed += stream->client.readUntilClose(10s).end == test::ReadEnd::Closed;
    EXPECT_EQ(closed, kStreamsPerClient);
}
