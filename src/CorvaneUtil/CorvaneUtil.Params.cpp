// Reading a parameter block, and what is told of one that is refused: never the block itself. The
// error log's key is the same in every copy of the program and the log is readable by every user,
// so a block quoted there would give its password to anyone who can find the minute it was made
// for. A refused block is told by its length and fingerprint, why it was refused and, for the
// dialer, the minute whose key verifies it.

#include <chrono>
#include <span>

#include "CorvaneUtil/CorvaneUtil.h"
#include "Utils/Util.CryptoU.h"
#include "Utils/Util.SecurityU.h"
#include "core/Text.h"
#include "rtl/DateUtils.h"
#include "rtl/Encoding.h"
#include "rtl/MemoryStream.h"

namespace {

// The salt, then the cipher's output of at least a 32-digit digest: 48 bytes with its padding.
constexpr std::size_t SmallestContainer = 11 + 48;

std::u16string Padded(int value, std::size_t width)
{
    std::u16string digits = IntToStr(value);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), u'0');
    return digits;
}

// "7分", "9時間", "9時間5分".
std::u16string Minutes(int minutes)
{
    const int hours = minutes / 60;
    const int rest = minutes % 60;
    std::u16string text;
    if (hours > 0)
        text += IntToStr(hours) + u"時間";
    if (rest > 0 || hours == 0)
        text += IntToStr(rest) + u"分";
    return text;
}

// "作成時刻: 2024/03/10 10:14 (現在の7分前)"
std::u16string FoundLine(const TLocalDateTime& now, int offset)
{
    const TLocalDateTime made = IncMinute(now, offset);
    return u"作成時刻: " + Padded(made.Year, 4) + u"/" + Padded(made.Month, 2) + u"/" + Padded(made.Day, 2) + u" " +
           Padded(made.Hour, 2) + u":" + Padded(made.Minute, 2) + u" (現在の" + Minutes(offset < 0 ? -offset : offset) +
           (offset < 0 ? u"前)" : u"後)");
}

std::u16string NotFoundLine(int searched, bool cutShort)
{
    return u"作成時刻: 前後" + Minutes(searched) + u"のどの分の鍵でも検証できません" +
           (cutShort ? u" (時間制限で探索を中断)" : u" (別の鍵のブロック)");
}

[[noreturn]] void Refuse(std::u16string_view block, TParamsRefusal refusal, const std::u16string& minuteLine)
{
    std::u16string message = u"下記文字列の復号化に失敗";
    if (refusal != TParamsRefusal::NoArgument)
        message += u"\r\n文字数: " + IntToStr(static_cast<std::int64_t>(block.size())) + u"、指紋: " +
                   TCorvaneUtil::BlockFingerprint(block);
    switch (refusal) {
        case TParamsRefusal::NoArgument:
            message += u"\r\n原因: ブロックが渡されていません (引数なし)";
            break;
        case TParamsRefusal::TooShort:
            message += u"\r\n原因: ブロックとしては短すぎます";
            break;
        case TParamsRefusal::NoKey:
            message += u"\r\n原因: 現在の分と1分前の鍵では復号できません";
            break;
    }
    if (!minuteLine.empty())
        message += u"\r\n" + minuteLine;
    throw EParamsRejected(std::move(message), refusal);
}

}  // namespace

TMinuteSearch TMinuteSearch::WithinTwoSeconds()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    TMinuteSearch search;
    search.TimeIsUp = [deadline] { return std::chrono::steady_clock::now() >= deadline; };
    return search;
}

std::u16string TCorvaneUtil::BlockFingerprint(std::u16string_view block)
{
    const TSecureBytes bytes = TEncoding::UTF8().GetBytes(block);
    TSHA256 sha256;
    sha256.Initialize();
    const TBytes digest = sha256.Hash(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
    // The first 8 bytes: 16 hexadecimal digits.
    return LowerHex(std::span<const std::uint8_t>(digest.data(), 8));
}

bool TCorvaneUtil::TryMinute(TStream& container, const TLocalDateTime& moment, TStringList* paramStrList)
{
    const TSecureText key = GetMinuteKey(moment);
    // What a wrong key makes of the block is refused unread: its padding fails, mostly.
    TMemoryStream plainBytes;
    if (!TCrypto::DecryptStream(container, key, plainBytes))
        return false;
    const TSecureText plainBlock = TEncoding::ANSI().GetString(plainBytes.Bytes());

    // A wrong key can still yield some text; only a matching digest proves the block.
    const std::u16string_view plain = plainBlock;
    const std::u16string_view digest = plain.substr(0, 32);
    const std::u16string_view listText = plain.size() > 32 ? plain.substr(32) : std::u16string_view();
    if (digest != GetHashMD5String(listText))
        return false;
    if (paramStrList != nullptr)
        paramStrList->SetCommaText(listText);
    return true;
}

std::optional<int> TCorvaneUtil::SearchMinute(TStream& container, const TLocalDateTime& now,
                                              const TMinuteSearch& search, int& searched)
{
    // Outward from now, the minute before each distance first: a late block is likelier than one
    // from a clock ahead. Now and the minute before were tried already.
    searched = 0;
    for (int distance = 1; distance <= search.Span; ++distance) {
        for (const int offset : {-distance, distance}) {
            if (offset == -1)
                continue;
            if (search.TimeIsUp && search.TimeIsUp())
                return std::nullopt;
            if (TryMinute(container, IncMinute(now, offset), nullptr))
                return offset;
        }
        searched = distance;
    }
    return std::nullopt;
}

void TCorvaneUtil::DecryptParams(const std::u16string& encryptedParamStr, TStringList& paramStrList)
{
    DecryptParams(encryptedParamStr, paramStrList, LocalNow());
}

void TCorvaneUtil::DecryptParams(const std::u16string& encryptedParamStr, TStringList& paramStrList,
                                 const TLocalDateTime& now)
{
    TMinuteSearch none;
    none.Span = 0;
    DecryptParams(encryptedParamStr, paramStrList, now, none);
}

void TCorvaneUtil::DecryptParams(const std::u16string& encryptedParamStr, TStringList& paramStrList,
                                 const TLocalDateTime& now, const TMinuteSearch& search)
{
    if (encryptedParamStr.empty())
        Refuse(encryptedParamStr, TParamsRefusal::NoArgument, {});
    // The base64 layer does not depend on the key: it is decoded once for every minute tried.
    TMemoryStream container;
    {
        const TBytes containerBytes = DecodeBase64String(encryptedParamStr);
        if (containerBytes.size() < SmallestContainer)
            Refuse(encryptedParamStr, TParamsRefusal::TooShort, {});
        container.WriteBuffer(containerBytes.data(), static_cast<std::int64_t>(containerBytes.size()));
    }
    // A block made late in a minute may arrive in the next one.
    for (const TLocalDateTime& moment : {now, IncMinute(now, -1)})
        if (TryMinute(container, moment, &paramStrList))
            return;
    std::u16string minuteLine;
    if (search.Span > 0) {
        int searched = 0;
        if (const std::optional<int> offset = SearchMinute(container, now, search, searched))
            minuteLine = FoundLine(now, *offset);
        else
            minuteLine = NotFoundLine(searched, searched < search.Span);
    }
    Refuse(encryptedParamStr, TParamsRefusal::NoKey, minuteLine);
}
