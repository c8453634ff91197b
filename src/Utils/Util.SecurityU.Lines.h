#pragma once
// The line numbers the assertion failures of the security unit name, "<text> (Utils\\Util.SecurityU,
// <line> 行)". They are part of the visible messages: support staff and logs compare them, so
// they stay as they are when the code moves. Never replace one with __LINE__.

namespace SecurityUnitLines {

// TSymmetricCrypt
inline constexpr int BufferSizeNotBlockMultiple = 580;
inline constexpr int KeyDestroyedAtEnd = 606;
inline constexpr int IVWithoutInitialize = 624;
inline constexpr int NewKeyDestroyedAfterFailure = 754;
inline constexpr int EncryptWithoutAlgorithm = 784;
inline constexpr int EncryptWithoutKey = 785;
inline constexpr int DecryptWithoutAlgorithm = 859;
inline constexpr int DecryptWithoutKey = 860;

// TRandomNumberGenerator::GetBytes
inline constexpr int RandomIntoNothing = 1126;
inline constexpr int RandomWithoutAlgorithm = 1127;

// The hash operations: the three preconditions (provider, hash object, digest length) in that
// order, then the destruction of the hash handle.
struct THashLines {
    int Algorithm;
    int HashObject;
    int HashLength;
    int Destroy;
};
inline constexpr THashLines HashBytes{1230, 1231, 1232, 1282};
inline constexpr THashLines HashStream{1307, 1308, 1309, 1368};
inline constexpr THashLines RepeatHashReusable{1487, 1488, 1489, 1552};
inline constexpr THashLines RepeatHashPerRound{1572, 1573, 1574, 1633};

}  // namespace SecurityUnitLines
