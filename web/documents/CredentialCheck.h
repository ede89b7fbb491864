#pragma once

#include <string>
#include <string_view>

namespace flowloom::web {

// Whether a request may see the documents: when authentication is required,
// its user name and password must equal the configured ones exactly. A request
// without credentials counts as an empty user name and password, so with
// neither a user name nor a password configured, authentication would let
// everyone in: then it lets nobody in.
class CredentialCheck
{
public:
    // What the server settings say while nobody can be let in.
    static constexpr std::string_view kNobodyLetInText =
        "No user name or password is set, so the server lets nobody in.";

    CredentialCheck() = default;
    CredentialCheck(bool required, std::string user, std::string password);

    bool required() const { return m_required; }
    bool accepts(std::string_view user, std::string_view password) const noexcept;

    // Authentication required with both the user name and the password empty.
    static bool letsNobodyIn(bool required, std::string_view user,
                             std::string_view password) noexcept;

    // Equality whose running time depends on the lengths only, never on how
    // many leading bytes match, so a client cannot guess a password byte by
    // byte from the reply times.
    static bool sameText(std::string_view a, std::string_view b) noexcept;

private:
    bool m_required = false;
    std::string m_user;
    std::string m_password;
};

} // namespace flowloom::web
