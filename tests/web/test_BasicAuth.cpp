#include "web/http/BasicAuth.h"

#include <gtest/gtest.h>

using namespace flowloom::web;

TEST(BasicAuth, Base64DecodesTheStandardVectors)
{
    // The test vectors of the Base64 definition (RFC 4648, section 10).
    EXPECT_EQ(decodeBase64(""), "");
    EXPECT_EQ(decodeBase64("Zg=="), "f");
    EXPECT_EQ(decodeBase64("Zm8="), "fo");
    EXPECT_EQ(decodeBase64("Zm9v"), "foo");
    EXPECT_EQ(decodeBase64("Zm9vYg=="), "foob");
    EXPECT_EQ(decodeBase64("Zm9vYmE="), "fooba");
    EXPECT_EQ(decodeBase64("Zm9vYmFy"), "foobar");
    // Padding may be left out; the last two alphabet entries are "+" and "/".
    EXPECT_EQ(decodeBase64("Zg"), "f");
    EXPECT_EQ(decodeBase64("+/8="), std::string("\xfb\xff"));
}

TEST(BasicAuth, Base64RejectsWhatIsNotBase64)
{
    EXPECT_FALSE(decodeBase64("Zm9v!"));
    EXPECT_FALSE(decodeBase64("Z"));     // six bits cannot make a byte
    EXPECT_FALSE(decodeBase64("Zg=a"));  // data after the padding
    EXPECT_FALSE(decodeBase64("Zg===")); // too much padding
    EXPECT_FALSE(decodeBase64("Zm8==")); // padding that does not fill the group
    EXPECT_FALSE(decodeBase64("Zm 9v"));
}

TEST(BasicAuth, CredentialsSplitAtTheFirstColon)
{
    // "user:pass", "a", "a:b:c", ":" and "a:" in Base64.
    Credentials both = parseAuthorization("Basic dXNlcjpwYXNz");
    EXPECT_EQ(both.status, AuthorizationStatus::Basic);
    EXPECT_EQ(both.userName, "user");
    EXPECT_EQ(both.password, "pass");

    Credentials userOnly = parseAuthorization("Basic YQ==");
    EXPECT_EQ(userOnly.userName, "a");
    EXPECT_EQ(userOnly.password, "");

    Credentials colonInPassword = parseAuthorization("Basic YTpiOmM=");
    EXPECT_EQ(colonInPassword.userName, "a");
    EXPECT_EQ(colonInPassword.password, "b:c");

    Credentials emptyBoth = parseAuthorization("Basic Og==");
    EXPECT_EQ(emptyBoth.status, AuthorizationStatus::Basic);
    EXPECT_EQ(emptyBoth.userName, "");
    EXPECT_EQ(emptyBoth.password, "");

    Credentials emptyPassword = parseAuthorization("Basic YTo=");
    EXPECT_EQ(emptyPassword.userName, "a");
    EXPECT_EQ(emptyPassword.password, "");
}

TEST(BasicAuth, SchemeIsComparedWithoutCase)
{
    EXPECT_EQ(parseAuthorization("basic YQ==").userName, "a");
    EXPECT_EQ(parseAuthorization("BASIC YQ==").userName, "a");
    EXPECT_EQ(parseAuthorization("Basic").status, AuthorizationStatus::Basic);

    EXPECT_EQ(parseAuthorization("Digest username=\"a\"").status, AuthorizationStatus::Unsupported);
    EXPECT_EQ(parseAuthorization("BasicYQ==").status, AuthorizationStatus::Unsupported);
    EXPECT_EQ(parseAuthorization("Basic Y!").status, AuthorizationStatus::Malformed);

    Credentials absent = parseAuthorization("   ");
    EXPECT_EQ(absent.status, AuthorizationStatus::Absent);
    EXPECT_EQ(absent.userName, "");
}
