#pragma once
#include <string>

#include "tools/corvane/Cli.h"

// The key of encrypt, decrypt, encrypt-file and decrypt-file: from --key-file F (its text, minus
// one trailing line break) or --key-env VAR (the variable's value). Never from the command line
// itself, where other users could read it. An empty key is valid (the all-zero key and IV).
TSecureText TakeKey(TCommandArgs& args);
