#pragma once
#include <cstdio>

// Console facts for command-line programs.

// Whether the stream is attached to a terminal (progress output is meant for people only).
bool IsTerminal(std::FILE* stream);
// Switches a standard stream to binary mode, so bytes pass unchanged (no CR LF translation).
void SetBinaryMode(std::FILE* stream);
