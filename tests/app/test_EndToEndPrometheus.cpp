// A real Prometheus scrapes the real program, headless, in a private network
// namespace: loopback carries only this test's traffic, so what Prometheus
// stores can be held against the kernel's own counters. Prometheus scrapes
// every second with Basic credentials, and the shipped dashboard's queries
// must all answer with data.
#include "ProgramRun.h"
#include "sampling/NetlinkSource.h"
#include "support/LoopbackClient.h"
#include "support/LoopbackTraffic.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

using namespace flowloom;

namespace {

constexpr char kUser[] = "scraper";
constexpr char kPassword[] = "s3cret \"pass\"";

// From the kernel through netlink: sysfs shows the namespace that mounted it.
std::uint64_t loopbackReceived()
{
    for (const auto& row : sampling::NetlinkSource().interfaceSnapshot())
        if (row.name == "lo")
            return row.inOctets;
    return 0;
}

// The settings file keeps the password scrambled: each byte is 255 minus itself.
std::string scrambled(std::string_view text)
{
    std::string out;
    for (const char c : text)
        out += static_cast<char>(255 - static_cast<unsigned char>(c));
    return out;
}

std::string percentEncoded(std::string_view text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
            c == '-' || c == '_' || c == '.')
            out += c;
        else
            out += {'%', hex[b >> 4], hex[b & 15]};
    }
    return out;
}

// The body of an HTTP/1.0 exchange (the server closes after it), or nothing.
std::optional<std::string> get(std::uint16_t port, const std::string& target,
                               const std::string& extraHeaders = {})
{
    const test::Received reply = test::LoopbackClient::exchange(
        port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n",
        std::chrono::seconds(10));
    if (!reply.bytes.starts_with("HTTP/1.") || reply.bytes.substr(9, 3) != "200")
        return std::nullopt;
    const std::size_t body = reply.bytes.find("\r\n\r\n");
    return body == std::string::npos ? std::nullopt : std::optional(reply.bytes.substr(body + 4));
}

struct QueryResult
{
    QString status;
    QJsonArray result;
};

QueryResult query(std::uint16_t port, const std::string& expression)
{
    QueryResult answer;
    const auto body = get(port, "/api/v1/query?query=" + percentEncoded(expression));
    if (!body)
        return answer;
    const QJsonObject reply = QJsonDocument::fromJson(QByteArray::fromStdString(*body)).object();
    answer.status = reply["status"].toString();
    answer.result = reply["data"].toObject()["result"].toArray();
    return answer;
}

// The one value of an instant query with one series, or nothing.
std::optional<double> single(std::uint16_t port, const std::string& expression)
{
    const QueryResult answer = query(port, expression);
    if (answer.status != "success" || answer.result.size() != 1)
        return std::nullopt;
    return answer.result[0].toObject()["value"].toArray()[1].toString().toDouble();
}

// Every "expr" of the dashboard, wherever it stands.
void collectExpressions(const QJsonValue& value, QStringList& out)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() == "expr" && it.value().isString())
                out << it.value().toString();
            else
                collectExpressions(it.value(), out);
        }
    } else if (value.isArray()) {
        for (const QJsonValue& item : value.toArray())
            collectExpressions(item, out);
    }
}

} // namespace

