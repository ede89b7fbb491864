#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <string>

namespace flowloom::app {

// Opens the user guide with the desktop's handler for web pages (xdg-open),
// and tells the user in a message when that fails: a guide that is missing,
// a handler that cannot be started, or one that ends with an error (no
// browser found, the browser would not start). A browser that is still
// running is a guide that opened.
class GuideOpener final : public QObject
{
public:
    using Tell = std::function<void(const std::string&)>;

    GuideOpener(Tell tell, QObject* parent);

    void open(const std::filesystem::path& guide);

    // The message for a guide that could not be opened.
    static std::string failureText(const std::filesystem::path& guide);
    // The message for a guide that is not there.
    static std::string missingText(const std::filesystem::path& guide);

private:
    Tell m_tell;
};

} // namespace flowloom::app
