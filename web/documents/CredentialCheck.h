#pragma once

#include <string>
#include <string_view>

namespace flowloom::web {

// Whether a request may see the documents: when authentication is required,
// its user name and password must equal the configured ones exactly. A request
// without credentials counts as an empty user name and password.
class CredentialCheck
{
public:
    CredentialCheck() = default;
    CredentialCheck(bool required, std::string user, std::string password);

    bool required() const { return m_required; }
    bool accepts(std::string_view user, std::string_view password) const noexcept;

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
