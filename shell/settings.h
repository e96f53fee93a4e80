// How a setting's registry data becomes its number. Platform-free, so that
// the reading of every type can be tested without a registry; the reader
// itself is readSettingValue (startup_win32.cpp).
#pragma once

#include <cstddef>

#include "platform/win32types.h"

// The setting that `bytes` bytes of registry data of type `type` stand for.
// A string (REG_SZ, REG_EXPAND_SZ) is the decimal number it spells, spaces
// and tabs around it allowed and nothing else: "0" is 0 and "1" is 1, while
// an empty string, one with any other character and one whose number does
// not fit in 32 bits are 0. Data of any other type is taken as its bytes,
// zero-extended, when it is at most 4 bytes long, and is 0 when longer.
DWORD settingFromRegistryData(DWORD type, const BYTE *data, std::size_t bytes);
