#include "cli/record_dump.h"

#include <sched.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "cli/dump_choice.h"
#include "cli/output.h"
#include "cli/value_text.h"
#include "provider/ado_types.h"

namespace lumbra {
namespace {

// The values a dump writes of each record: with deleted records, first
// whether the record is deleted; then the chosen columns, in their order.
struct TDumpedValues {
  std::vector<size_t> Chosen;
  bool Deleted = false;

  size_t Count() const { return Chosen.size() + (Deleted ? 1 : 0); }
  // Reads the current record's values into values, Count() of them.
  void Read(TProviderRecordset& rs, Variant* values) const {
    if (Deleted) *values++ = Variant::FromBoolean(rs.IsDeleted());
    for (const size_t c : Chosen)
      rs.GetValue(c, *values++);
  }
};

// The text of one record's line, from its values in the order they are read.
class TRecordFormat {
 public:
  TRecordFormat(const std::vector<TColumn>& columns, const std::vector<std::string>& names,
                const TDumpedValues& dumped, bool csv)
      : FCsv(csv), FFlush(WritePiece) {
    std::vector<std::string> titles;
    if (dumped.Deleted) {
      titles.push_back(kDeletedColumn);
      FTypes.push_back(adBoolean);
    }
    for (const size_t c : dumped.Chosen) {
      titles.push_back(names[c]);
      FTypes.push_back(columns[c].Type);
    }
    for (size_t v = 0; v < titles.size(); ++v) {
      // The JSON key and its colon are the same on every line, made once.
      std::string key = v == 0 ? "" : ",";
      AppendJsonString(key, titles[v]);
      key.push_back(':');
      FKeys.push_back(std::move(key));
    }
    if (csv) {
      for (size_t v = 0; v < titles.size(); ++v) {
        if (v != 0) FHeader.push_back(',');
        AppendCsvField(FHeader, Variant::FromString(titles[v]), adVarChar);
      }
      FHeader += "\r\n";
    }
  }

  size_t Columns() const { return FTypes.size(); }
  // The CSV header row; nothing for JSON lines.
  const std::string& Header() const { return FHeader; }

  // Appends the line of the record whose values start at values. A long
  // text is written a slice at a time, what out holds going out before it.
  void Append(std::string& out, const Variant* values) const {
    if (FCsv) {
      for (size_t c = 0; c < FTypes.size(); ++c) {
        if (c != 0) out.push_back(',');
        AppendCsvField(out, values[c], FTypes[c], FFlush);
      }
      out += "\r\n";
    } else {
      out.push_back('{');
      for (size_t c = 0; c < FTypes.size(); ++c) {
        out += FKeys[c];
        AppendJsonValue(out, values[c], FTypes[c], FFlush);
      }
      out += "}\n";
    }
  }

 private:
  bool FCsv;
  TFlush FFlush;
  std::vector<int> FTypes;
  std::vector<std::string> FKeys;
  std::string FHeader;
};

// Writes the records read before a read failure. The command then says why
// it stopped reading, and a failure to write them must not hide that.
void WriteBeforeReadError(const std::string& out) {
  try {
    WriteOut(out);
  } catch (const Exception&) {
  }
}

void DumpOnOneThread(TProviderRecordset& rs, const TDumpedValues& dumped,
                     const TRecordFormat& format) {
  std::string out = format.Header();
  std::vector<Variant> values(format.Columns());
  bool first = true;
  for (;;) {
    try {
      if (first) {
        rs.MoveFirst();
      } else {
        rs.MoveNext();
      }
      if (rs.Eof()) break;
      dumped.Read(rs, values.data());
    } catch (...) {
      WriteBeforeReadError(out);
      throw;
    }
    first = false;
    format.Append(out, values.data());
    if (out.size() > kOutputPiece) WritePiece(out);
  }
  WriteOut(out);
}

// A batch holds whole records, up to this many values...
constexpr size_t kBatchValues = 1024;
// ...and stops taking records once their texts add up to this many bytes.
constexpr size_t kBatchTextBytes = 256 << 10;
// Batches in flight: the reading thread fills some while the writing one
// writes the others...
constexpr size_t kBatches = 8;
// ...and no more of them once their texts add up to this many bytes, so that
// long memos wait to be read until those before them are written.
constexpr size_t kTextBytesInFlight = 1 << 20;
// A value's text buffer above this size is given back once its batch is
// written: each slot's buffer would otherwise keep the room of the longest
// text it ever held, and the batches' thousands of slots add up to megabytes.
constexpr size_t kKeptTextBytes = 1 << 10;

struct TBatch {
  std::vector<Variant> Values;  // record by record, each in column order
  size_t Records = 0;
  size_t TextBytes = 0;  // of the records' values
};

size_t TextBytesOf(const Variant& v) {
  switch (v.Type()) {
    case TVarType::varString:
    case TVarType::varUString:
    case TVarType::varBytes:
      return v.Text().size();
    default:
      return 0;
  }
}

// The batches passing between the reading thread and the writing one: empty
// ones to fill, filled ones to write, in the order they were filled. A thread
// that has to wait for the other one waits until half the batches are ready
// for it (or the other one waits too), so that the two take turns a few
// batches at a time rather than waking each other for every one.
class TBatchQueue {
 public:
  explicit TBatchQueue(std::vector<TBatch>& batches) {
    for (TBatch& b : batches)
      FEmpty.push_back(&b);
  }

