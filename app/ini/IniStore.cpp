#include "app/ini/IniStore.h"

#include "sampling/TextBlanks.h"
#include "sampling/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace flowloom::app {

namespace fs = std::filesystem;
using sampling::trimBlanks;
using sampling::UniqueFd;

namespace {

// A settings file is a few kilobytes; anything far larger is not ours, and
// reading it whole could exhaust memory.
constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

// Removes the temporary file unless it was renamed into place.
class TemporaryFile
{
public:
    explicit TemporaryFile(std::string path) : m_path(std::move(path)) {}
    ~TemporaryFile()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return m_path; }
    void keep() { m_path.clear(); }

private:
    std::string m_path;
};

void checkKeyName(std::string_view key)
{
    if (key.empty() || trimBlanks(key) != key || key.front() == '[' || key.front() == ';' ||
        key.find_first_of(std::string_view("=\r\n\0", 4)) != std::string_view::npos) {
        throw std::invalid_argument("not a settings key name");
    }
}

} // namespace

// "[name]" with blanks allowed around the line and the name (a missing "]"
// still opens a section, as the profile functions read it); "key=value"
// unless the line starts with ";".
IniStore::Line::Line(std::string_view bytes) : text(bytes)
{
    const std::string_view all = text;
    std::string_view content = trimBlanks(all);
    if (content.empty() || content.front() == ';')
        return;
    const auto offset = [&all](std::string_view part) {
        return static_cast<std::size_t>(part.data() - all.data());
    };
    if (content.front() == '[') {
        content.remove_prefix(1);
        const std::string_view name = trimBlanks(content.substr(0, content.find(']')));
        kind = LineKind::Section;
        nameBegin = name.empty() ? 0 : offset(name);
        nameLength = name.size();
        return;
    }
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos)
        return;
    const std::string_view key = trimBlanks(content.substr(0, eq));
    kind = LineKind::Entry;
    nameBegin = key.empty() ? 0 : offset(key);
    nameLength = key.size();
    valueBegin = offset(content) + eq + 1;
}

std::string_view IniStore::Line::name() const
{
    return std::string_view(text).substr(nameBegin, nameLength);
}

std::string_view IniStore::Line::value() const
{
    return std::string_view(text).substr(valueBegin);
}

IniStore IniStore::parse(std::string_view bytes)
{
    IniStore store;
    if (bytes.starts_with(kByteOrderMark)) {
        store.m_byteOrderMark = true;
        bytes.remove_prefix(kByteOrderMark.size());
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        store.m_lines.emplace_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        store.m_lines.emplace_back(bytes.substr(start));
    return store;
}

std::string IniStore::serialise() const
{
    std::size_t size = m_byteOrderMark ? kByteOrderMark.size() : 0;
    for (const Line& line : m_lines)
        size += line.text.size() + 2;
    std::string out;
    out.reserve(size);
    if (m_byteOrderMark)
        out += kByteOrderMark;
    for (const Line& line : m_lines) {
        out += line.text;
        out += "\r\n";
    }
    return out;
}

std::optional<IniStore::SectionRange> IniStore::findSection(std::string_view section) const
{
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != LineKind::Section || !sameName(m_lines[i].name(), section))
            continue;
        std::size_t end = i + 1;
        while (end < m_lines.size() && m_lines[end].kind != LineKind::Section)
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniStore::findKey(const SectionRange& range, std::string_view key) const
{
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        if (m_lines[i].kind == LineKind::Entry && sameName(m_lines[i].name(), key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniStore::read(std::string_view section, std::string_view key) const
{
    const auto range = findSection(section);
    if (!range)
        return std::nullopt;
    const auto index = findKey(*range, key);
    if (!index)
        return std::nullopt;
    std::string_view value = m_lines[*index].value();
    value = trimBlanks(value.substr(0, value.find('\0')));
    // Trimmed again after the cut, so that a value read and written back
    // reads the same.
    return std::string(trimBlanks(value.substr(0, kMaxValueLength)));
}

void IniStore::write(std::string_view section, std::string_view key, std::string_view value)
{
    checkKeyName(key);
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));

    const auto range = findSection(section);
    if (!range) {
        m_lines.emplace_back("[" + std::string(section) + "]");
        m_lines.emplace_back(std::string(key) + "=" + std::string(value));
        return;
    }
    if (const auto index = findKey(*range, key)) {
        // The key keeps its spelling and place; only the value changes.
        Line& line = m_lines[*index];
        line = Line(std::string(line.name()) + "=" + std::string(value));
        return;
    }
    std::size_t insertAt = range->end;
    while (insertAt > range->header + 1 && trimBlanks(m_lines[insertAt - 1].text).empty())
        --insertAt;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                   Line(std::string(key) + "=" + std::string(value)));
}

IniLoad IniStore::load(const fs::path& path, IniStore& store)
{
    store = IniStore();
    // Never waits: a named pipe or a device opens at once, and the check below
    // then refuses it like any file that cannot be read.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return errno == ENOENT || errno == ENOTDIR ? IniLoad::Missing : IniLoad::Failed;
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) > kMaxFileSize) {
        return IniLoad::Failed;
    }
    std::string bytes;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return IniLoad::Failed;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > kMaxFileSize)
            return IniLoad::Failed;
    }
    store = parse(bytes);
    return IniLoad::Loaded;
}

unsigned IniStore::fileMode(std::optional<unsigned> existingMode, FileSecrecy secrecy)
{
    if (!existingMode)
        return S_IRUSR | S_IWUSR;
    const unsigned mode = *existingMode & 07777;
    return secrecy == FileSecrecy::HoldsSecret ? mode & ~unsigned{S_IRGRP | S_IROTH} : mode;
}

IniSaveResult IniStore::save(const fs::path& path, FileSecrecy secrecy) const
{
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    if (ec)
        full = path;
    const IniSaveResult failed{IniSave::Failed, "Unable to write to " + full.string()};

    // A settings file reached through a symbolic link stays a link: the
    // file it points at is the one replaced.
    fs::path target = full;
    if (fs::is_symlink(full, ec)) {
        const fs::path resolved = fs::weakly_canonical(full, ec);
        if (ec)
            return failed;
        target = resolved;
    }

    std::string pattern = target.string() + ".XXXXXX";
    UniqueFd fd(::mkstemp(pattern.data()));
    if (!fd.valid())
        return failed;
    TemporaryFile temporary(pattern);

    // The new file keeps the old one's permissions (a secret's readers
    // excepted); a first file is the user's alone.
    struct stat old
    {
    };
    const std::optional<unsigned> existingMode =
        ::stat(target.c_str(), &old) == 0 ? std::optional<unsigned>(old.st_mode) : std::nullopt;
    if (::fchmod(fd.get(), static_cast<mode_t>(fileMode(existingMode, secrecy))) != 0)
        return failed;

    if (!sampling::writeAll(fd.get(), serialise()) || ::fsync(fd.get()) != 0 || !fd.close())
        return failed;
    if (::rename(temporary.path().c_str(), target.c_str()) != 0)
        return failed;
    temporary.keep();

    // Make the rename itself durable; the new file is in place either way.
    UniqueFd folder(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
    return {};
}

} // namespace flowloom::app
