#include "web/server/ClientTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace flowloom::web;

namespace {

std::unique_ptr<ReadyRequest> ready(std::uint32_t peer, const std::string& path)
{
    auto request = std::make_unique<ReadyRequest>();
    request->peer = peer;
    request->request.setDocumentPath(path);
    return request;
}

// Pops until nothing is runnable; the paths in the order served.
std::vector<std::string> drain(ClientTable& table)
{
    std::vector<std::string> order;
    while (auto next = table.pop()) {
        order.push_back(next->request.documentPath());
    }
    return order;
}

} // namespace

TEST(ClientTable, RoundRobinWithinEachClientsShare)
{
    ClientTable table(2);
    const std::uint32_t a = 1, b = 2, c = 3;
    for (const char* path : {"a1", "a2", "a3", "a4"}) {
        table.connectionOpened(a);
        table.push(ready(a, path));
    }
    table.connectionOpened(b);
    table.push(ready(b, "b1"));
    table.connectionOpened(c);
    table.push(ready(c, "c1"));
    table.connectionOpened(c);
    table.push(ready(c, "c2"));
    EXPECT_EQ(table.held(a), 4u);
    EXPECT_EQ(table.heldTotal(), 7u);

    // a's many requests take turns with the others; a stops at its share of 2.
    EXPECT_EQ(drain(table), (std::vector<std::string>{"a1", "b1", "c1", "a2", "c2"}));
    EXPECT_FALSE(table.hasRunnable());
    EXPECT_EQ(table.serving(a), 2u);

    // One of a's requests ends: the next one of a may go.
    table.served(a);
    EXPECT_EQ(table.held(a), 3u);
    EXPECT_EQ(drain(table), std::vector<std::string>{"a3"});
    table.served(b);
    EXPECT_EQ(table.held(b), 0u);
    EXPECT_TRUE(drain(table).empty());

    // Stopping takes the waiting request; connections count until closed.
    const auto waiting = table.takeWaiting();
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0]->request.documentPath(), "a4");
    table.connectionClosed(a);
    for (int i = 0; i < 2; ++i) {
        table.served(c);
    }
    for (int i = 0; i < 2; ++i) {
        table.served(a);
    }
    EXPECT_EQ(table.heldTotal(), 0u);
    EXPECT_THROW(table.served(a), std::logic_error);
}

TEST(ClientTable, RequestsServedAtOnceCountAgainstTheShare)
{
    ClientTable table(2);
    const std::uint32_t a = 7;
    for (int i = 0; i < 4; ++i) {
        table.connectionOpened(a);
    }
    EXPECT_TRUE(table.startServing(a));
    table.push(ready(a, "queued"));
    EXPECT_TRUE(table.startServing(a)); // the share is now taken
    EXPECT_FALSE(table.startServing(a));
    EXPECT_EQ(table.pop(), nullptr);
    table.served(a);
    EXPECT_EQ(drain(table), std::vector<std::string>{"queued"});
    EXPECT_EQ(table.serving(a), 2u);
}
