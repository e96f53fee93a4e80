// The two ways the program writes its diagnostic log. Any thread may call
// them; g_dwLog is fixed at start-up before a second thread exists, so it is
// read here without a lock.
#include "log/log.h"

#include <cstddef>

#include "model/globals.h"
#include "platform/desktop.h"
#include "platform/text.h"

void logMessage(const plr_char *text) {
    if (g_dwLog == 0) return;
    logWriteLine(text != nullptr ? text : PLR_T(""));
}

namespace {

// The fixed words of a report (", called from ", " failed with error ", ": ")
// take 35 units; 40 spare units hold them, a number of up to four characters
// and the terminator. A longer number makes the report lose the end of the
// system's text.
constexpr std::size_t kReportSpareBytes = 80;
constexpr std::size_t kFixedWordUnits = 35;

// Used when no report block can be had. Big enough for every name the
// program passes plus a one-line description; a longer text is cut at its end.
constexpr std::size_t kFallbackReportUnits = 512;

const plr_char kReportFormat[] = PLR_T("%s, called from %s failed with error %d: %s");

std::size_t decimalUnits(int value) {
    std::size_t units = value < 0 ? 2 : 1;  // the sign, the last digit
    for (long long rest = value < 0 ? -static_cast<long long>(value) : value; rest >= 10; rest /= 10) ++units;
    return units;
}

// Bytes of the report block: room for the three texts plus the spare bytes,
// and never less than the names, the fixed words, the number and the
// terminator need, so that a long number with a short (or missing) system
// text cuts only the system's text, never the number.
std::size_t reportBytes(std::size_t apiUnits, std::size_t callerUnits, std::size_t textUnits, int code) {
    const std::size_t limit = (static_cast<std::size_t>(-1) - kReportSpareBytes) / 2 - kFixedWordUnits - 12;
    if (apiUnits > limit || callerUnits > limit - apiUnits || textUnits > limit - apiUnits - callerUnits) return 0;
    const std::size_t requested = 2 * (textUnits + apiUnits + callerUnits) + kReportSpareBytes;
    const std::size_t needed = 2 * (apiUnits + callerUnits + kFixedWordUnits + decimalUnits(code) + 1);
    return requested < needed ? needed : requested;
}

}  // namespace

void logLastError(const plr_char *apiName, const plr_char *calledFrom) {
    if (g_dwLog == 0) return;
    // Read before anything else can overwrite the caller's last error.
    const DWORD code = desk::getLastError();
    const int signedCode = static_cast<int>(code);

    if (apiName == nullptr) apiName = PLR_T("");
    if (calledFrom == nullptr) calledFrom = PLR_T("");
    plr_char *systemText = desk::formatSystemMessage(code);
    // With no text from the system the description is left empty.
    const plr_char *description = systemText != nullptr ? systemText : PLR_T("");

    const std::size_t bytes = reportBytes(plrLen(apiName), plrLen(calledFrom), plrLen(description), signedCode);
    void *block = bytes != 0 ? desk::localAlloc(bytes) : nullptr;
    const std::size_t capacity = block != nullptr ? desk::localSize(block) / sizeof(plr_char) : 0;
    if (capacity != 0) {
        plr_char *report = static_cast<plr_char *>(block);
        // A status other than success only means the end of the description
        // was dropped.
        (void)plrFormat(report, capacity, kReportFormat, apiName, calledFrom, signedCode, description);
        logWriteLine(report);
    } else {
        // Out of memory: the report still goes out, from a fixed buffer.
        plr_char report[kFallbackReportUnits];
        (void)plrFormat(report, kFallbackReportUnits, kReportFormat, apiName, calledFrom, signedCode, description);
        logWriteLine(report);
    }
    desk::localFree(block);
    desk::freeSystemMessage(systemText);
}
