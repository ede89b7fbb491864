#pragma once

// A reader of desktop entries written from their rules, independent of the
// program's writer, so that tests read back what the program wrote.
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace flowloom::test {

// The string escapes of a desktop entry value: \s \n \t \r \\.
inline std::string unescaped(const std::string& value)
{
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char next = value[++i];
        text += next == 's'   ? ' '
                : next == 'n' ? '\n'
                : next == 't' ? '\t'
                : next == 'r' ? '\r'
                              : next;
    }
    return text;
}

// A reader written from the desktop entry rules, independent of the writer:
// first the string escapes, then the Exec arguments (split at spaces, double
// quotes with \" \` \$ \\ inside), then "%%" as "%".
inline std::vector<std::string> execArguments(const std::string& value)
{
    const std::string text = unescaped(value);
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ') {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            inArgument = true;
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                current += text[i];
            }
        } else {
            inArgument = true;
            current += c;
        }
    }
    if (inArgument)
        arguments.push_back(current);
    for (std::string& argument : arguments) {
        std::string plain;
        for (std::size_t i = 0; i < argument.size(); ++i) {
            plain += argument[i];
            if (argument[i] == '%' && i + 1 < argument.size() && argument[i + 1] == '%')
                ++i;
        }
        argument = plain;
    }
    return arguments;
}

// Every value of `key` in the text, as its lines hold them, in order. Systemd
// units share this key=value line format.
inline std::vector<std::string> rawValues(const std::string& text, const std::string& key)
{
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key + "=", 0) == 0)
            found.push_back(line.substr(key.size() + 1));
    return found;
}

inline std::optional<std::string> rawValue(const std::string& text, const std::string& key)
{
    const std::vector<std::string> found = rawValues(text, key);
    return found.empty() ? std::nullopt : std::optional(found.front());
}

} // namespace flowloom::test
