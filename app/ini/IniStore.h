#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flowloom::app {

enum class IniLoad {
    Loaded,  // the file was read
    Missing, // no file there: an empty store, every key at its default
    Failed,  // a file (or something else) is there but cannot be read
};

enum class IniSave {
    Saved,
    Failed, // nothing changed on disk; message() says "Unable to write to <full path>"
};

// Whether a file holds a secret (the web password, scrambled only).
enum class FileSecrecy {
    Plain,
    HoldsSecret,
};

struct IniSaveResult
{
    IniSave status = IniSave::Saved;
    std::string message;

    bool ok() const { return status == IniSave::Saved; }
};

// A settings file held as its lines of bytes, following the Windows profile
// rules: section and key names match without regard to ASCII case; values are
// trimmed of spaces and tabs and read at most 2047 bytes long; writing an
// existing key replaces its value where it stands, a new key goes after the
// last entry of its section, a missing section is added at the end; every
// other line is kept as it was. Bytes are never decoded, so any 8-bit value
// survives. Lines end in CR LF when written; LF, CR LF or a lone CR end a line
// when read.
class IniStore
{
public:
    static constexpr std::size_t kMaxValueLength = 2047;

    IniStore() = default;

    // Pure: splits a file's bytes into lines. Never fails.
    static IniStore parse(std::string_view bytes);
    // The bytes of the file, every line ended by CR LF.
    std::string serialise() const;

    // The first key of that name in the first section of that name, trimmed
    // and cut at kMaxValueLength (and at a NUL byte); nothing when missing.
    std::optional<std::string> read(std::string_view section, std::string_view key) const;

    // Sets a value as described above. A value is cut at its first CR, LF or
    // NUL byte, so that no value can end a line early and plant lines of its
    // own. The key must be a non-empty name without '=', '[', CR, LF or NUL
    // and without blanks around it (std::invalid_argument otherwise); names
    // are the program's own, never outside input.
    void write(std::string_view section, std::string_view key, std::string_view value);

    std::size_t lineCount() const { return m_lines.size(); }
    std::string_view line(std::size_t index) const { return m_lines.at(index).text; }

    // Reads the whole file. A missing file gives an empty store. Anything
    // that is not a regular file (a named pipe, a device, a folder) is
    // Failed, found without waiting for it.
    static IniLoad load(const std::filesystem::path& path, IniStore& store);

    // Writes the store to a temporary file in the same folder, flushes it to
    // the disk and renames it over `path`, so the old file is replaced whole
    // or not at all. The new file gets fileMode(); the mode is set on the
    // temporary file, so no other user can read the file at any moment. On
    // failure the temporary file is removed and the result says
    // "Unable to write to <full path>".
    IniSaveResult save(const std::filesystem::path& path,
                       FileSecrecy secrecy = FileSecrecy::Plain) const;

    // The permission bits of a saved file: a new one is the user's alone
    // (0600); an existing one keeps its own, except that a file holding a
    // secret loses the read bits of group and others.
    static unsigned fileMode(std::optional<unsigned> existingMode, FileSecrecy secrecy);

private:
    enum class LineKind : std::uint8_t {
        Other,   // blank, comment, or anything else: kept, never read
        Section, // "[name]"
        Entry,   // "key=value"
    };

    // A line with what it is worked out once, when it is read or written.
    struct Line
    {
        std::string text;
        LineKind kind = LineKind::Other;
        std::size_t nameBegin = 0; // the section name or key, trimmed
        std::size_t nameLength = 0;
        std::size_t valueBegin = 0; // an entry's value, untrimmed, to the end

        explicit Line(std::string_view bytes);
        std::string_view name() const;
        std::string_view value() const;
    };

    // Lines [begin, end) of the first section of that name, or nothing.
    struct SectionRange
    {
        std::size_t header;
        std::size_t end;
    };

    std::optional<SectionRange> findSection(std::string_view section) const;
    std::optional<std::size_t> findKey(const SectionRange& range, std::string_view key) const;

    std::vector<Line> m_lines;
    bool m_byteOrderMark = false;
};

} // namespace flowloom::app
