// The security unit's random number generator.

#include <algorithm>

#include "Utils/Util.SecurityU.Lines.h"
#include "Utils/Util.SecurityU.Provider.h"
#include "Utils/Util.SecurityU.h"
#include "platform/Bcrypt.h"

using namespace SecurityUnit;

void TRandomNumberGenerator::Initialize()
{
    if (FhAlgorithm != 0)
        return;
    FhAlgorithm = AcquireAlgorithmHandle(ClassName(), u"RNG", 0);
}

void TRandomNumberGenerator::GetBytes(std::span<std::uint8_t> data)
{
    Assert(!data.empty(), MustInitialize, AssertSourceFile, SecurityUnitLines::RandomIntoNothing);
    Assert(FhAlgorithm != 0, MustInitialize, AssertSourceFile, SecurityUnitLines::RandomWithoutAlgorithm);
    // The provider takes ULONG lengths; larger arrays are filled in pieces.
    while (!data.empty()) {
        const std::size_t piece = std::min<std::size_t>(data.size(), 0x80000000U);
        const NTSTATUS status = BCryptGenRandom(AlgHandle(FhAlgorithm), data.data(), static_cast<ULONG>(piece), 0);
        if (status != 0)
            RaiseNTStatusError(status, u"BCryptGenRandom");
        data = data.subspan(piece);
    }
}
