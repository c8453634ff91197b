#pragma once
#include <string>

// One argument of a command line, quoted so that CommandLineToArgvW and the C runtime read it
// back unchanged: as is when it needs no quotes, otherwise in quotes with every quote and every
// run of backslashes before a quote (or the closing quote) escaped.
std::wstring QuoteArgument(const std::wstring& arg);
