#include "dialer/FreedBlockProbe.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVANE_PROBE_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define CORVANE_PROBE_ASAN 1
#endif

#if !defined(_WIN32) && !defined(CORVANE_PROBE_ASAN)
#include <malloc.h>
#endif

namespace FreedBlockProbe {
namespace {

constexpr std::size_t MaxSecret = 64;
constexpr std::size_t MaxPatternBytes = 4 * MaxSecret;
constexpr std::size_t MaxPatterns = 3 * MaxSecret;
constexpr std::size_t MaxFindings = 16;

struct TPattern {
    std::uint8_t Bytes[MaxPatternBytes];
    std::size_t Size;
    const char* Form;
};

struct TFinding {
    std::size_t BlockSize = 0;
    std::size_t Offset = 0;
    const char* Form = "";
};

// Fixed storage only: the scan runs inside free and must not allocate.
TPattern GPatterns[MaxPatterns];
std::size_t GPatternCount = 0;
TFinding GFindings[MaxFindings];
std::atomic<std::size_t> GCount{0};
std::atomic<bool> GWatching{false};

// The recording: each kept block is its size, then its bytes.
constexpr std::size_t ArenaSize = std::size_t{64} << 20;
std::uint8_t GArena[ArenaSize];
std::size_t GArenaUsed = 0;
std::atomic<bool> GRecording{false};
std::atomic<bool> GArenaFull{false};

#if !defined(_WIN32)
// One count per block: the first pattern found in it.
void Scan(const volatile void* block, std::size_t size) noexcept
{
    const auto* bytes = static_cast<const std::uint8_t*>(const_cast<const void*>(block));
    for (std::size_t p = 0; p < GPatternCount; ++p) {
        const TPattern& pattern = GPatterns[p];
        if (pattern.Size > size)
            continue;
        for (std::size_t i = 0; i + pattern.Size <= size; ++i) {
            if (bytes[i] != pattern.Bytes[0] || std::memcmp(bytes + i, pattern.Bytes, pattern.Size) != 0)
                continue;
            const std::size_t n = GCount.fetch_add(1);
            if (n < MaxFindings)
                GFindings[n] = {size, i, pattern.Form};
            return;
        }
    }
}

void Record(const volatile void* block, std::size_t size) noexcept
{
    if (GArenaUsed + sizeof size + size > ArenaSize) {
        GArenaFull.store(true);
        return;
    }
    std::memcpy(GArena + GArenaUsed, &size, sizeof size);
    std::memcpy(GArena + GArenaUsed + sizeof size, const_cast<const void*>(block), size);
    GArenaUsed += sizeof size + size;
}

bool Observing() noexcept
{
    return GWatching.load(std::memory_order_relaxed) || GRecording.load(std::memory_order_relaxed);
}

void OnFreed(const volatile void* block, std::size_t size) noexcept
{
    if (GWatching.load(std::memory_order_relaxed))
        Scan(block, size);
    if (GRecording.load(std::memory_order_relaxed))
        Record(block, size);
}
#endif

void AddPattern(std::u16string_view run, std::size_t unitSize, const char* form)
{
    TPattern& pattern = GPatterns[GPatternCount++];
    pattern.Size = 0;
    pattern.Form = form;
    for (const char16_t c : run) {
        pattern.Bytes[pattern.Size++] = static_cast<std::uint8_t>(c);
        for (std::size_t k = 1; k < unitSize; ++k)
            pattern.Bytes[pattern.Size++] = 0;
    }
}

}  // namespace

#if defined(_WIN32)

std::optional<std::string> Unavailable()
{
    return "the Windows build does not observe the heap's frees";
}

#elif defined(CORVANE_PROBE_ASAN)

}  // namespace FreedBlockProbe

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, std::size_t),
                                                         void (*freeHook)(const volatile void*));
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* p);

namespace FreedBlockProbe {
namespace {

// Called before the sanitizer poisons the block, for every free and for the old block of every
// reallocation.
void OnFree(const volatile void* block)
{
    if (block != nullptr && Observing())
        OnFreed(block, __sanitizer_get_allocated_size(block));
}

// The sanitizer takes the two hooks only as a pair.
void OnMalloc(const volatile void*, std::size_t) {}

bool InstallHook()
{
    return __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree) != 0;
}

}  // namespace

std::optional<std::string> Unavailable()
{
    static const bool installed = InstallHook();
    if (!installed)
        return "the sanitizer took no free hook";
    return std::nullopt;
}

#else

}  // namespace FreedBlockProbe

// The C library's own entries, which the replacements below hand the blocks on to.
extern "C" void __libc_free(void* block);
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_realloc(void* block, std::size_t size);

// The test program's free and realloc replace the C library's for the whole process (operator
// delete, the C library itself and OpenSSL all free through them).
extern "C" void free(void* block)
{
    if (block != nullptr && FreedBlockProbe::Observing())
        FreedBlockProbe::OnFreed(block, malloc_usable_size(block));
    __libc_free(block);
}

