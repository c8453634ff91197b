#pragma once
// The error log's text for a refused parameter block, written out here as support reads it, so
// the tests check the dialer's wording rather than repeat its code.

#include <string>
#include <string_view>

#include "CorvaneUtil/CorvaneUtil.h"

namespace RefusalText {

inline const std::u16string FirstLine = u"下記文字列の復号化に失敗";
inline const std::u16string NoArgument = u"原因: ブロックが渡されていません (引数なし)";
inline const std::u16string TooShort = u"原因: ブロックとしては短すぎます";
inline const std::u16string NoKey = u"原因: 現在の分と1分前の鍵では復号できません";

// "文字数: 224、指紋: 3f2a9c0d1b7e4a65"
inline std::u16string Description(std::u16string_view block)
{
    std::u16string length;
    for (char c : std::to_string(block.size()))
        length.push_back(static_cast<char16_t>(c));
    return u"文字数: " + length + u"、指紋: " + TCorvaneUtil::BlockFingerprint(block);
}

// The record's lines for a block refused for the reason, and the minute line when there is one.
inline std::u16string Message(std::u16string_view block, const std::u16string& reason,
                              const std::u16string& minute = {})
{
    std::u16string message = FirstLine;
    if (reason != NoArgument)
        message += u"\r\n" + Description(block);
    message += u"\r\n" + reason;
    if (!minute.empty())
        message += u"\r\n" + minute;
    return message;
}

inline std::u16string Number(int value)
{
    std::u16string text;
    for (char c : std::to_string(value))
        text.push_back(static_cast<char16_t>(c));
    return text;
}

// "9時間", "7分", "3時間12分"
inline std::u16string Span(int minutes)
{
    std::u16string text;
    if (minutes >= 60)
        text += Number(minutes / 60) + u"時間";
    if (minutes % 60 != 0 || minutes < 60)
        text += Number(minutes % 60) + u"分";
    return text;
}

inline std::u16string NoMinuteVerifies()
{
    return u"作成時刻: 前後26時間のどの分の鍵でも検証できません (別の鍵のブロック)";
}

inline std::u16string SearchCutShort(int searched)
{
    return u"作成時刻: 前後" + Span(searched) + u"のどの分の鍵でも検証できません (時間制限で探索を中断)";
}

}  // namespace RefusalText
