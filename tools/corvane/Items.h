#pragma once
// The five items of a parameter block as make-params and dial read them: one per line, from a
// file or standard input.

#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "rtl/StringList.h"

// Items one per line; a CR before the LF and the line break after the last item are not part of
// an item.
TStringList ItemsFromText(std::u16string_view text);
// The items of the file, or of standard input when there is none (text as DecodeText reads it).
TStringList ReadItems(const std::optional<std::u16string>& itemsFile);

// The checked block of the items under the minute key of moment (launch/ParamsBlock.h); raises
// EToolFailure with the refusal's message.
std::u16string MakeBlockForTool(const TStringList& items, const TLocalDateTime& moment);
