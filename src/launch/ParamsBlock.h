#pragma once
// The parameter block as launching programs make it (the tool's make-params and dial, the C
// interface): only from items the dialer will read back as they were given, and checked by
// reading the block back before anyone sees it.

#include <string>

#include "platform/Clock.h"
#include "rtl/StringList.h"

// Refuses (ELaunchFailure, naming the item) fewer than five items and an item holding U+0000.
void CheckItems(const TStringList& items);

// Makes the block of the items under the minute key of moment, then reads it back under the same
// key as the dialer would. Raises ELaunchFailure naming the first item that does not come back and
// why (a character the ANSI code page cannot hold); the block is returned only when every item
// comes back unchanged.
std::u16string MakeCheckedBlock(const TStringList& items, const TLocalDateTime& moment);