TEST(PrometheusEndToEnd, ARealPrometheusScrapesTheProgramAndTheDashboardFindsData)
{
    const sampling::TMIBIfArray interfaces = sampling::NetlinkSource().interfaceSnapshot();
    if (interfaces.size() != 1 || interfaces[0].name != "lo")
        GTEST_SKIP() << "needs a private network namespace with loopback alone";
    const QString prometheusProgram = QStandardPaths::findExecutable("prometheus");
    if (prometheusProgram.isEmpty())
        GTEST_SKIP() << "prometheus is not installed (Debian package prometheus)";

    // The program, portable, with its server, /metrics, the cap and a password.
    QTemporaryDir folder, home, storage;
    ASSERT_TRUE(QFile::copy(QStringLiteral(FLOWLOOM_BINARY), folder.path() + "/flowloom"));
    const std::uint16_t programPort = testsupport::freeLoopbackPort();
    {
        QFile ini(folder.path() + "/flowloom.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QByteArray::fromStdString(
            "[Plotter]\r\nFirst=0\r\nURL=0\r\nRun=1\r\nWeb=1\r\nServerIP=0\r\nPort=" +
            std::to_string(programPort) + "\r\nAuth=1\r\nUser=" + kUser +
            "\r\nPass=" + scrambled(kPassword) + "\r\nDataCap=1\r\nCapSize=1\r\nMetrics=1\r\n"));
    }
    QProcess program;
    testsupport::EndedAtExit endProgram{program};
    // Headless, as on a server: no display of any kind.
    QProcessEnvironment env = testsupport::offscreenEnvironment(home.path());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.path());
    program.start(folder.path() + "/flowloom", {"--headless"});
    ASSERT_TRUE(program.waitForStarted(10000));
    const std::string credentials =
        "Authorization: Basic " +
        QByteArray(std::string(kUser).append(":").append(kPassword).c_str())
            .toBase64()
            .toStdString() +
        "\r\n";
    ASSERT_TRUE(testsupport::waitUntil([&] {
        return get(programPort, "/metrics", credentials).has_value();
    })) << "the program serves /metrics";
    EXPECT_FALSE(get(programPort, "/metrics")) << "not without the password";

    // Prometheus on loopback: one job, a scrape every second, Basic credentials.
    const std::uint16_t prometheusPort = testsupport::freeLoopbackPort();
    {
        QFile config(storage.path() + "/prometheus.yml");
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QByteArray::fromStdString(
            "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
            "scrape_configs:\n  - job_name: flowloom\n    basic_auth:\n      username: '" +
            std::string(kUser) + "'\n      password: '" + kPassword +
            "'\n    static_configs:\n      - targets: ['127.0.0.1:" + std::to_string(programPort) +
            "']\n"));
    }
    QProcess prometheus;
    testsupport::EndedAtExit endPrometheus{prometheus};
    prometheus.setProcessChannelMode(QProcess::MergedChannels);
    prometheus.setStandardOutputFile(storage.path() + "/prometheus.log");
    prometheus.start(prometheusProgram,
                     {"--config.file=" + storage.path() + "/prometheus.yml",
                      "--storage.tsdb.path=" + storage.path() + "/data",
                      "--web.listen-address=127.0.0.1:" + QString::number(prometheusPort)});
    ASSERT_TRUE(prometheus.waitForStarted(10000));
    ASSERT_TRUE(testsupport::waitUntil([&] { return get(prometheusPort, "/-/ready").has_value(); }))
        << "Prometheus is ready";
    ASSERT_TRUE(testsupport::waitUntil([&] {
        return single(prometheusPort, "up{job=\"flowloom\"}") == 1.0;
    })) << "up is 1 for the job";

    // A known number of bytes between two stored samples of our counter.
    const std::string received = "flowloom_interface_receive_bytes_total{device=\"lo\"}";
    std::this_thread::sleep_for(std::chrono::seconds(3)); // a few samples stored
    const std::uint64_t kernelBefore = loopbackReceived();
    const std::optional<double> before = single(prometheusPort, received);
    ASSERT_TRUE(before);
    constexpr std::size_t kBytes = 8 * 1024 * 1024;
    ASSERT_EQ(testsupport::pushThroughLoopback(kBytes), kBytes);
    ASSERT_TRUE(testsupport::waitUntil([&] {
        return single(prometheusPort, received).value_or(0) >= *before + kBytes;
    })) << "the pushed bytes reach Prometheus";
    // Quiet again: the bytes around both ends of the window are only the
    // scrapes and queries of these few seconds.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const std::optional<double> after = single(prometheusPort, received);
    const std::uint64_t kernelAfter = loopbackReceived();
    ASSERT_TRUE(after);
    const double increase = *after - *before;
    const double kernel = static_cast<double>(kernelAfter - kernelBefore);
    EXPECT_GE(increase, static_cast<double>(kBytes)) << "every pushed byte, and its headers";
    // Scrapes (a few kB each) and queries went by meanwhile, at either end.
    constexpr double kBackground = 256 * 1024;
    EXPECT_NEAR(increase, kernel, kBackground) << "the kernel counted " << kernel;
    EXPECT_EQ(single(prometheusPort, "increase(" + received + "[1m]) > 0").has_value(), true)
        << "PromQL sees the counter grow";

    // Traffic per application: loopback's series, "other" always among them,
    // hold no more than the interface counted (a fresh history: both since the start).
    const std::string applications =
        "sum(flowloom_application_receive_bytes_total{device=\":loopback\"})";
    ASSERT_TRUE(testsupport::waitUntil([&] {
        return single(prometheusPort, applications).has_value();
    })) << "Prometheus stores the series per application";
    EXPECT_TRUE(single(prometheusPort, "flowloom_application_receive_bytes_total{device=\":"
                                       "loopback\",application=\"other\"}"));
    const QueryResult both = query(prometheusPort, applications + " <= bool on() " + received);
    ASSERT_EQ(both.result.size(), 1);
    EXPECT_EQ(both.result[0].toObject()["value"].toArray()[1].toString(), "1")
        << "the applications' bytes within the interface's";

    // Every query of the shipped dashboard answers with data.
    QFile dashboardFile(QStringLiteral(FLOWLOOM_DASHBOARD));
    ASSERT_TRUE(dashboardFile.open(QIODevice::ReadOnly));
    QJsonParseError error;
    const QJsonDocument dashboard = QJsonDocument::fromJson(dashboardFile.readAll(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    QStringList expressions;
    collectExpressions(dashboard.object(), expressions);
    ASSERT_GE(expressions.size(), 5);
    for (const QString& expression : expressions) {
        EXPECT_TRUE(expression.contains("flowloom_")) << expression.toStdString();
        const QueryResult answer = query(prometheusPort, expression.toStdString());
        EXPECT_EQ(answer.status, "success") << expression.toStdString();
        EXPECT_FALSE(answer.result.isEmpty()) << "no data for " << expression.toStdString();
    }

    EXPECT_TRUE(testsupport::terminate(program));
}
