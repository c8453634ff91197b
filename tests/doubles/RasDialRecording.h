#pragma once
// What the recording RAS double writes for each RasDialW call, to the file named by
// RecordFileVariable (nothing when it is unset). It returns the decimal number in
// ResultVariable, or 0. With FaultVariable set it faults instead of returning: "access-violation"
// writes through a null pointer, "illegal-instruction" executes one, and
// "access-violation-heaps-locked" (Windows) first has a thread of its own lock every heap of the
// process and keep them locked, then writes through a null pointer. With HoldVariable naming a
// folder it writes the file HeldFile there once it has recorded the call, holding its process id
// in decimal, and waits until the file ReleaseFile appears there (at most HoldLimitSeconds) before
// it faults or returns.
//
//   offset  size  content
//   0       4     dwNotifierType
//   4       4     flags (below)
//   8       44    the extensions record (zeros when the pointer was null)
//   52      2108  the parameters record
//   2160    ...   the phonebook text's UTF-16 code units up to, not including, its terminator

#include <cstddef>
#include <cstdint>

namespace RasDialRecording {

inline constexpr const char* RecordFileVariable = "CORVANE_DOUBLE_RECORD_FILE";
inline constexpr const char* ResultVariable = "CORVANE_DOUBLE_RESULT";
inline constexpr const char* FaultVariable = "CORVANE_DOUBLE_FAULT";
inline constexpr const char* HoldVariable = "CORVANE_DOUBLE_HOLD";
inline constexpr const char* HeldFile = "held";
inline constexpr const char* ReleaseFile = "release";
inline constexpr int HoldLimitSeconds = 120;

inline constexpr std::uint32_t ExtensionsGiven = 1;  // lpRasDialExtensions was not null
inline constexpr std::uint32_t PhonebookGiven = 2;   // lpszPhonebook was not null
inline constexpr std::uint32_t NotifierGiven = 4;    // lpvNotifier was not null
inline constexpr std::uint32_t HandleGiven = 8;      // lphRasConn was not null
inline constexpr std::uint32_t HandleWasNull = 16;   // and the handle it points to was null

inline constexpr std::size_t ExtensionsSize = 44;
inline constexpr std::size_t ParamsSize = 2108;
inline constexpr std::size_t NotifierTypeOffset = 0;
inline constexpr std::size_t FlagsOffset = 4;
inline constexpr std::size_t ExtensionsOffset = 8;
inline constexpr std::size_t ParamsOffset = ExtensionsOffset + ExtensionsSize;
inline constexpr std::size_t PhonebookOffset = ParamsOffset + ParamsSize;

}  // namespace RasDialRecording
