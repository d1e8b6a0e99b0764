#include "cli/EntryStream.h"

#include <ostream>
#include <system_error>

#include "cli/BodyfileOutput.h"
#include "cli/EntryOutput.h"

namespace rekkon::cli {

void EntryStream::add(const DeletedFileEntry& entry) {
    Batch& batch = batches_[handed_ % kBatches];
    if (batch.used < batch.entries.size())
        batch.entries[batch.used] = entry;
    else
        batch.entries.push_back(entry);
    ++batch.used;
    ++count_;
    if (batch.used == kBatchEntries) handOver();
}

void EntryStream::handOver() {
    if (!writer_.joinable() && !inline_) {
        try {
            writer_ = std::thread([this] { writerLoop(); });
        } catch (const std::system_error&) {
            inline_ = true;
        }
    }
    if (inline_) {
        Batch& batch = batches_[handed_ % kBatches];
        write(batch);
        batch.used = 0;
        return;
    }
    bool wake = false;
    {
        std::unique_lock lock(mutex_);
        // The writer is woken only when it may be waiting: when it has written all before.
        wake = done_ == handed_;
        ++handed_;
        // The next batch to fill must have been written.
        freed_.wait(lock, [this] { return handed_ - done_ < kBatches; });
    }
    if (wake) queued_.notify_one();
    batches_[handed_ % kBatches].used = 0;
}

void EntryStream::writerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return done_ < handed_ || stop_; });
        if (done_ == handed_) return;
        const std::uint64_t until = handed_;
        lock.unlock();
        for (std::uint64_t k = done_; k < until; ++k)
            write(batches_[k % kBatches]);
        lock.lock();
        done_ = until;
        freed_.notify_one();
    }
}

void EntryStream::drain() {
    Batch& last = batches_[handed_ % kBatches];
    if (last.used > 0) {
        if (writer_.joinable()) {
            handOver();
        } else {
            write(last);  // a short list, or no thread: written here
            last.used = 0;
        }
    }
    if (!writer_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    queued_.notify_one();
    writer_.join();
}

void EntryStream::write(const Batch& batch) {
    text_.clear();
    for (std::size_t i = 0; i < batch.used; ++i) {
        const DeletedFileEntry& entry = batch.entries[i];
        switch (format_) {
            case Format::Json:
                text_ += written_ == 0 ? "[\n" : ",\n";
                appendJsonEntry(text_, entry);
                break;
            case Format::Csv:
                if (written_ == 0) text_ += csvHeader();
                appendCsvLine(text_, entry);
                break;
            case Format::Bodyfile:
                appendBodyfileLine(text_, entry);
                break;
        }
        ++written_;
    }
    out_ << text_;
}

void EntryStream::finish() {
    drain();
    if (format_ == Format::Json) out_ << (count_ == 0 ? "[]\n" : "\n]\n");
    if (format_ == Format::Csv && count_ == 0) out_ << csvHeader();
    out_.flush();
}

}  // namespace rekkon::cli
