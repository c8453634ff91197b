#include "core/Exceptions.h"

#include "core/Text.h"

Exception::Exception(std::u16string message) : FMessage(std::move(message)), FMessageUtf8(ToUtf8Lossy(FMessage)) {}

namespace {

std::u16string AssertionMessage(const std::u16string& text, const std::u16string& sourceFile, int line)
{
    const std::u16string shown = text.empty() ? std::u16string(u"アサートが失敗しました") : text;
    return shown + u" (" + sourceFile + u", " + IntToStr(line) + u" 行)";
}

}  // namespace

EAssertionFailed::EAssertionFailed(const std::u16string& text, const std::u16string& sourceFile, int line)
    : Exception(AssertionMessage(text, sourceFile, line))
{
}
