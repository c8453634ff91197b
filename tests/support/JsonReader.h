#pragma once
// A strict reader of JSON text (RFC 8259), for tests that must show a program's JSON output is
// well formed and says what it should, escapes included: strings come back as UTF-8.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace TestSupport {

struct TJsonValue {
    enum class TKind { Null, Boolean, Number, String, Array, Object };
    TKind Kind = TKind::Null;
    bool Boolean = false;
    std::string Text;  // a string's UTF-8, or a number's digits as written
    std::vector<TJsonValue> Items;
    std::vector<std::pair<std::string, TJsonValue>> Members;

    // The member of that name; raises std::runtime_error when there is none.
    const TJsonValue& operator[](std::string_view name) const;
};

// The one value the whole text holds; raises std::runtime_error, naming the offset, on anything
// that is not JSON (a raw control character in a string, a bad escape, a lone surrogate, trailing
// bytes).
TJsonValue ParseJson(std::string_view text);

}  // namespace TestSupport
