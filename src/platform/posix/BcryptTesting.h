#pragma once
// Test hooks of the POSIX provider layer, in the library corvane_bcrypt_testing. A test program
// that links it counts every provider call from its start; the programs link no hooks, and the
// layer then does no bookkeeping at all.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace BcryptTesting {

// Makes the named call (for example "BCryptEncrypt") return status instead of doing its work.
// skip: how many calls still succeed first; times: how many calls fail then (-1: all of them).
void FailCall(const std::string& function, std::int32_t status, int skip = 0, int times = 1);
// The same for a call that makes a key or a hash ("BCryptImportKey", "BCryptCreateHash"), but the
// call does its work and hands the new handle out before it returns status. Replaces a plan of
// FailCall for that call, and the other way round.
void FailCallAfterItsWork(const std::string& function, std::int32_t status, int skip = 0, int times = 1);
// Removes every planned failure.
void ClearFailures();

// How often BCryptOpenAlgorithmProvider succeeded for an algorithm identifier ("AES", ...).
int OpenCount(const std::u16string& algId);
// One successful BCryptOpenAlgorithmProvider: the canonical algorithm name and what the caller
// passed as implementation name (nothing for a null pointer) and flags.
struct TOpening {
    std::u16string AlgId;
    std::optional<std::u16string> Implementation;
    std::uint32_t Flags = 0;
    bool operator==(const TOpening&) const = default;
};
std::vector<TOpening> Openings();
// The flags of every successful BCryptCreateHash, in call order.
std::vector<std::uint32_t> HashCreationFlags();
// How often any provider call of this name was made (for example "BCryptCreateHash").
int CallCount(const std::string& function);
// Handles passed to BCryptCloseAlgorithmProvider, in call order.
std::vector<void*> ClosedProviders();
// Forgets all counters and the records of openings, hash creations and closings.
void ResetCounters();

// Has BCryptDestroyKey leave a released key's bytes in the caller's key-object memory instead of
// wiping them, so that a test sees whether the memory's owner wipes it (off by default).
void LeaveReleasedKeysInPlace(bool leave);

}  // namespace BcryptTesting
