// Where the time of a switch goes. Test builds (PLR_THREAD_CHECKS) note the
// moment each step of opening a switch ends; the switching benchmark reads
// them (PLR_PHASE_TIMING_FILE, written when the program ends) to show which
// step costs what. In the product the calls compile to nothing.
//
// Thread: any. notePhase may be called from the main thread and from the
// switcher thread at the same time.
#pragma once

enum class PlrPhase {
    Hotkey,         // the hotkey message arrived (main thread)
    Enumerated,     // the pass has enumerated the windows, filtered them and read their captions
    IconsAsked,     // every window has been sent its first icon request
    Discovered,     // the discovery pass is done, the icons stored
    Pruned,         // gone windows are pruned and the foreground window selected
    Refreshed,      // the refresh pass is done
    ThreadStarted,  // the switcher thread was created
    CommandDone,    // the key's command has run on the model
    DialogInit,     // the dialog took WM_INITDIALOG (switcher thread)
    PlanBuilt,      // the main thread has built the tree's population plan
    ImagesReady,    // the switcher thread has made the image lists
    TreeFilled,     // the switcher thread has inserted the items
    DialogShown,    // the dialog is being shown (switcher thread)
    AltReleased,    // the hook saw Alt go up during an open switch
    SwitchEnded,    // an ending ran (main thread)
    Count
};

#ifdef PLR_THREAD_CHECKS
void notePhase(PlrPhase phase) noexcept;
// Writes every noted phase to the file PLR_PHASE_TIMING_FILE names, if any:
// a line "<name> <microseconds since the first note>" per note, in order.
void writePhaseTimings() noexcept;
#else
inline void notePhase(PlrPhase) noexcept {}
inline void writePhaseTimings() noexcept {}
#endif
