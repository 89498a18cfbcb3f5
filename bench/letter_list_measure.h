// The letter list over a large box, measured on any list view: shared by the benchmark on the
// in-memory view and the one on the program's wx list control.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_account.h"
#include "content/letter_node.h"
#include "controls/column_spec.h"
#include "controls/list_view.h"
#include "model/account_form.h"
#include "model/data_stores.h"
#include "model/settings_forms.h"
#include "shell/letter_list.h"
#include "store/node_tree.h"
#include "tests/support/temp_dir.h"

namespace korvo::bench {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;
constexpr int kShowLetterCalls = 2000;
constexpr double kSearchKeyMs = 50;

class NoViewer : public LetterViewer {
  public:
    void ShowMail(baseDataStruct*) override {}
    void ClearMail() override {}
};
class NoFrame : public LetterFrame {
  public:
    void OpenLetter(baseDataStruct*, int) override {}
    void RefreshBoxLabel(baseDataStruct*) override {}
    void SelectTreeNode(baseDataStruct*) override {}
};

struct Figures {
    double showListMs = 1e300;
    double showLetterUs = 1e300;
    // The quick search typed one key at a time, then taken back with Backspace key by key: the
    // slowest keystroke's refilter each way, and the clearing of the whole search (Escape).
    double searchKeyMs = 0;
    double searchBackMs = 0;
    double searchClearMs = 0;
};

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Builds a receive box of `letters` letters and measures the letter list over `view`;
// `settle` runs after every change that is timed (a window repaints there).
template <typename Settle>
Figures Measure(int letters, ListView& view, Settle settle) {
    test::TempDir dir;
    test::ScopedDataDir dataDir(dir.path());
    CDataStores stores;
    stores.OpenSystemStore();
    CSysData& sys = stores.sys();
    baseDataStruct* account = MakeBenchUserAccount(sys).account;
    baseDataStruct* box = sys.DataGetSysPoint(account, kKindBox, kBoxReceive);
    setinfo(box, kThisNode, "showColumn",
            LongToText(kShowNormal | kShowHidden | kColumnFrom | kColumnSubject | kColumnDate |
                       kColumnSize));
    baseDataStruct* container = stores.mail().SysReadLinkTree(box, kLoadProperty);

    baseDataStruct* middle = nullptr;
    for (int i = 0; i < letters; ++i) {
        baseDataStruct* letter =
            AddSonText(container, "type =letter ,MailId =" + std::to_string(i));
        std::string block = PackCells({"", "Sender " + std::to_string(i % 97) + " <s@x.org>",
                                       "Subject " + std::to_string(i), "2004-01-06 09:05",
                                       std::to_string(1000 + i)});
        block.resize(kColumnBlockSize, '\0');
        setdata(letter, block);
        if (i % 3 == 0) changestate(letter, 0, LETTER_READ);
        if (i == letters / 2) middle = letter;
    }

    view.DeleteAllRows();
    CBaseListControl control(view);
    NoViewer viewer;
    NoFrame frame;
    CLetterList list(control, sys, viewer, frame);
    Figures best;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        list.showList(box);
        best.showListMs = std::min(best.showListMs, Ms(Clock::now() - start));
        if (view.RowCount() != letters) {
            std::printf("showList gave %d rows for %d letters\n", view.RowCount(), letters);
            std::exit(1);
        }
        const auto one = Clock::now();
        for (int k = 0; k < kShowLetterCalls; ++k) {
            changestate(middle, k % 2 ? LETTER_READ : 0, k % 2 ? 0 : LETTER_READ);
            list.ShowLetter(middle);
        }
        best.showLetterUs =
            std::min(best.showLetterUs, Ms(Clock::now() - one) * 1000.0 / kShowLetterCalls);
    }
    // "sender 42 subject 4" narrows the box key by key and widens it again; the worst key
    // counts.
    const std::string typed = "sender 42 subject 4";
    const auto search = [&](size_t length, double& worst) {
        const auto key = Clock::now();
        list.SetQuickSearch(typed.substr(0, length));
        settle();
        worst = std::max(worst, Ms(Clock::now() - key));
    };
    for (size_t n = 1; n <= typed.size(); ++n) search(n, best.searchKeyMs);
    const int found = view.RowCount();
    for (size_t n = typed.size(); n-- > 0;) search(n, best.searchBackMs);
    const int backed = view.RowCount();
    list.SetQuickSearch(typed);
    search(0, best.searchClearMs);
    if (found <= 0 || found >= letters || backed != letters || view.RowCount() != letters) {
        std::printf("the quick search listed %d of %d letters (%d after Backspace)\n", found,
                    letters, backed);
        std::exit(1);
    }
    return best;
}

inline Figures Measure(int letters, ListView& view) {
    return Measure(letters, view, [] {});
}

// Prints the figures for the box sizes given on the command line, or compares a box of
// 100,000 letters with one of 10,000 and returns 1 when the large one is too slow: showList
// `largeLimitMs` or more, per letter above 1.5 times the small box's, ShowLetter above 1.5
// times (plus a microsecond of timer noise), or a keystroke of the quick search kSearchKeyMs
// or more.
template <typename MeasureFn>
int Run(MeasureFn measure, double largeLimitMs, int argc, char** argv) {
    if (argc > 1) {
        // Figures for other box sizes, without the verdict.
        for (int i = 1; i < argc; ++i) {
            const int n = std::atoi(argv[i]);
            const Figures f = measure(n);
            std::printf("%8d letters: showList %8.1f ms (%.3f us per letter), ShowLetter %.3f us\n",
                        n, f.showListMs, f.showListMs * 1000 / n, f.showLetterUs);
            std::printf(
                "%8d letters: quick search slowest key %.1f ms, Backspace %.1f ms, "
                "clearing %.1f ms\n",
                n, f.searchKeyMs, f.searchBackMs, f.searchClearMs);
        }
        return 0;
    }
    const Figures small = measure(10000);
    const Figures large = measure(100000);
    const double perSmall = small.showListMs / 10000;
    const double perLarge = large.showListMs / 100000;
    std::printf("showList   10,000 letters: %8.1f ms (%.3f us per letter)\n", small.showListMs,
                perSmall * 1000);
    std::printf("showList  100,000 letters: %8.1f ms (%.3f us per letter, %.2fx)\n",
                large.showListMs, perLarge * 1000, perLarge / perSmall);
    std::printf("ShowLetter in  10,000: %.3f us; in 100,000: %.3f us\n", small.showLetterUs,
                large.showLetterUs);
    std::printf(
        "quick search in 100,000: slowest keystroke %.1f ms, Backspace %.1f ms, clearing %.1f ms\n",
        large.searchKeyMs, large.searchBackMs, large.searchClearMs);
    const double slowestKey =
        std::max({large.searchKeyMs, large.searchBackMs, large.searchClearMs});
    const bool ok = large.showListMs < largeLimitMs && perLarge <= 1.5 * perSmall &&
                    large.showLetterUs <= 1.5 * small.showLetterUs + 1.0 &&
                    slowestKey < kSearchKeyMs;
    std::printf("%s\n", ok ? "ok" : "TOO SLOW");
    return ok ? 0 : 1;
}

}  // namespace korvo::bench
