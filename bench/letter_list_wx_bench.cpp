// The letter list over a large box on the program's own wx list control, with the rows' look
// (fonts by state) applied as in the main window: showList of 100,000 letters against 10,000
// and ShowLetter of one letter in each. Needs a display (run it under xvfb-run). Prints the best
// of several rounds; exits 1 when showList of the large box takes a second or more, grows
// faster than the box, or a keystroke of the quick search takes 50 ms or more (see
// letter_list_measure.h).
#include <wx/app.h>
#include <wx/frame.h>

#include <cstdio>

#include "bench/letter_list_measure.h"
#include "ui/letter_row_style.h"
#include "ui/wx_list_view.h"

using namespace korvo;

int main(int argc, char** argv) {
    // A plain wx application, set up before the toolkit starts; the box sizes stay in argv.
    wxApp::SetInstance(new wxApp);
    int wxArgc = 1;
    if (!wxEntryStart(wxArgc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "no display: run it under xvfb-run\n");
        return 2;
    }
    int result = 0;
    {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "bench", wxDefaultPosition, wxSize(900, 600));
        WxListView view(frame);
        StyleLetterRows(view);
        frame->Show();
        // Each search is timed with the repaint it causes.
        const auto repaint = [&view] { view.control()->Update(); };
        result = bench::Run([&](int letters) { return bench::Measure(letters, view, repaint); },
                            1000, argc, argv);
        frame->Destroy();
    }
    wxEntryCleanup();
    return result;
}
