// UTF-16 text helpers shared by every build. plr_char is 16 bits on every
// platform (wchar_t on Windows, char16_t natively), so these never use the
// C library's wide-string functions, whose width differs between builds.
#pragma once

#include <cstddef>

#include "platform/win32types.h"

// Status codes of the bounded operations, with the C runtime's values.
enum PlrTextStatus {
    PLR_TEXT_OK = 0,
    PLR_TEXT_EINVAL = 22,    // capacity out of range or null argument: nothing written
    PLR_TEXT_TRUNCATE = 80,  // text did not fit: n-1 units written and terminated
};

std::size_t plrLen(const plr_char *text);
// Unit-by-unit comparison up to and including the terminator (case-sensitive).
bool plrEqual(const plr_char *a, const plr_char *b);

// Bounded copy: capacity in units including the terminator (1..INT_MAX).
// Fails with PLR_TEXT_EINVAL when the source does not fit (the destination is
// then emptied), as a checked string copy does.
int plrCopy(plr_char *dest, std::size_t capacity, const plr_char *src);

// Bounded formatting. Supports %s (const plr_char*), %d (int), %u (unsigned)
// and %%. With capacity n (1..2147483647) at most n-1 units are written and
// the result is always terminated; text that does not fit is dropped and
// PLR_TEXT_TRUNCATE returned. A capacity out of range writes nothing and
// returns PLR_TEXT_EINVAL.
int plrFormat(plr_char *dest, std::size_t capacity, const plr_char *format, ...);
