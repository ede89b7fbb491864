#pragma once

#include <string>
#include <string_view>

namespace flowloom::sampling {

// Texts of the settings file are bytes; edit boxes hold Unicode text. These
// two rules carry a stored text through a box and back without damage.

// What a box shows for stored bytes, as UTF-8: valid UTF-8 as it is, any
// other text byte by byte as Latin-1 characters (the file's 8-bit code page).
std::string shownText(std::string_view stored);

// What is written back: the stored bytes as they were while the box still
// shows them unchanged, else the box's text (UTF-8).
std::string storedText(std::string_view shown, std::string_view original);

bool isValidUtf8(std::string_view text);

} // namespace flowloom::sampling
