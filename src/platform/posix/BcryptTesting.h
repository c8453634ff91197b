#pragma once
// Test hooks of the POSIX provider layer, in the library corvane_bcrypt_testing. A test program
// that links it counts every provider call from its start; the programs link no hooks, and the
// layer then does no bookkeeping at all.

#include <cstdint>
#include <string>
#include <vector>

namespace BcryptTesting {

// Makes the named call (for example "BCryptEncrypt") return status instead of doing its work.
// skip: how many calls still succeed first; times: how many calls fail then (-1: all of them).
void FailCall(const std::string& function, std::int32_t status, int skip = 0, int times = 1);
// Removes every planned failure.
void ClearFailures();

// How often BCryptOpenAlgorithmProvider succeeded for an algorithm identifier ("AES", ...).
int OpenCount(const std::u16string& algId);
// How often any provider call of this name was made (for example "BCryptCreateHash").
int CallCount(const std::string& function);
// Handles passed to BCryptCloseAlgorithmProvider, in call order.
std::vector<void*> ClosedProviders();
// Forgets all counters and the close record.
void ResetCounters();

}  // namespace BcryptTesting
