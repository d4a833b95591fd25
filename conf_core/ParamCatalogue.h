#pragma once
// The server parameters the tool knows, in the order the window lists them.

#include <array>

struct ParamEntry {
    const char *Name;
    const char *Default;
};

constexpr int ParamCount = 36;
extern const std::array<ParamEntry, ParamCount> ParamCatalogue;