  // An empty batch, or nullptr once writing has failed. While the batches
  // being written hold many texts' bytes, it waits for them to be written.
  TBatch* TakeEmpty() {
    std::unique_lock lock(FMutex);
    if (!CanFill() && !FWriteError) {
      FReaderWaiting = true;
      WakeWaiting();
      FReaderWakes.wait(lock, [&] { return ReaderMayGo(); });
      FReaderWaiting = false;
    }
    if (FWriteError) return nullptr;
    TBatch* batch = FEmpty.front();
    FEmpty.pop_front();
    return batch;
  }
  void PutFilled(TBatch* batch) {
    const std::lock_guard lock(FMutex);
    FFilled.push_back(batch);
    FTextBytesInFlight += batch->TextBytes;
    WakeWaiting();
  }
  // No batch will be filled after those put.
  void FinishReading() {
    const std::lock_guard lock(FMutex);
    FReadingDone = true;
    WakeWaiting();
  }

  // The next filled batch, or nullptr when reading is done and every batch
  // is written.
  TBatch* TakeFilled() {
    std::unique_lock lock(FMutex);
    if (FFilled.empty() && !FReadingDone) {
      FWriterWaiting = true;
      WakeWaiting();
      FWriterWakes.wait(lock, [&] { return WriterMayGo(); });
      FWriterWaiting = false;
    }
    if (FFilled.empty()) return nullptr;
    TBatch* batch = FFilled.front();
    FFilled.pop_front();
    return batch;
  }
  void PutEmpty(TBatch* batch) {
    const std::lock_guard lock(FMutex);
    FEmpty.push_back(batch);
    FTextBytesInFlight -= batch->TextBytes;
    WakeWaiting();
  }
  void FailWriting(std::exception_ptr error) {
    const std::lock_guard lock(FMutex);
    FWriteError = std::move(error);
    WakeWaiting();
  }
  // Once the writing thread has ended.
  std::exception_ptr WriteError() const { return FWriteError; }

 private:
  static constexpr size_t kHalf = kBatches / 2;

  // The predicates and the wakes hold FMutex.
  bool CanFill() const { return !FEmpty.empty() && FTextBytesInFlight < kTextBytesInFlight; }
  bool ReaderMayGo() const {
    return FWriteError || (CanFill() && (FEmpty.size() >= kHalf || FWriterWaiting));
  }
  bool WriterMayGo() const {
    return FReadingDone || FFilled.size() >= kHalf || (FReaderWaiting && !FFilled.empty());
  }
  // Wakes a waiting thread whose wait is over, after any change of what the
  // predicates read.
  void WakeWaiting() {
    if (FReaderWaiting && ReaderMayGo()) FReaderWakes.notify_one();
    if (FWriterWaiting && WriterMayGo()) FWriterWakes.notify_one();
  }

