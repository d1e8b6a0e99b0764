#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fs/FoundEntry.h"

namespace rekkon::cli {

// Writes found files as JSON, CSV or a body file one at a time, as a scan finds them, in the same
// bytes as printJson, printCsv and printBodyfile write the whole list. Nothing is written before
// the first entry or finish(), so a command that fails before then leaves its output empty.
//
// A long list is formatted and written on a thread of its own while the scan goes on: entries
// are copied into batches, and full batches queue for that thread, which writes all that are
// waiting each time it wakes. The scan waits only when every batch is full. Until finish(),
// `out` belongs to that thread. A short list (one batch or less) is written by finish() on the
// caller's thread.
class EntryStream {
  public:
    enum class Format { Json, Csv, Bodyfile };

    // Entries a batch holds, and batches in all.
    static constexpr std::size_t kBatchEntries = 256;
    static constexpr std::size_t kBatches = 4;

    EntryStream(std::ostream& out, Format format) : out_(out), format_(format) {}
    // Writes what was added and not yet written, as finish() does without ending the document.
    ~EntryStream() { drain(); }
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    void add(const DeletedFileEntry& entry);
    // Writes what is left and ends the document: the header alone or "[]" when nothing was
    // added.
    void finish();
    std::uint64_t count() const { return count_; }

  private:
    struct Batch {
        std::vector<DeletedFileEntry> entries;  // kept between uses: its texts' storage is reused
        std::size_t used = 0;
    };
    // Queues the filling batch for the writer thread (started with the first) and moves on to
    // the next, once that one is written.
    void handOver();
    // Writes every entry added so far and ends the writer thread.
    void drain();
    void writerLoop();
    void write(const Batch& batch);

    std::ostream& out_;
    Format format_;
    std::uint64_t count_ = 0;    // entries added
    std::uint64_t written_ = 0;  // entries formatted (by one thread at a time)
    std::string text_;
    std::array<Batch, kBatches> batches_;
    // Batches are used in turn: handed_ counts those queued, done_ those written; batch k is
    // batches_[k % kBatches]. The filling one is batches_[handed_ % kBatches].
    std::uint64_t handed_ = 0;
    std::uint64_t done_ = 0;
    bool stop_ = false;
    bool inline_ = false;  // no thread could be started: batches are written as they fill
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable freed_;
    std::thread writer_;
};

}  // namespace rekkon::cli
