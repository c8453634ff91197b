#pragma once
// Pins the process's ANSI code page for one test. Natively the test selects it (and the old one
// comes back afterwards); under Wine it follows the locale of the test process, so a test that
// needs another code page skips with the reason.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/CodePage.h"

class TCodePagePin {
public:
    TCodePagePin() = default;
    TCodePagePin(const TCodePagePin&) = delete;
    TCodePagePin& operator=(const TCodePagePin&) = delete;
    ~TCodePagePin()
    {
        if (FRestore)
            SetAnsiCodePage(FSaved);
    }

    // True when the code page is in force; otherwise the caller skips with Reason().
    [[nodiscard]] bool Pin(std::uint32_t codePage)
    {
#ifdef _WIN32
        FReason = "needs ANSI code page " + std::to_string(codePage) + ", this process has " +
                  std::to_string(AnsiCodePage()) +
                  " (Wine follows the locale: LANG=C gives 1252, LANG=ja_JP.UTF-8 gives 932)";
        return AnsiCodePage() == codePage;
#else
        if (!FRestore) {
            FSaved = AnsiCodePage();
            FRestore = true;
        }
        SetAnsiCodePage(codePage);
        return true;
#endif
    }

    const std::string& Reason() const noexcept
    {
        return FReason;
    }

private:
    std::uint32_t FSaved = 0;
    bool FRestore = false;
    std::string FReason;
};

// Skips the running test unless the code page can be pinned.
#define PIN_CODE_PAGE(pin, codePage)        \
    do {                                    \
        if (!(pin).Pin(codePage))           \
            GTEST_SKIP() << (pin).Reason(); \
    } while (false)
