#include "platform/text.h"

#include <climits>
#include <cstdarg>

std::size_t plrLen(const plr_char *text) {
    std::size_t n = 0;
    if (text == nullptr) return 0;
    while (text[n] != 0) ++n;
    return n;
}

bool plrEqual(const plr_char *a, const plr_char *b) {
    if (a == nullptr || b == nullptr) return a == b;
    for (std::size_t i = 0;; ++i) {
        if (a[i] != b[i]) return false;
        if (a[i] == 0) return true;
    }
}

int plrCopy(plr_char *dest, std::size_t capacity, const plr_char *src) {
    if (dest == nullptr || capacity == 0 || capacity > static_cast<std::size_t>(INT_MAX)) return PLR_TEXT_EINVAL;
    if (src == nullptr) {
        dest[0] = 0;
        return PLR_TEXT_EINVAL;
    }
    std::size_t i = 0;
    for (; i < capacity; ++i) {
        dest[i] = src[i];
        if (src[i] == 0) return PLR_TEXT_OK;
    }
    dest[0] = 0;
    return PLR_TEXT_EINVAL;
}

namespace {

// Appends to a bounded buffer; remembers whether anything was dropped.
struct BoundedWriter {
    plr_char *dest;
    std::size_t capacity;  // including the terminator
    std::size_t used = 0;
    bool truncated = false;

    void put(plr_char c) {
        if (used + 1 < capacity) {
            dest[used++] = c;
        } else {
            truncated = true;
        }
    }
    void puts(const plr_char *s) {
        if (s == nullptr) return;
        for (; *s != 0; ++s) put(*s);
    }
    void putNumber(unsigned long long magnitude, bool negative) {
        plr_char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<plr_char>(u'0' + static_cast<int>(magnitude % 10));
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative) put(u'-');
        while (count > 0) put(digits[--count]);
    }
};

}  // namespace

int plrFormat(plr_char *dest, std::size_t capacity, const plr_char *format, ...) {
    if (dest == nullptr || format == nullptr || capacity == 0 || capacity > static_cast<std::size_t>(INT_MAX))
        return PLR_TEXT_EINVAL;
    BoundedWriter out{dest, capacity};
    va_list args;
    va_start(args, format);
    for (const plr_char *p = format; *p != 0; ++p) {
        if (*p != u'%') {
            out.put(*p);
            continue;
        }
        const plr_char conversion = *++p;
        if (conversion == u's') {
            out.puts(va_arg(args, const plr_char *));
        } else if (conversion == u'd') {
            const int value = va_arg(args, int);
            const long long wide = value;
            out.putNumber(static_cast<unsigned long long>(wide < 0 ? -wide : wide), wide < 0);
        } else if (conversion == u'u') {
            out.putNumber(va_arg(args, unsigned int), false);
        } else if (conversion == u'%') {
            out.put(u'%');
        } else if (conversion == 0) {
            break;
        } else {
            out.put(u'%');
            out.put(conversion);
        }
    }
    va_end(args);
    dest[out.used] = 0;
    return out.truncated ? PLR_TEXT_TRUNCATE : PLR_TEXT_OK;
}
