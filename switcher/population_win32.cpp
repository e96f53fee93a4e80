#include "switcher/population_win32.h"

#include <new>
#include <utility>
#include <vector>

#include "log/log.h"
#include "model/globals.h"
#include "model/threading.h"
#include "platform/desktop.h"
#include "platform/phases.h"
#include "switcher/population.h"
#include "switcher/population_plan.h"

namespace {

struct PopulationRequest {
    const PopulationPlan *plan;
    std::vector<HTREEITEM> items;
    bool filled;
};

}  // namespace

void handlePopulationRequest(HWND hDlg, LPARAM lParam) noexcept {
    PopulationRequest *request = reinterpret_cast<PopulationRequest *>(lParam);
    if (request == nullptr || request->plan == nullptr) return;
    try {
        request->items = applyPopulationPlan(hDlg, *request->plan);
        request->filled = true;
    } catch (const std::bad_alloc &) {
        // The main thread finds the request unfilled and fills the tree itself.
    }
}

void populateThroughDialogThread(HWND dialog) {
    PLR_ASSERT_MODEL_THREAD();
    // The root keeps its item handle from the previous dialog until its new
    // item exists; until then nothing may address the old handle.
    g_rootGroup.hti = nullptr;
    bool adopted = false;
    try {
        const PopulationPlan plan = buildPopulationPlan();
        notePhase(PlrPhase::PlanBuilt);
        PopulationRequest request = {&plan, std::vector<HTREEITEM>(), false};
        // A dialog proc's result does not reach SendMessageW's caller: the
        // request says itself whether it was carried out.
        SendMessageW(dialog, WM_PLR_POPULATE, 0, reinterpret_cast<LPARAM>(&request));
        notePhase(PlrPhase::TreeFilled);
        adopted = request.filled && adoptPopulation(plan, request.items);
    } catch (const std::bad_alloc &) {
        logMessage(PLR_T("populateTreeView: out of memory.  Filling the tree from the main thread."));
    }
    if (adopted) return;
    // Whatever the dialog inserted is dropped; the tree is filled again here.
    sendTreeMessage(dialog, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    populateTreeView(dialog);
}
