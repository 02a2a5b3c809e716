#include "analysis/distinct_report.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/distinct_texts.h"
#include "analysis/string_list.h"
#include "base/progress.h"

namespace lumbra {

namespace {

// Records read before their texts are handed to the counting thread, unless
// their texts pass the byte bound first (long memos).
constexpr size_t kBatchRecords = 4096;
constexpr size_t kBatchBytes = 16 << 20;
// How often the walking thread, waiting for the others, says how far it is.
constexpr std::chrono::milliseconds kReportWhileWaiting{20};

// Waits on lock until ready() holds, saying how far the walk is with report
// every so often meanwhile, with lock released. Throws what report throws.
template <class Ready, class Report>
void WaitReporting(std::condition_variable& signal, std::unique_lock<std::mutex>& lock, Ready ready,
                   const Report& report) {
  while (!signal.wait_for(lock, kReportWhileWaiting, ready)) {
    lock.unlock();
    report();
    lock.lock();
  }
}

// Appends the text counted for field's value at the current record to out.
// Throws what reading the value as a variant and the Null test throw.
void AppendText(const TField& field, std::string& out) {
  if (field.VariantEqualsNull()) {
    out += "NULL";
    return;
  }
  try {
    field.AppendString(out);
  } catch (const Exception& e) {
    // A value that has no text is counted under its error's class.
    out += e.ClassName();
  }
}

// The lines of one field's part of the report.
std::vector<std::string> FieldLines(const TField& field, uint32_t records,
                                    TDistinctTexts& distinct) {
  std::vector<std::string> lines;
  lines.push_back("Analizez: " + field.FieldName());
  lines.push_back(std::string(36, '-'));
  lines.push_back("  Total linii = " + std::to_string(static_cast<int32_t>(records)));
  lines.push_back("  Linii distincte = " + std::to_string(distinct.Count()));
  for (const TDistinctTexts::TRepeated& entry : distinct.Repeated())
    lines.push_back("  [" + std::string(entry.Text) + "] = " + std::to_string(entry.Count));
  return lines;
}

void AddLines(std::vector<std::string>& lines, TStringList& report) {
  size_t added = 0;
  for (std::string& line : lines) {
    // A large report has a million lines: the walk is done, which is what
    // is said, and the window repaints meanwhile.
    if (++added % kBatchRecords == 0) ReportProgress(1, 1);
    report.Add(std::move(line));
  }
}

// The report made by walking at once per field. A value that cannot be read
// stops it at that field and record, with at left there.
void AnalyzeFieldByField(TADOTable& at, TStringList& report) {
  // One counter for every field: the memory a large field pages in serves
  // the next ones.
  TDistinctTexts distinct(TCollation::ForUser());
  std::string text;
  for (const auto& field : at.Fields()) {
    distinct.Clear();
    // 32 bits, wrapping as the counter always has.
    uint32_t records = 0;
    for (at.First(); !at.Eof(); at.Next()) {
      // How far is not known: the records are not counted before, where
      // counting may fail.
      if (++records % kBatchRecords == 0) ReportProgress(0, 0);
      text.clear();
      AppendText(*field, text);
      distinct.Add(text);
    }
    std::vector<std::string> lines = FieldLines(*field, records, distinct);
    AddLines(lines, report);
  }
}

// The texts of a run of records, column by column.
struct TBatch {
  struct TColumn {
    std::string Bytes;
    std::vector<size_t> Ends;
  };
  std::vector<TColumn> Columns;
  size_t Records = 0;
  size_t Bytes = 0;
};

// Counts batches of texts on two threads of its own, in the order they are
// handed over, while the walk reads the next batch. A batch is counted column
// by column, the two threads taking the columns in turn; a column's texts are
// still counted in record order, as each batch is done before the next
// begins. The walking thread does no counting: one column can take long (its
// index growing), and the walking thread must be free to say how far it is
// while it waits.
//
// Invariants, each holding whenever FMutex is free:
// - At most one batch is in flight: FBusy is true exactly while FWork holds a
//   batch not yet wholly counted, and Submit and Finish wait for it to clear,
//   so the walking thread never touches FWork while the counting threads do.
// - FColumnsDone <= FNextColumn <= FWork.Columns.size(): each column is taken
//   once, by one thread (FNextColumn++ under the lock), counted outside the
//   lock and marked done once; the thread whose mark completes the batch
//   clears FBusy and wakes the waiters.
// - FCounters[c] is touched only by the thread that took column c, and one
//   batch is done before the next begins, so each counter gets its column's
//   texts in record order.
// - FError is the first failure; after it, columns are still taken and marked
//   done without being counted, so that the batch ends and Finish rethrows it.
// - FStop is set only by the destructor; the threads leave at their next wait.
class TBatchCounter {
 public:
  // While waiting for the counting, the walking thread says how far the walk
  // is with report.
  TBatchCounter(std::vector<std::unique_ptr<TDistinctTexts>>& counters,
                std::function<void()> report)
      : FCounters(counters),
        FReport(std::move(report)),
        FThreads{std::thread([this] { Run(); }), std::thread([this] { Run(); })} {}
  ~TBatchCounter() {
    {
      const std::lock_guard<std::mutex> lock(FMutex);
      FStop = true;
    }
    FWake.notify_all();
    for (std::thread& thread : FThreads)
      thread.join();
  }
  TBatchCounter(const TBatchCounter&) = delete;
  TBatchCounter& operator=(const TBatchCounter&) = delete;

