// The panel's folder reader: reads one folder's picture records at a time on a thread of its
// own, so that the window never waits for pictures or a catalogue. Knows nothing of Qt: the
// records and the reason go to a callback, which the panel turns into a call on its thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/String.h"

class CKvClipMedia;
struct SKvFetchReport;

// A batch of records of one listing (`generation`); the last one of a listing is `finished`.
struct SKvFolderDelivery {
  using Batch = std::vector<std::unique_ptr<CKvClipMedia>>;
  unsigned generation = 0;
  std::shared_ptr<Batch> batch;
  int done = 0, total = 0;
  bool finished = false, ok = false;
  CString reason;  // why the catalogue was not used or kept, or the folder not read
};

// A newer request cancels the one in progress; records go back in batches, soon after the
// first and then at most every 40 ms. The callback runs on the reader's thread.
class CKvFolderReader {
 public:
  explicit CKvFolderReader(std::function<void(SKvFolderDelivery)> deliver);
  ~CKvFolderReader();
  CKvFolderReader(const CKvFolderReader&) = delete;
  CKvFolderReader& operator=(const CKvFolderReader&) = delete;

  // Lists `folder`'s files of `pattern` with the catalogue `catalog`, as listing `generation`.
  void Read(unsigned generation, CString folder, CString catalog, CString pattern);
  // Drops a pending request and makes every listing before `generation` stale.
  void CancelAll(unsigned generation);

  // Why a listing holds what it holds, or nothing: the status line's text.
  static CString Explain(bool ok, const SKvFetchReport& report, const std::error_code& folder);

 private:
  struct Request {
    unsigned generation;
    CString folder, catalog, pattern;
  };

  void Run();
  bool Current(unsigned generation) const { return !m_stop && m_latest == generation; }
  void Fetch(const Request& request);

  std::function<void(SKvFolderDelivery)> m_deliver;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::optional<Request> m_next;
  std::atomic<unsigned> m_latest{0};
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};