  std::mutex FMutex;
  std::condition_variable FReaderWakes;
  std::condition_variable FWriterWakes;
  std::deque<TBatch*> FEmpty;
  std::deque<TBatch*> FFilled;
  bool FReadingDone = false;
  bool FReaderWaiting = false;
  bool FWriterWaiting = false;
  size_t FTextBytesInFlight = 0;  // of the batches filled and not yet written
  std::exception_ptr FWriteError;
};

void WriteBatches(TBatchQueue& queue, const TRecordFormat& format) {
  try {
    std::string out = format.Header();
    const size_t columns = format.Columns();
    while (TBatch* batch = queue.TakeFilled()) {
      for (size_t r = 0; r < batch->Records; ++r) {
        format.Append(out, batch->Values.data() + r * columns);
        if (out.size() > kOutputPiece) WritePiece(out);
      }
      for (Variant& v : batch->Values) {
        if (v.Text().capacity() > kKeptTextBytes) v.ClearReleasingText();
      }
      queue.PutEmpty(batch);
    }
    WriteOut(out);
  } catch (...) {
    queue.FailWriting(std::current_exception());
  }
}

// Reads the records into batches for the writing thread. Returns when every
// record is read or writing has failed.
void ReadBatches(TProviderRecordset& rs, const TDumpedValues& dumped, TBatchQueue& queue) {
  const size_t columns = dumped.Count();
  const size_t perBatch = std::max<size_t>(1, kBatchValues / std::max<size_t>(1, columns));
  TBatch* batch = nullptr;
  try {
    rs.MoveFirst();
    while (!rs.Eof()) {
      batch = queue.TakeEmpty();
      if (batch == nullptr) return;
      batch->Records = 0;
      batch->TextBytes = 0;
      while (!rs.Eof() && batch->Records < perBatch && batch->TextBytes < kBatchTextBytes) {
        Variant* values = batch->Values.data() + batch->Records * columns;
        dumped.Read(rs, values);
        for (size_t c = 0; c < columns; ++c)
          batch->TextBytes += TextBytesOf(values[c]);
        ++batch->Records;
        rs.MoveNext();
      }
      queue.PutFilled(std::exchange(batch, nullptr));
    }
  } catch (...) {
    // The whole records read before the failure are written first.
    if (batch != nullptr) queue.PutFilled(batch);
    throw;
  }
}

int CoresToRunOn() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
}

// The threads runnable on the machine at this moment, this one included, by
// the kernel's count; 0 when it cannot be read.
int RunnableThreads() {
  std::ifstream stat("/proc/stat");
  std::string word;
  int count = 0;
  while (stat >> word) {
    if (word == "procs_running") return stat >> count ? count : 0;
  }
  return 0;
}

}  // namespace

int DefaultDumpThreads() {
  const int cores = CoresToRunOn();
  if (cores < 2) return 1;
  // The second thread pays only with a core to itself: when the other cores
  // are busy, the hand-overs between the threads cost more than it gains.
  // What runs now decides, not the load average: that follows the last
  // minute, and a run of commands one after the other (a script, a
  // benchmark) would keep it up by itself, each dump then taking one thread
  // because of the ones before it.
  const int runnable = RunnableThreads();
  return runnable >= 1 && runnable < cores ? 2 : 1;
}

void DumpRecords(TProviderRecordset& rs, const std::vector<std::string>& names,
                 const std::vector<size_t>& chosen, bool deleted, bool csv, int threads) {
  const TDumpedValues dumped{chosen, deleted};
  const TRecordFormat format(rs.Columns(), names, dumped, csv);
  if (threads < 2) {
    DumpOnOneThread(rs, dumped, format);
    return;
  }
  const size_t columns = format.Columns();
  const size_t perBatch = std::max<size_t>(1, kBatchValues / std::max<size_t>(1, columns));
  std::vector<TBatch> batches(kBatches);
  for (TBatch& b : batches)
    b.Values.resize(perBatch * columns);
  TBatchQueue queue(batches);
  std::thread writer;
  try {
    writer = std::thread(WriteBatches, std::ref(queue), std::cref(format));
  } catch (const std::system_error&) {
    // No second thread to be had: the same output from this one.
    DumpOnOneThread(rs, dumped, format);
    return;
  }
  try {
    ReadBatches(rs, dumped, queue);
  } catch (...) {
    queue.FinishReading();
    writer.join();
    throw;
  }
  queue.FinishReading();
  writer.join();
  if (queue.WriteError()) std::rethrow_exception(queue.WriteError());
}

}  // namespace lumbra
