#include "web/documents/CredentialCheck.h"

#include <gtest/gtest.h>

#include <string>

using namespace flowloom::web;

TEST(CredentialCheck, SameTextIsExactEquality)
{
    EXPECT_TRUE(CredentialCheck::sameText("", ""));
    EXPECT_TRUE(CredentialCheck::sameText("secret", "secret"));
    EXPECT_FALSE(CredentialCheck::sameText("secret", "secreT"));
    EXPECT_FALSE(CredentialCheck::sameText("Secret", "secret"));
    // One text a prefix of the other: the missing bytes must not count as equal.
    EXPECT_FALSE(CredentialCheck::sameText("secret", "secret2"));
    EXPECT_FALSE(CredentialCheck::sameText("secret", ""));
    EXPECT_FALSE(CredentialCheck::sameText("", "a"));
    // A zero byte is a byte like any other, not the end of the text.
    EXPECT_FALSE(CredentialCheck::sameText(std::string("a\0", 2), "a"));
    EXPECT_TRUE(CredentialCheck::sameText(std::string("a\0b", 3), std::string("a\0b", 3)));
    EXPECT_FALSE(CredentialCheck::sameText("\xff", "\x7f"));
}

TEST(CredentialCheck, RequiredCredentialsMustBothMatch)
{
    const CredentialCheck userA(true, "a", "");
    EXPECT_TRUE(userA.accepts("a", ""));
    EXPECT_FALSE(userA.accepts("", "")); // no credentials at all
    EXPECT_FALSE(userA.accepts("A", ""));
    EXPECT_FALSE(userA.accepts("a", "x"));

    // Nothing configured: a request without credentials must not pass.
    const CredentialCheck bothEmpty(true, "", "");
    EXPECT_FALSE(bothEmpty.accepts("", ""));
    EXPECT_FALSE(bothEmpty.accepts("a", ""));

    const CredentialCheck full(true, "user", "pass");
    EXPECT_TRUE(full.accepts("user", "pass"));
    EXPECT_FALSE(full.accepts("user", "pas"));
    EXPECT_FALSE(full.accepts("pass", "user"));
    EXPECT_FALSE(full.accepts("", ""));
}

TEST(CredentialCheck, NotRequiredAcceptsAnything)
{
    const CredentialCheck off(false, "user", "pass");
    EXPECT_FALSE(off.required());
    EXPECT_TRUE(off.accepts("", ""));
    EXPECT_TRUE(off.accepts("someone", "else"));
    EXPECT_TRUE(CredentialCheck{}.accepts("x", "y"));
}

TEST(CredentialCheck, RequiredWithNothingConfiguredLetsNobodyIn)
{
    struct Case
    {
        bool required;
        const char* user;
        const char* password;
        bool nobody;
    };
    const Case cases[] = {
        {true, "", "", true},    {true, "a", "", false}, {true, "", "p", false},
        {true, "a", "p", false}, {false, "", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CredentialCheck::letsNobodyIn(c.required, c.user, c.password), c.nobody)
            << c.required << " '" << c.user << "' '" << c.password << "'";
        const CredentialCheck check(c.required, c.user, c.password);
        // The configured pair itself passes unless nobody is let in.
        EXPECT_EQ(check.accepts(c.user, c.password), !c.nobody) << c.user << c.password;
        EXPECT_EQ(check.accepts("", ""), !c.required)
            << "a request without credentials, '" << c.user << "' '" << c.password << "'";
    }
}
