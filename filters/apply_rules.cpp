#include "filters/apply_rules.h"

#include <map>
#include <unordered_map>

#include "content/letter_node.h"
#include "filters/account_rules.h"
#include "model/sys_schema.h"
#include "store/node_tree.h"
#include "transport/receive_mail.h"

namespace korvo {
namespace {

// A box that gets letters, with its letters by MailId so that it never holds one id twice.
struct Target {
    baseDataStruct* letters = nullptr;
    std::unordered_map<std::string, baseDataStruct*> byId;
    bool countersChanged = false;
};

class BoxRun {
  public:
    BoxRun(CSysData& sys, baseDataStruct* box) : sys_(sys), mail_(sys.mailBox()), box_(box) {}

    // Puts a copy of `letter` into `node`; false when it could not be stored.
    bool CopyInto(baseDataStruct* node, baseDataStruct* letter) {
        Target* target = TargetOf(node);
        if (!target) return false;
        const std::string id = getinfo(letter, kThisNode, "MailId");
        if (id != kAbsent && target->byId.count(id)) return true;
        baseDataStruct* copy = AddSonText(target->letters, "");
        copyfrom(copy, letter, 15);
        setinfo(copy, kThisNode, "pointId", "-1");
        mailInitProperty(copy, node, nullptr);
        changestate(copy, 0, STATE_VALID);
        if (mail_.DataNewPoint(copy, -1) == -1) {
            deletepoint(copy);
            return false;
        }
        if (id != kAbsent) target->byId.emplace(id, copy);
        freedata(copy, 8);
        if (AdjustBoxCounters(node, false, 0, getstate(copy))) target->countersChanged = true;
        return true;
    }

    void Change(baseDataStruct* letter, uint32_t clear, uint32_t set) {
        const uint32_t before = getstate(letter);
        changestate(letter, clear, set);
        if (AdjustBoxCounters(box_, true, before, getstate(letter))) boxChanged_ = true;
    }

    void Finish(std::vector<baseDataStruct*>& changed) {
        for (auto& [node, target] : targets_) {
            if (!target.countersChanged) continue;
            sys_.DataSavePoint(node);
            changed.push_back(node);
        }
        if (boxChanged_) {
            sys_.DataSavePoint(box_);
            changed.push_back(box_);
        }
        mail_.DataSync();
        sys_.DataSync();
    }

  private:
    Target* TargetOf(baseDataStruct* node) {
        auto it = targets_.find(node);
        if (it == targets_.end()) {
            Target target;
            target.letters = mail_.SysReadLinkTree(node, kLoadProperty | kLoadStrdata);
            for (baseDataStruct* l = target.letters ? target.letters->firstSon() : nullptr; l;
                 l = l->nextBrother()) {
                const std::string id = getinfo(l, kThisNode, "MailId");
                if (id != kAbsent) target.byId.emplace(id, l);
            }
            it = targets_.emplace(node, std::move(target)).first;
        }
        return it->second.letters ? &it->second : nullptr;
    }

    CSysData& sys_;
    CSysMailBox& mail_;
    baseDataStruct* box_;
    std::map<baseDataStruct*, Target> targets_;
    bool boxChanged_ = false;
};

}  // namespace

ApplyResult ApplyRulesToBox(CSysData& sys, baseDataStruct* box,
                            const std::function<bool(int)>& progress) {
    ApplyResult result;
    baseDataStruct* account = box ? sys.DataGetSysPoint(box, kKindAccount) : nullptr;
    if (!account) return result;
    AccountRules rules(sys, account);
    CSysMailBox& mail = sys.mailBox();
    baseDataStruct* letters = mail.SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
    if (!rules.empty() && letters) {
        long total = 0;
        for (baseDataStruct* l = letters->firstSon(); l; l = l->nextBrother()) ++total;
        BoxRun run(sys, box);
        long done = 0;
        int shown = -1;
        for (baseDataStruct* letter = letters->firstSon(); letter; letter = letter->nextBrother()) {
            const int percent = static_cast<int>(++done * 100 / total);
            if (progress && percent != shown && !progress(shown = percent)) {
                result.cancelled = true;
                break;
            }
            if (!teststate(letter, STATE_VALID)) continue;
            ++result.letters;
            const bool loaded = !getdata(letter, "SDATA").has_value();
            if (loaded) mail.DataLoadPoint(letter, -1, kLoadSdata);
            const std::string_view raw = getdata(letter, "SDATA").value_or("");
            const ArrivalDecision decision =
                rules.Decide(raw, TextToLong(getinfo(letter, kThisNode, "mailLong")));
            bool moved = false;
            if (decision.moveTo && decision.moveTo != box) {
                moved = run.CopyInto(decision.moveTo, letter);
                if (moved) ++result.moved;
            }
            for (baseDataStruct* node : decision.copyTo) {
                if (node != box && node != decision.moveTo && run.CopyInto(node, letter))
                    ++result.copied;
            }
            bool changed = false;
            if (decision.hide && !teststate(letter, LETTER_HIDDEN)) {
                run.Change(letter, 0, LETTER_HIDDEN);
                changed = true;
            }
            for (const auto& [key, value] :
                 {std::pair<const char*, const std::string&>{"MarkColor", decision.markColor},
                  {"MarkStyle", decision.markStyle}}) {
                if (!value.empty() && getinfo(letter, kThisNode, key) != value) {
                    setinfo(letter, kThisNode, key, value);
                    changed = true;
                }
            }
            if (moved) run.Change(letter, STATE_VALID, LETTER_READ);
            if (changed) ++result.changed;
            if (changed || moved) mail.DataSavePoint(letter);
            if (loaded) freedata(letter, 8);
        }
        run.Finish(result.boxes);
    }
    result.skipped = rules.SkippedRules();
    return result;
}

}  // namespace korvo
