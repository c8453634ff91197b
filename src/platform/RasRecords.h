#pragma once
// The two records RasDialW reads, laid out byte for byte as the Remote Access Service of 64-bit
// Windows expects them: 4-byte packing, so an 8-byte member may sit on an offset that is a
// multiple of 4 only. The POSIX RAS layer reads the same bytes.

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 8, "the records are those of 64-bit Windows");

// Longest text of each field, in characters; the field holds one more for the terminator.
inline constexpr std::size_t MaxEntryNameLength = 256;
inline constexpr std::size_t MaxPhoneNumberLength = 128;
inline constexpr std::size_t MaxCallbackNumberLength = 128;
inline constexpr std::size_t MaxUserNameLength = 256;
inline constexpr std::size_t MaxPasswordLength = 256;
inline constexpr std::size_t MaxDomainLength = 15;

#pragma pack(push, 4)

struct RASEAPINFO {
    std::uint32_t dwSizeofEapInfo;
    std::uint8_t* pbEapInfo;
};

struct RASDIALEXTENSIONS {
    std::uint32_t dwSize;
    std::uint32_t dwfOptions;
    void* hwndParent;
    std::uint64_t reserved;
    std::uint64_t reserved1;
    RASEAPINFO RasEapInfo;
};

struct RASDIALPARAMSW {
    std::uint32_t dwSize;
    char16_t szEntryName[MaxEntryNameLength + 1];
    char16_t szPhoneNumber[MaxPhoneNumberLength + 1];
    char16_t szCallbackNumber[MaxCallbackNumberLength + 1];
    char16_t szUserName[MaxUserNameLength + 1];
    char16_t szPassword[MaxPasswordLength + 1];
    char16_t szDomain[MaxDomainLength + 1];
    std::uint32_t dwSubEntry;
    std::uintptr_t dwCallbackId;
};

#pragma pack(pop)

static_assert(sizeof(RASEAPINFO) == 12);
static_assert(offsetof(RASEAPINFO, dwSizeofEapInfo) == 0);
static_assert(offsetof(RASEAPINFO, pbEapInfo) == 4);

static_assert(sizeof(RASDIALEXTENSIONS) == 44);
static_assert(offsetof(RASDIALEXTENSIONS, dwSize) == 0);
static_assert(offsetof(RASDIALEXTENSIONS, dwfOptions) == 4);
static_assert(offsetof(RASDIALEXTENSIONS, hwndParent) == 8);
static_assert(offsetof(RASDIALEXTENSIONS, reserved) == 16);
static_assert(offsetof(RASDIALEXTENSIONS, reserved1) == 24);
static_assert(offsetof(RASDIALEXTENSIONS, RasEapInfo) == 32);
static_assert(offsetof(RASDIALEXTENSIONS, RasEapInfo) + offsetof(RASEAPINFO, pbEapInfo) == 36);

static_assert(sizeof(RASDIALPARAMSW) == 2108);
static_assert(offsetof(RASDIALPARAMSW, dwSize) == 0);
static_assert(offsetof(RASDIALPARAMSW, szEntryName) == 4);
static_assert(offsetof(RASDIALPARAMSW, szPhoneNumber) == 518);
static_assert(offsetof(RASDIALPARAMSW, szCallbackNumber) == 776);
static_assert(offsetof(RASDIALPARAMSW, szUserName) == 1034);
static_assert(offsetof(RASDIALPARAMSW, szPassword) == 1548);
static_assert(offsetof(RASDIALPARAMSW, szDomain) == 2062);
static_assert(offsetof(RASDIALPARAMSW, dwSubEntry) == 2096);
static_assert(offsetof(RASDIALPARAMSW, dwCallbackId) == 2100);
