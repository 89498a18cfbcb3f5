// The letter list over a large box: showList of 100,000 letters against 10,000, per letter,
// ShowLetter of one letter in each, and the quick search in the large box typed and taken back
// key by key. A row lookup that scans the rows makes showList grow with the square of the box;
// this one should stay flat per letter, and refreshing one row should not depend on the box
// size.
//
// Uses the in-memory list view. Prints the best of several rounds; exits 1 when showList of
// the large box takes a second or more, its per-letter time is above 1.5 times the small box's,
// ShowLetter in the large box takes more than 1.5 times as long as in the small one (plus a
// microsecond of timer noise), or a keystroke of the quick search takes 50 ms or more.
#include <cstdio>
#include <cstdlib>

#include "bench/letter_list_measure.h"
#include "controls/memory_list_view.h"

using namespace korvo;
using korvo::bench::Figures;

namespace {

Figures Measure(int letters) {
    MemoryListView view;
    return bench::Measure(letters, view);
}

}  // namespace

int main(int argc, char** argv) {
    return bench::Run(Measure, 1000, argc, argv);
}
