#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flowloom::web {

enum class AuthorizationStatus {
    Absent,      // no header, or an empty one: empty user name and password
    Basic,       // Basic credentials decoded
    Unsupported, // another scheme
    Malformed,   // Basic, but the credentials are not Base64
};

struct Credentials
{
    AuthorizationStatus status = AuthorizationStatus::Absent;
    std::string userName;
    std::string password;
};

// Standard Base64 alphabet. Padding is optional; surrounding blanks are
// ignored; any other byte outside the alphabet, or data after the padding,
// makes the whole text invalid.
std::optional<std::string> decodeBase64(std::string_view text);

// Reads an "Authorization" header value: the scheme (first word) must be
// "Basic" in any case; the user name is the decoded text before its first ":",
// the password all after it (empty when there is no ":").
Credentials parseAuthorization(std::string_view value);

} // namespace flowloom::web
