// Listing a folder's persons in the address list panel's wx list (a virtual list control):
// folders of 2,500, 10,000 and 40,000 persons. Needs a display (run it under xvfb-run). Prints
// the best of several rounds; exits 1 when 10,000 persons take 100 ms or more, or a person
// costs more than three times as much in the largest folder as in the smallest
// (the largest folder no longer fits the caches; the machine's load moves the figures too).
#include <wx/app.h>
#include <wx/frame.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "controls/list_control.h"
#include "shell/address_rows.h"
#include "store/node_tree.h"
#include "ui/wx_list_view.h"

using namespace korvo;

namespace {

double BestMs(CBaseListControl& list, baseDataStruct* folder, int rounds) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        list.Reset(kSidePersonColumns);
        ListPersons(list, folder, SidePersonRow);
        wxTheApp->Yield();  // the control draws the rows on screen
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main(int, char** argv) {
    wxApp::SetInstance(new wxApp);
    int wxArgc = 1;
    if (!wxEntryStart(wxArgc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "no display: run it under xvfb-run\n");
        return 2;
    }
    int result = 0;
    {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "bench", wxDefaultPosition, wxSize(300, 600));
        WxListView view(frame);
        CBaseListControl list(view);
        frame->Show();
        const int sizes[] = {2500, 10000, 40000};
        double perPerson[3] = {};
        for (int k = 0; k < 3; ++k) {
            auto root = CreateRootNode();
            for (int i = 0; i < sizes[k]; ++i)
                addson(root.get(), "type =PersonInfo ,name =Person %d ,email =p%d@example.org", i,
                       i);
            const double ms = BestMs(list, root.get(), 7);
            perPerson[k] = ms * 1000 / sizes[k];
            std::printf("%6d persons: %8.2f ms (%.3f us per person)\n", sizes[k], ms, perPerson[k]);
            if (sizes[k] == 10000 && ms >= 100) result = 1;
        }
        if (perPerson[2] > 3 * perPerson[0]) result = 1;
        frame->Destroy();
    }
    wxEntryCleanup();
    return result;
}
