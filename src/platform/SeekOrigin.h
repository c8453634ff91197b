#pragma once

// Where a seek counts its offset from: the beginning, the current position or the end.
enum class TSeekOrigin { Beginning, Current, End };
