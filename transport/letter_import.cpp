#include "transport/letter_import.h"

#include "content/letter_node.h"
#include "platform/string_format.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

class Import {
  public:
    Import(CSysData& sys, baseDataStruct* box, const ImportOptions& options)
        : sys_(sys), mail_(sys.mailBox()), box_(box), options_(options) {}

    ImportResult Run(const std::vector<std::string>& paths) {
        {
            Locked lock(options_.modelLock);
            if (!BoxAlive()) return std::move(result_);
            letters_ = mail_.SysReadLinkTree(box_, kLoadProperty);
        }
        if (!letters_) {
            result_.storageFailed = true;
            result_.problems.push_back("the box has no place in the mail store");
            return std::move(result_);
        }
        for (const std::string& path : paths) {
            if (!ImportPath(path)) break;
        }
        Locked lock(options_.modelLock);
        if (countersChanged_ && BoxAlive()) sys_.DataSaveList(box_, 1);
        if (!mail_.DataSync() || !sys_.DataSync() || mail_.failed()) Failed();
        return std::move(result_);
    }

  private:
    // The model lock when there is one.
    class Locked {
      public:
        explicit Locked(std::recursive_mutex* mutex) : mutex_(mutex) {
            if (mutex_) mutex_->lock();
        }
        ~Locked() {
            if (mutex_) mutex_->unlock();
        }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

      private:
        std::recursive_mutex* mutex_;
    };

    bool cancelled() const { return options_.cancelled && options_.cancelled(); }

    // Under the model lock.
    bool BoxAlive() {
        if (!options_.boxAlive || options_.boxAlive()) return true;
        if (!result_.cancelled) result_.problems.push_back("the box was deleted");
        result_.cancelled = true;
        return false;
    }

    void Failed() {
        if (result_.storageFailed) return;
        result_.storageFailed = true;
        result_.problems.push_back("the mail store could not be written: " + mail_.failureText());
    }

    // False when the import must stop.
    bool ImportPath(const std::string& path) {
        std::unique_ptr<ArchiveReader> reader = OpenArchive(path, options_.maxLetter);
        ArchiveLetter letter;
        int shown = -1;
        for (;;) {
            if (cancelled()) {
                result_.cancelled = true;
                return false;
            }
            const ArchiveRead got = reader->Next(&letter);
            if (got == ArchiveRead::kEnd) return true;
            if (got != ArchiveRead::kLetter) {
                ++result_.skipped;
                result_.problems.push_back(path + ": " + reader->error());
                if (got == ArchiveRead::kFailed) return true;
                continue;
            }
            if (!Store(std::move(letter))) return false;
            if (options_.progress && reader->total() > 0) {
                const int percent = int(reader->done() * 100 / reader->total());
                if (percent != shown) options_.progress(shown = percent);
            }
        }
    }

    bool Store(ArchiveLetter&& from) {
        Locked lock(options_.modelLock);
        if (!BoxAlive()) return false;
        const long size = long(from.text.size());
        baseDataStruct* letter = AddLetterNode(letters_, size, {}, 1, std::move(from.text));
        mailInitProperty(letter, box_);
        if (from.receiveTime >= 0)
            setinfo(letter, kThisNode, "RECEIVETIME", ReceiveTimeText(from.receiveTime));
        changestate(letter, from.deleted ? STATE_VALID : 0,
                    (from.read ? LETTER_READ : 0) | (from.replied ? LETTER_REPLIED : 0));
        if (!StoreLetter(mail_, letter) || mail_.failed()) {
            deletepoint(letter);
            Failed();
            return false;
        }
        // Stored: the raw text (and unless kept, the columns) are read back from the store.
        freedata(letter, options_.keepColumns ? 8 : 8 | 4);
        ++result_.stored;
        if (AdjustBoxCounters(box_, false, 0, getstate(letter))) {
            countersChanged_ = true;
            if (options_.listener) options_.listener->BoxChanged(box_);
        }
        if (options_.listener) options_.listener->ShowLetter(letter);
        return true;
    }

    CSysData& sys_;
    CSysMailBox& mail_;
    baseDataStruct* box_;
    const ImportOptions& options_;
    baseDataStruct* letters_ = nullptr;
    bool countersChanged_ = false;
    ImportResult result_;
};

}  // namespace

ImportResult ImportLetters(CSysData& sys, baseDataStruct* box,
                           const std::vector<std::string>& paths, const ImportOptions& options) {
    Import import(sys, box, options);
    return import.Run(paths);
}

}  // namespace korvo
