#pragma once

#include <string>

namespace flowloom::web {

// The four program-wide web settings the server dialog edits. It refers to
// the variables where the window keeps them, since the dialog lives as long
// as the window and writes them back on every close.
struct AdvancedSettings
{
    bool& Auth;
    std::string& User;
    std::string& Pass; // plain in memory
    int& Port;
};

} // namespace flowloom::web
