// Layout checks for the 32-bit product: the structures the program hands to
// the system must have the sizes 32-bit Windows expects. The code always
// takes these sizes with sizeof; these checks catch a header or packing
// setting that would make sizeof disagree with the system.
#include "platform/win32types.h"

#include <shellapi.h>

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(INPUT) == 28, "INPUT must be 28 bytes in a 32-bit build");
static_assert(sizeof(NOTIFYICONDATAW) == 956, "NOTIFYICONDATAW must be 956 bytes in a 32-bit build");
#endif
