#pragma once
// The commands of the corvane tool. Each takes its arguments, calls the units and returns the
// exit code: 0 success, 1 the operation failed. They raise EUsageError for wrong usage (exit 2)
// and EToolFailure with a one-line message when the operation cannot be done (exit 1); main
// prints either on standard error.

#include "tools/corvane/Cli.h"

int MakeParamsCommand(TCommandArgs& args);
int ReadParamsCommand(TCommandArgs& args);
int ReadLogCommand(TCommandArgs& args);
int EncryptCommand(TCommandArgs& args);
int DecryptCommand(TCommandArgs& args);
int EncryptFileCommand(TCommandArgs& args);
int DecryptFileCommand(TCommandArgs& args);
int Sha256Command(TCommandArgs& args);
int Md5Command(TCommandArgs& args);
int FingerprintCommand(TCommandArgs& args);
int ExplainCommand(TCommandArgs& args);
int DialCommand(TCommandArgs& args);

// --code-page CP: the ANSI code page of the operations that follow. Raises EUsageError for a
// code page the system does not have.
void TakeCodePage(TCommandArgs& args);

// The help text of a command, or of the tool for an empty name; empty when unknown.
const char* HelpText(const std::string& command);