extern "C" void* realloc(void* block, std::size_t size)
{
    if (block == nullptr || !FreedBlockProbe::Observing())
        return __libc_realloc(block, size);
    if (size == 0) {
        free(block);
        return nullptr;
    }
    // Always a new block while watching, so the old one passes the scan in free.
    void* moved = __libc_malloc(size);
    if (moved == nullptr)
        return nullptr;
    std::memcpy(moved, block, std::min(size, malloc_usable_size(block)));
    free(block);
    return moved;
}

namespace FreedBlockProbe {

std::optional<std::string> Unavailable()
{
    return std::nullopt;
}

#endif

TWatch::TWatch(std::u16string_view secret, std::size_t window)
{
    if (secret.size() > MaxSecret || window == 0 || window > secret.size())
        throw std::invalid_argument("FreedBlockProbe: secret of 1 to 64 characters, window up to its length");
    if (std::any_of(secret.begin(), secret.end(), [](char16_t c) { return c == 0 || c > 0x7F; }))
        throw std::invalid_argument("FreedBlockProbe: the secret must be ASCII");
    if (GWatching.load() || GRecording.load())
        throw std::logic_error("FreedBlockProbe: one watch or recording at a time");
    GPatternCount = 0;
    for (std::size_t start = 0; start + window <= secret.size(); ++start) {
        const std::u16string_view run = secret.substr(start, window);
        AddPattern(run, 2, "UTF-16LE");
        AddPattern(run, 1, "UTF-8");
        AddPattern(run, 4, "UTF-32LE");
    }
    GCount.store(0);
    GWatching.store(true);
}

TWatch::~TWatch()
{
    GWatching.store(false);
}

std::size_t TWatch::Count() const noexcept
{
    return GCount.load();
}

std::string TWatch::Findings() const
{
    std::string out;
    const std::size_t shown = std::min(GCount.load(), MaxFindings);
    for (std::size_t i = 0; i < shown; ++i) {
        out += "block of " + std::to_string(GFindings[i].BlockSize) + " bytes, " + GFindings[i].Form + " at offset " +
               std::to_string(GFindings[i].Offset) + "\n";
    }
    return out;
}

TRecording::TRecording()
{
    if (GWatching.load() || GRecording.load())
        throw std::logic_error("FreedBlockProbe: one watch or recording at a time");
    GArenaUsed = 0;
    GArenaFull.store(false);
    GRecording.store(true);
}

TRecording::~TRecording()
{
    Stop();
}

void TRecording::Stop() noexcept
{
    GRecording.store(false);
}

bool TRecording::Complete() const noexcept
{
    return !GArenaFull.load();
}

std::size_t TRecording::CountCopies(std::u16string_view secret, std::size_t window, std::size_t stride,
                                    std::string& findings) const
{
    if (window == 0 || stride == 0 || window > secret.size())
        throw std::invalid_argument("FreedBlockProbe: window of 1 up to the secret's length, stride of 1 or more");
    if (std::any_of(secret.begin(), secret.end(), [](char16_t c) { return c == 0 || c > 0x7F; }))
        throw std::invalid_argument("FreedBlockProbe: the secret must be ASCII");
    struct TForm {
        std::size_t UnitSize;
        const char* Name;
    };
    static constexpr TForm Forms[] = {{2, "UTF-16LE"}, {1, "UTF-8"}, {4, "UTF-32LE"}};
    std::vector<std::pair<std::string, const char*>> patterns;
    for (std::size_t start = 0;; start += stride) {
        // The last run ends at the secret's end, so a copy of its tail is looked for too.
        const std::size_t at = std::min(start, secret.size() - window);
        for (const TForm& form : Forms) {
            std::string bytes;
            for (const char16_t c : secret.substr(at, window)) {
                bytes.push_back(static_cast<char>(c));
                bytes.append(form.UnitSize - 1, '\0');
            }
            patterns.emplace_back(std::move(bytes), form.Name);
        }
        if (at == secret.size() - window)
            break;
    }
    std::size_t count = 0;
    for (std::size_t offset = 0; offset < GArenaUsed;) {
        std::size_t size = 0;
        std::memcpy(&size, GArena + offset, sizeof size);
        const std::string_view block(reinterpret_cast<const char*>(GArena + offset + sizeof size), size);
        offset += sizeof size + size;
        for (const auto& [pattern, form] : patterns) {
            const std::size_t found = block.find(pattern);
            if (found == std::string_view::npos)
                continue;
            ++count;
            findings +=
                "block of " + std::to_string(size) + " bytes, " + form + " at offset " + std::to_string(found) + "\n";
            break;
        }
    }
    return count;
}

}  // namespace FreedBlockProbe
