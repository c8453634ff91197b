#include "support/JsonReader.h"

#include <stdexcept>

namespace TestSupport {

namespace {

class TJsonReader {
public:
    explicit TJsonReader(std::string_view text) : FText(text) {}

    TJsonValue Document()
    {
        TJsonValue value = Value();
        SkipSpace();
        if (FAt != FText.size())
            Fail("bytes after the value");
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(FAt));
    }

    void SkipSpace()
    {
        while (FAt < FText.size() &&
               (FText[FAt] == ' ' || FText[FAt] == '\t' || FText[FAt] == '\n' || FText[FAt] == '\r'))
            ++FAt;
    }

    char Peek()
    {
        if (FAt >= FText.size())
            Fail("unexpected end");
        return FText[FAt];
    }

    void Expect(std::string_view word)
    {
        if (FText.substr(FAt, word.size()) != word)
            Fail("expected " + std::string(word));
        FAt += word.size();
    }

    TJsonValue Value()
    {
        SkipSpace();
        TJsonValue value;
        switch (Peek()) {
            case '{':
                value.Kind = TJsonValue::TKind::Object;
                ++FAt;
                SkipSpace();
                if (Peek() == '}') {
                    ++FAt;
                    return value;
                }
                for (;;) {
                    SkipSpace();
                    if (Peek() != '"')
                        Fail("expected a member name");
                    std::string name = String();
                    SkipSpace();
                    Expect(":");
                    value.Members.emplace_back(std::move(name), Value());
                    SkipSpace();
                    if (Peek() == '}') {
                        ++FAt;
                        return value;
                    }
                    Expect(",");
                }
            case '[':
                value.Kind = TJsonValue::TKind::Array;
                ++FAt;
                SkipSpace();
                if (Peek() == ']') {
                    ++FAt;
                    return value;
                }
                for (;;) {
                    value.Items.push_back(Value());
                    SkipSpace();
                    if (Peek() == ']') {
                        ++FAt;
                        return value;
                    }
                    Expect(",");
                }
            case '"':
                value.Kind = TJsonValue::TKind::String;
                value.Text = String();
                return value;
            case 't':
                Expect("true");
                value.Kind = TJsonValue::TKind::Boolean;
                value.Boolean = true;
                return value;
            case 'f':
                Expect("false");
                value.Kind = TJsonValue::TKind::Boolean;
                return value;
            case 'n':
                Expect("null");
                return value;
            default:
                value.Kind = TJsonValue::TKind::Number;
                value.Text = Number();
                return value;
        }
    }

    std::string Number()
    {
        const std::size_t start = FAt;
        if (Peek() == '-')
            ++FAt;
        auto digits = [&] {
            const std::size_t first = FAt;
            while (FAt < FText.size() && FText[FAt] >= '0' && FText[FAt] <= '9')
                ++FAt;
            if (FAt == first)
                Fail("expected a digit");
        };
        if (Peek() == '0')
            ++FAt;
        else
            digits();
        if (FAt < FText.size() && FText[FAt] == '.') {
            ++FAt;
            digits();
        }
        if (FAt < FText.size() && (FText[FAt] == 'e' || FText[FAt] == 'E')) {
            ++FAt;
            if (Peek() == '+' || Peek() == '-')
                ++FAt;
            digits();
        }
        return std::string(FText.substr(start, FAt - start));
    }

    unsigned Hex4()
    {
        if (FAt + 4 > FText.size())
            Fail("short \\u escape");
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = FText[FAt++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<unsigned>(c - 'A' + 10);
            else
                Fail("bad hexadecimal digit");
        }
        return value;
    }

    static void AppendUtf8(std::string& out, char32_t c)
    {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    std::string String()
    {
        Expect("\"");
        std::string out;
        for (;;) {
            const auto c = static_cast<unsigned char>(Peek());
            ++FAt;
            if (c == '"')
                return out;
            if (c < 0x20)
                Fail("raw control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const char escape = Peek();
            ++FAt;
            switch (escape) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    char32_t unit = Hex4();
                    if (unit >= 0xDC00 && unit <= 0xDFFF)
                        Fail("lone low surrogate");
                    if (unit >= 0xD800 && unit <= 0xDBFF) {
                        Expect("\\u");
                        const char32_t low = Hex4();
                        if (low < 0xDC00 || low > 0xDFFF)
                            Fail("high surrogate without its low one");
                        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    }
                    AppendUtf8(out, unit);
                    break;
                }
                default:
                    Fail("bad escape");
            }
        }
    }

    std::string_view FText;
    std::size_t FAt = 0;
};

}  // namespace

const TJsonValue& TJsonValue::operator[](std::string_view name) const
{
    for (const auto& [memberName, value] : Members) {
        if (memberName == name)
            return value;
    }
    throw std::runtime_error("JSON: no member " + std::string(name));
}

TJsonValue ParseJson(std::string_view text)
{
    return TJsonReader(text).Document();
}

}  // namespace TestSupport
