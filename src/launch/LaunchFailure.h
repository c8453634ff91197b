#pragma once
// Why a launching operation refused or failed, told apart so the C interface can return a code
// and the tool can print the message.

#include <string>

#include "core/Exceptions.h"

enum class TLaunchFault {
    ItemMissing,       // fewer than five items
    ItemHoldsNul,      // an item holds U+0000, which ends it when the block is read
    NotRepresentable,  // an item the code page cannot hold
    NotReadBack,       // the block just made does not read back as given, for another reason
    CannotMake,        // the cryptography failed
};

class ELaunchFailure : public Exception {
public:
    ELaunchFailure(TLaunchFault fault, const std::string& messageUtf8);

    TLaunchFault Fault;
};
