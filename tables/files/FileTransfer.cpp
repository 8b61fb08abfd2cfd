#include "tables/files/FileTransfer.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

namespace qwb::files {

BOOL ClosePcHandle(HANDLE h) { return CloseHandle(h); }
BOOL CloseDeviceHandle(HANDLE h) { return CeCloseHandle(h); }

namespace {

// Writes batches of a download to the PC file on a thread of its own while the next batch is
// read from the device: the PC's disk and the phone link work at once instead of in turn. At
// most one batch is being written while the next fills; the writes keep their order. The
// thread starts with the second batch handed over, so a file of one batch is written on the
// caller's thread as before.
class BatchWriter {
 public:
  explicit BatchWriter(HANDLE pc) : pc_(pc) {}
  ~BatchWriter() { Finish(); }
  BatchWriter(const BatchWriter&) = delete;
  BatchWriter& operator=(const BatchWriter&) = delete;

  // Takes the first n bytes of `batch` for writing; `batch` comes back as an emptied buffer of
  // the same size. False when a write has failed (nothing more is written then).
  bool Put(std::vector<BYTE>* batch, size_t n) {
    if (n == 0) return Ok();
    std::unique_lock lock(mu_);
    if (!thread_.joinable()) {
      if (!first_) {
        // The first batch waits: a file that ends before the next one needs no thread.
        first_ = true;
        Take(batch, n);
        return !failed_;
      }
      thread_ = std::thread([this] { Run(); });
    }
    idle_.wait(lock, [&] { return !queued_ || failed_; });
    if (failed_) return false;
    Take(batch, n);
    work_.notify_one();
    return true;
  }

  // Waits until every batch handed over is in the PC file; false when a write failed, with
  // that write's error as this thread's last error (set by the first call only).
  bool Finish() {
    if (finished_) return !failed_;
    finished_ = true;
    {
      std::unique_lock lock(mu_);
      if (thread_.joinable()) {
        idle_.wait(lock, [&] { return (!queued_ && !writing_) || failed_; });
        stop_ = true;
        work_.notify_one();
      } else if (queued_) {
        // Only the first batch: written here.
        queued_ = false;
        Write(pending_, pendingSize_);
      }
    }
    if (thread_.joinable()) thread_.join();
    if (failed_) SetLastError(error_);
    return !failed_;
  }

 private:
  bool Ok() {
    std::lock_guard lock(mu_);
    return !failed_;
  }

  // Caller holds mu_ and nothing is queued.
  void Take(std::vector<BYTE>* batch, size_t n) {
    if (pending_.size() != batch->size()) pending_.resize(batch->size());
    std::swap(pending_, *batch);
    pendingSize_ = n;
    queued_ = true;
  }

  void Run() {
    std::vector<BYTE> buffer;
    std::unique_lock lock(mu_);
    for (;;) {
      work_.wait(lock, [&] { return queued_ || stop_; });
      if (!queued_) return;
      if (buffer.size() != pending_.size()) buffer.resize(pending_.size());
      std::swap(buffer, pending_);
      const size_t n = pendingSize_;
      queued_ = false;
      writing_ = true;
      idle_.notify_one();
      lock.unlock();
      DWORD error = 0;
      DWORD written = 0;
      const bool ok = WriteFile(pc_, buffer.data(), static_cast<DWORD>(n), &written, nullptr) &&
                      written == n;
      if (!ok) error = GetLastError();
      lock.lock();
      writing_ = false;
      if (!ok && !failed_) {
        failed_ = true;
        error_ = error;
      }
      idle_.notify_one();
      if (failed_) return;
    }
  }

  // Caller holds mu_ (the writer thread is not running).
  void Write(const std::vector<BYTE>& buffer, size_t n) {
    if (failed_) return;
    DWORD written = 0;
    if (!WriteFile(pc_, buffer.data(), static_cast<DWORD>(n), &written, nullptr) ||
        written != n) {
      failed_ = true;
      error_ = GetLastError();
    }
  }

  HANDLE pc_;
  std::mutex mu_;
  std::condition_variable work_, idle_;
  std::vector<BYTE> pending_;  // the batch handed over, while queued_
  size_t pendingSize_ = 0;
  bool first_ = false, queued_ = false, writing_ = false, stop_ = false, failed_ = false;
  bool finished_ = false;  // the caller's thread only
  DWORD error_ = 0;
  std::thread thread_;
};

}  // namespace

CopyEnd CopyDeviceToPc(HANDLE device, HANDLE pc, DWORD chunk,
                       const std::function<bool(DWORD bytes)>& afterBlock) {
  // Blocks gather in one buffer that is handed to the PC file's writer when the next block
  // might not fit: one PC write per many device reads, made while the next reads go on.
  constexpr size_t kBatch = 256 * 1024;
  std::vector<BYTE> buffer(std::max<size_t>(kBatch, chunk));
  size_t held = 0;
  BatchWriter writer(pc);
  auto flush = [&] {
    const size_t n = held;
    held = 0;
    return writer.Put(&buffer, n);
  };
  auto finish = [&] {
    const bool put = flush();
    return writer.Finish() && put;
  };
  for (;;) {
    if (buffer.size() - held < chunk && !flush()) {
      writer.Finish();
      return CopyEnd::kWriteFailed;
    }
    DWORD got = 0;
    if (!CeReadFile(device, buffer.data() + held, chunk, &got, nullptr)) {
      // What came before the failure is written all the same; the read's error stays the
      // thread's last error.
      const DWORD error = GetLastError();
      finish();
      SetLastError(error);
      return CopyEnd::kReadFailed;
    }
    held += got;
    if (got == 0 && !finish()) return CopyEnd::kWriteFailed;
    if (!afterBlock(got)) return finish() ? CopyEnd::kStopped : CopyEnd::kWriteFailed;
    if (got == 0) return CopyEnd::kDone;
  }
}

}  // namespace qwb::files
