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

    const CredentialCheck bothEmpty(true, "", "");
    EXPECT_TRUE(bothEmpty.accepts("", ""));
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
