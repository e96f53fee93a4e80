#include "shell/settings.h"

namespace {

// UTF-16 code unit `index` of little-endian string data.
unsigned unitAt(const BYTE *data, std::size_t index) {
    return static_cast<unsigned>(data[2 * index]) | (static_cast<unsigned>(data[2 * index + 1]) << 8);
}

bool isBlank(unsigned unit) { return unit == ' ' || unit == '\t'; }

DWORD numberSpelledBy(const BYTE *data, std::size_t bytes) {
    // The stored string need not be terminated; an odd last byte is no unit.
    std::size_t length = 0;
    while (length < bytes / 2 && unitAt(data, length) != 0) ++length;

    std::size_t first = 0;
    while (first < length && isBlank(unitAt(data, first))) ++first;
    std::size_t end = length;
    while (end > first && isBlank(unitAt(data, end - 1))) --end;
    if (first == end) return 0;

    unsigned long long value = 0;
    for (std::size_t i = first; i < end; ++i) {
        const unsigned unit = unitAt(data, i);
        if (unit < '0' || unit > '9') return 0;
        value = value * 10 + (unit - '0');
        if (value > 0xFFFFFFFFull) return 0;
    }
    return static_cast<DWORD>(value);
}

}  // namespace

DWORD settingFromRegistryData(DWORD type, const BYTE *data, std::size_t bytes) {
    if (data == nullptr) return 0;
    if (type == REG_SZ || type == REG_EXPAND_SZ) return numberSpelledBy(data, bytes);
    if (bytes > sizeof(DWORD)) return 0;
    DWORD value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value |= static_cast<DWORD>(data[i]) << (8 * i);
    return value;
}
