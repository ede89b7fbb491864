#include "web/http/Port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace flowloom::web;

// One rule for the port the settings hold and the port the dialog reads.
TEST(Port, NumbersThatAreNoPortGiveEighty)
{
    static_assert(portOrDefault(0) == 0 && portOrDefault(65535) == 65535);
    static_assert(portOrDefault(65536) == 80 && portOrDefault(-1) == 80);
    // Not its low 16 bits: 65536 + 8080 would otherwise become 8080.
    static_assert(portOrDefault(65536 + 8080) == 80);

    EXPECT_EQ(portFromText("8080"), 8080);
    EXPECT_EQ(portFromText("$1F90"), 0x1F90);
    EXPECT_EQ(portFromText("+21"), 21);
    EXPECT_EQ(portFromText("$FFFFFFFF"), 80); // -1 by the integer rule
    EXPECT_EQ(portFromText(" 8080"), 80);     // no blanks in a number
    EXPECT_EQ(portFromText("0x"), 80);
}

TEST(Port, SocketErrorNumbersAreReadFromTheFailureText)
{
    EXPECT_EQ(socketErrorNumber("Socket Error # 13\r\nPermission denied"), 13);
    EXPECT_EQ(socketErrorNumber("Socket Error # 99\r\nCannot assign requested address"), 99);
    EXPECT_EQ(socketErrorNumber("Socket Error # 98"), 98);
    EXPECT_EQ(socketErrorNumber("Socket Error # \r\n"), std::nullopt);
    EXPECT_EQ(socketErrorNumber("Socket Error # 1234567"), std::nullopt);
    EXPECT_EQ(socketErrorNumber("Could not bind socket."), std::nullopt);
    EXPECT_EQ(socketErrorNumber("socket error # 13"), std::nullopt);
}

// The failure as the server says it, then the reason and the remedy.
TEST(Port, AStartFailureNamesTheReasonAndTheRemedy)
{
    const std::string denied = "Socket Error # 13\r\nPermission denied";
    const std::string inUse = "Could not bind socket. Address and port are already in use.";
    const std::string notHere = "Socket Error # 99\r\nCannot assign requested address";
    const std::string notDotted = "The address \"!not_found!\" is not a dotted IPv4 address.";
    struct Case
    {
        std::string failure;
        std::uint16_t port;
        PortRemedyPlace place;
        std::vector<std::string> says;    // each of these, after the failure
        std::vector<std::string> saysNot; // none of these
    };
    const auto dialog = PortRemedyPlace::Dialog;
    const auto file = PortRemedyPlace::SettingsFile;
    const Case cases[] = {
        {denied, 80, dialog, {"below 1024", "1024 or above", "\"Advanced...\"", "8080"}, {}},
        {denied, 1023, dialog, {"below 1024", "8080"}, {}},
        {denied, 80, file, {"below 1024", "Port=8080", "settings file"}, {"Advanced"}},
        // At 1024 and above the port is not the reason.
        {denied, 1024, dialog, {"does not let", "8080"}, {"below 1024"}},
        {"Socket Error # 1\r\nOperation not permitted", 443, dialog, {"below 1024"}, {}},
        {inUse, 8080, dialog, {"Another program", "port 8080", "8081"}, {"below 1024"}},
        {inUse, 80, file, {"Another program", "Port=8080"}, {"below 1024"}},
        {notHere, 80, dialog, {"\"Web server listening IP address\""}, {"8080"}},
        {notDotted, 80, file, {"\"ServerIP=\""}, {"8080"}},
    };
    for (const Case& c : cases) {
        const std::string message = startFailureMessage(c.failure, c.port, c.place);
        ASSERT_TRUE(message.starts_with(c.failure + "\r\n")) << message;
        const std::string remedy = message.substr(c.failure.size() + 2);
        for (const std::string& text : c.says)
            EXPECT_NE(remedy.find(text), std::string::npos) << text << " in: " << remedy;
        for (const std::string& text : c.saysNot)
            EXPECT_EQ(remedy.find(text), std::string::npos) << text << " in: " << remedy;
    }
    // A failure without a known remedy stays as it is.
    EXPECT_EQ(startFailureMessage("Socket Error # 24\r\nToo many open files", 80,
                                  PortRemedyPlace::Dialog),
              "Socket Error # 24\r\nToo many open files");
    EXPECT_EQ(startFailureMessage("No address and port to listen on.", 80, PortRemedyPlace::Dialog),
              "No address and port to listen on.");
}