  // Takes filled for counting, and gives back an emptied batch in its place.
  void Submit(TBatch& filled) {
    std::unique_lock<std::mutex> lock(FMutex);
    WaitReporting(
        FIdle, lock, [this] { return !FBusy; }, FReport);
    std::swap(filled, FWork);
    // The first batch given back is the one the counter started with.
    filled.Columns.resize(FWork.Columns.size());
    for (TBatch::TColumn& column : filled.Columns) {
      column.Bytes.clear();
      column.Ends.clear();
    }
    filled.Records = 0;
    filled.Bytes = 0;
    FNextColumn = 0;
    FColumnsDone = 0;
    FBusy = !FWork.Columns.empty();
    FWake.notify_all();
  }
  // Waits until every batch handed over is counted; throws what counting threw.
  void Finish() {
    std::unique_lock<std::mutex> lock(FMutex);
    WaitReporting(
        FIdle, lock, [this] { return !FBusy; }, FReport);
    if (FError) std::rethrow_exception(FError);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(FMutex);
    for (;;) {
      FWake.wait(lock, [this] { return FStop || (FBusy && FNextColumn < FWork.Columns.size()); });
      if (FStop) return;
      CountColumnsLeft(lock);
    }
  }
  // Counts columns of the batch in flight until none is left to take; lock
  // is held between columns. The one that finishes the batch says so.
  void CountColumnsLeft(std::unique_lock<std::mutex>& lock) {
    while (FBusy && FNextColumn < FWork.Columns.size()) {
      const size_t c = FNextColumn++;
      const bool failed = FError != nullptr;
      lock.unlock();
      std::exception_ptr error;
      try {
        // After a failure the rest is only marked done.
        if (!failed) Count(c);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      if (error && !FError) FError = error;
      if (++FColumnsDone == FWork.Columns.size()) {
        FBusy = false;
        FIdle.notify_all();
      }
    }
  }
  // Column c of FWork, which no other thread touches while c is taken.
  void Count(size_t c) {
    const TBatch::TColumn& column = FWork.Columns[c];
    const std::string_view bytes = column.Bytes;
    size_t begin = 0;
    for (const size_t end : column.Ends) {
      FCounters[c]->Add(bytes.substr(begin, end - begin));
      begin = end;
    }
  }

  std::vector<std::unique_ptr<TDistinctTexts>>& FCounters;
  std::function<void()> FReport;
  std::mutex FMutex;
  std::condition_variable FWake;
  std::condition_variable FIdle;
  TBatch FWork;
  size_t FNextColumn = 0;  // the next column of FWork to count
  size_t FColumnsDone = 0;
  bool FBusy = false;  // FWork is being counted
  bool FStop = false;
  std::exception_ptr FError;
  std::thread FThreads[2];  // last: they start once everything above is made
};

// The report made in one walk over the records for every field at once,
// reading on this thread and counting on another. False when a value could
// not be read: the walk by field then tells which error comes first.
bool AnalyzeInOneWalk(TADOTable& at, TStringList& report) {
  const TFields& fields = at.Fields();
  std::vector<std::unique_ptr<TDistinctTexts>> counters;
  for (size_t f = 0; f < fields.size(); ++f)
    counters.push_back(std::make_unique<TDistinctTexts>(TCollation::ForUser()));
  TBatch batch;
  batch.Columns.resize(fields.size());
  uint32_t records = 0;
  uint64_t total = 0;
  const auto sayHowFar = [&records, &total] { ReportProgress(records, total); };
  {
    TBatchCounter counter(counters, sayHowFar);
    try {
      // Counting first costs nothing: the walk would count them on its way.
      total = static_cast<uint64_t>(at.RecordCount());
      for (at.First(); !at.Eof(); at.Next()) {
        ++records;
        for (size_t f = 0; f < fields.size(); ++f) {
          TBatch::TColumn& column = batch.Columns[f];
          const size_t before = column.Bytes.size();
          AppendText(*fields[f], column.Bytes);
          column.Ends.push_back(column.Bytes.size());
          batch.Bytes += column.Bytes.size() - before;
        }
        if (++batch.Records == kBatchRecords || batch.Bytes >= kBatchBytes) {
          counter.Submit(batch);
          sayHowFar();
        }
      }
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const EAbort&) {
      // Stopped by the user: no walk by field after it.
      throw;
    } catch (...) {
      return false;
    }
    counter.Submit(batch);
    counter.Finish();
  }
  // Sorting each field's repeated texts takes a while on large columns: the
  // fields are shared between two threads, the lines then added in field
  // order. This thread waits, saying meanwhile that the walk is done.
  std::vector<std::vector<std::string>> lines(fields.size());
  std::atomic<size_t> next = 0;
  std::mutex helpersMutex;
  std::condition_variable helpersDone;
  int helpersRunning = 2;
  std::exception_ptr helperError;
  const auto makeLines = [&] {
    std::exception_ptr error;
    try {
      for (size_t f = next++; f < fields.size(); f = next++) {
        lines[f] = FieldLines(*fields[f], records, *counters[f]);
        // The field's lines hold what is left to say of its texts.
        counters[f].reset();
      }
    } catch (...) {
      error = std::current_exception();
      next = fields.size();
    }
    const std::lock_guard<std::mutex> lock(helpersMutex);
    if (error && !helperError) helperError = error;
    --helpersRunning;
    helpersDone.notify_one();
  };
  std::thread first(makeLines), second(makeLines);
  try {
    std::unique_lock<std::mutex> lock(helpersMutex);
    WaitReporting(
        helpersDone, lock, [&] { return helpersRunning == 0; }, sayHowFar);
  } catch (...) {
    next = fields.size();
    first.join();
    second.join();
    throw;
  }
  first.join();
  second.join();
  if (helperError) std::rethrow_exception(helperError);
  for (std::vector<std::string>& field : lines)
    AddLines(field, report);
  return true;
}

}  // namespace

void AnalyzeDistinctPerColumn(TADOTable& at, TDataSource& dataSource1,
                              const TShowInfoBox& showInfoBox, ILineSink& memo) {
  if (!at.Active()) {
    showInfoBox("Va rog deschideti un DBF");
    return;
  }
  try {
    // The grid must not follow the walk.
    dataSource1.SetEnabled(false);
    TStringList report;
    // A table without fields is not walked at all.
    if (!at.Fields().empty() && !AnalyzeInOneWalk(at, report)) AnalyzeFieldByField(at, report);
    memo.Assign(report);
  } catch (...) {
    dataSource1.SetEnabled(true);
    throw;
  }
  dataSource1.SetEnabled(true);
}

}  // namespace lumbra
