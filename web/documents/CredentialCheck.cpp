#include "web/documents/CredentialCheck.h"

#include <algorithm>
#include <utility>

namespace flowloom::web {

CredentialCheck::CredentialCheck(bool required, std::string user, std::string password)
    : m_required(required), m_user(std::move(user)), m_password(std::move(password))
{}

bool CredentialCheck::accepts(std::string_view user, std::string_view password) const noexcept
{
    if (!m_required) {
        return true;
    }
    if (letsNobodyIn(m_required, m_user, m_password)) {
        return false;
    }
    // Both are compared every time ("&", not "&&"): a wrong user name must
    // take as long as a wrong password.
    const bool userMatches = sameText(user, m_user);
    const bool passwordMatches = sameText(password, m_password);
    return userMatches & passwordMatches;
}

bool CredentialCheck::letsNobodyIn(bool required, std::string_view user,
                                   std::string_view password) noexcept
{
    return required && user.empty() && password.empty();
}

bool CredentialCheck::sameText(std::string_view a, std::string_view b) noexcept
{
    const std::size_t length = std::max(a.size(), b.size());
    // Different lengths already differ; the loop still runs over the longer
    // text so that nothing stops early.
    unsigned difference = a.size() == b.size() ? 0u : 1u;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        difference |= static_cast<unsigned>(x ^ y);
    }
    return difference == 0;
}

} // namespace flowloom::web
