#include "ui/FolderReader.h"

#include <chrono>
#include <filesystem>

#include "KvMediaFile/KvClipMedia.h"
#include "host/Failure.h"

CKvFolderReader::CKvFolderReader(std::function<void(SKvFolderDelivery)> deliver)
    : m_deliver(std::move(deliver)), m_thread([this] { Run(); }) {}

CKvFolderReader::~CKvFolderReader() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_one();
  m_thread.join();
}

void CKvFolderReader::Read(unsigned generation, CString folder, CString catalog, CString pattern) {
  {
    std::lock_guard lock(m_mutex);
    m_next = Request{generation, folder, catalog, pattern};
    m_latest = generation;
  }
  m_wake.notify_one();
}

void CKvFolderReader::CancelAll(unsigned generation) {
  std::lock_guard lock(m_mutex);
  m_next.reset();
  m_latest = generation;
}

void CKvFolderReader::Run() {
  for (;;) {
    Request request;
    {
      std::unique_lock lock(m_mutex);
      m_wake.wait(lock, [this] { return m_stop || m_next; });
      if (m_stop) return;
      request = *m_next;
      m_next.reset();
    }
    Fetch(request);
  }
}

void CKvFolderReader::Fetch(const Request& request) {
  using Clock = std::chrono::steady_clock;
  using Batch = SKvFolderDelivery::Batch;
  auto batch = std::make_shared<Batch>();
  Clock::time_point last = Clock::now();
  int done = 0, total = 0;
  const auto flush = [&](bool force) {
    if (!force && (batch->empty() ||
                   (batch->size() < 64 && Clock::now() - last < std::chrono::milliseconds(40))))
      return;
    m_deliver({request.generation, std::move(batch), done, total, false, false, {}});
    batch = std::make_shared<Batch>();
    last = Clock::now();
  };
  SKvFetchOptions options;
  options.onRecord = [&](const CKvClipMedia& record, EKvClipState state, const CString&) {
    if (state == EKvClipState::kUnreadable) return;
    batch->push_back(std::make_unique<CKvClipMedia>(record));
    flush(false);
  };
  options.onProgress = [&](int d, int t) {
    done = d, total = t;
    flush(false);
    return Current(request.generation);
  };
  // Never a message box from this thread: the reason goes to the window's status line.
  options.reportErrors = false;
  CKvObList found;
  SKvFetchReport report;
  // A folder that cannot be listed would otherwise look like an empty one.
  std::error_code unreadable;
  std::filesystem::directory_iterator(request.folder.ToUtf8(), unreadable);  // opened, closed
  const int ok = !unreadable && KvMediaFetchValidFileEx(&found, request.folder, request.catalog,
                                                        request.pattern, options, &report);
  m_deliver({request.generation, std::move(batch), done, total, true, ok != 0,
             Explain(ok != 0, report, unreadable)});
}

CString CKvFolderReader::Explain(bool ok, const SKvFetchReport& report,
                                 const std::error_code& folder) {
  if (folder) return L"cannot read this folder: " + CString::FromUtf8(folder.message());
  if (!ok) {
    const std::string& failure = KvLastFailure();
    return L"cannot read this folder" +
           (failure.empty() ? CString() : L": " + CString::FromUtf8(failure));
  }
  const int pictures = report.fromCatalog + report.readAgain + report.added;
  CString text;
  if (report.unreadable > 0)
    text.Format(L"%d of %d files are pictures; %d could not be read", pictures,
                pictures + report.unreadable, report.unreadable);
  else if (pictures == 0)
    text = L"no pictures here";
  const auto add = [&text](const wchar_t* what, const CString& why) {
    if (why.IsEmpty()) return;
    if (!text.IsEmpty()) text += L"; ";
    text += what + why;
  };
  if (!report.notStoredReason.IsEmpty())
    add(L"catalogue not kept: ", report.notStoredReason);
  else
    add(L"catalogue not used: ", report.catalogRefused);
  return text;
}
