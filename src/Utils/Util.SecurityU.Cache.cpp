// The security unit's provider-handle cache and its status errors.

#include <mutex>
#include <utility>

#include "Utils/Util.SecurityU.Provider.h"
#include "Utils/Util.SecurityU.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"
#include "platform/Bcrypt.h"

using namespace SecurityUnit;

namespace {

constexpr const char16_t* PrimitiveProvider = u"Microsoft Primitive Provider";

void CloseAlgorithmProvider(BCRYPT_ALG_HANDLE handle) noexcept
{
    BCryptCloseAlgorithmProvider(handle, 0);
}

using TUniqueAlgorithm = TUniqueAny<BCRYPT_ALG_HANDLE, &CloseAlgorithmProvider, nullptr>;

// The provider-handle table. It lives as long as the process; the lock is always taken, which
// keeps readers away from a table that is growing and from an entry still being set up.

std::recursive_mutex AlgorithmHandlesLock;
std::vector<TAlgorithmHandle> AlgorithmHandles;

// Closes the cached providers when the process ends. Made at the first opening, so that it
// goes before anything the provider itself set up on its way in.
struct TAlgorithmHandlesCloser {
    ~TAlgorithmHandlesCloser() { CloseAlgorithmHandles(); }
};

void CloseAlgorithmHandlesAtUnitEnd()
{
    static TAlgorithmHandlesCloser closer;
}

TProviderHandle FindEntry(const std::u16string& className) noexcept
{
    for (const TAlgorithmHandle& entry : AlgorithmHandles)
        if (entry.ClassName == className && entry.Handle != 0)
            return entry.Handle;
    return 0;
}

}  // namespace

void RaiseNTStatusError(std::int32_t status, const std::u16string& name)
{
    throw ENTStatusOSError(name + u":" + IntToStr(status), static_cast<std::uint32_t>(status));
}

TProviderHandle FindAlgorithmHandle(const std::u16string& className)
{
    std::lock_guard guard(AlgorithmHandlesLock);
    return FindEntry(className);
}

TProviderHandle AcquireAlgorithmHandle(const std::u16string& className, const std::u16string& algId, std::int32_t flags,
                                       const TAlgorithmSetup& setup)
{
    std::lock_guard guard(AlgorithmHandlesLock);
    if (const TProviderHandle cached = FindEntry(className))
        return cached;

    BCRYPT_ALG_HANDLE opened = nullptr;
    const NTSTATUS status = BCryptOpenAlgorithmProvider(&opened, PlatformText(algId.c_str()),
                                                        PlatformText(PrimitiveProvider), static_cast<ULONG>(flags));
    if (status != 0)
        RaiseNTStatusError(status, u"BCryptOpenAlgorithmProvider");
    // Closed again should the table fail to take it.
    TUniqueAlgorithm provider(opened);
    CloseAlgorithmHandlesAtUnitEnd();
    AlgorithmHandles.push_back(TAlgorithmHandle{className, reinterpret_cast<TProviderHandle>(opened)});
    const auto handle = reinterpret_cast<TProviderHandle>(provider.Release());
    // The entry stays even when the set-up fails: the provider is open and owned by the table.
    if (setup)
        setup(handle);
    return handle;
}

void CloseAlgorithmHandles()
{
    std::lock_guard guard(AlgorithmHandlesLock);
    for (TAlgorithmHandle& entry : AlgorithmHandles) {
        if (entry.Handle != 0)
            BCryptCloseAlgorithmProvider(AlgHandle(entry.Handle), 0);
        entry.Handle = 0;
    }
    AlgorithmHandles.clear();
}

std::vector<TAlgorithmHandle> AlgorithmHandlesSnapshot()
{
    std::lock_guard guard(AlgorithmHandlesLock);
    return AlgorithmHandles;
}

ULONG SecurityUnit::QueryUlongProperty(TProviderHandle handle, const char16_t* property)
{
    ULONG value = 0;
    ULONG resultLength = 0;
    const NTSTATUS status = BCryptGetProperty(AlgHandle(handle), PlatformText(property),
                                              reinterpret_cast<PUCHAR>(&value), sizeof(value), &resultLength, 0);
    if (status != 0)
        RaiseNTStatusError(status, u"BCryptGetProperty");
    return value;
}
