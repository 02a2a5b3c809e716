// DELETE FROM and PACK on disk (FORMAT.md, "Emptying"), on a table this
// process holds locked.
//
// Neither changes a file in place: each new file is written beside the one it
// replaces under a temporary name, flushed to the disk, checked, and only then
// renamed over the old one, with the folder flushed after every rename. So at
// every instant, a kill or a power cut included, the files on disk read as the
// table before the command or as the command left it, and a failure before
// the first rename leaves every original as it was (the temporaries are
// removed).
#pragma once

#include <array>
#include <cstdint>

#include "dbf/header.h"
#include "dbf/lock.h"
#include "dbf/pack_io.h"

namespace lumbra {

// The three date bytes (year, month, day) of a table's header for the given
// date, in the table's own year convention: year - 1900 when its stored year
// byte is 100 or more, year mod 100 when it is less; when no date is stored,
// year mod 100 for FoxPro and Visual FoxPro tables and year - 1900 for others.
std::array<uint8_t, 3> EncodeUpdateDate(const TDbfHeader& header, int year, int month, int day);

// Marks every live record of the locked table deleted and stamps the header
// with today's local date; record count, other record bytes, memo file and
// index stay as they are. Does nothing when no live record is left. The new
// table is written aside and renamed over the old one.
// Refuses with EDbfError "...; nothing was changed", before writing anything,
// a table that PackTable could not then pack empty (see there), and one whose
// files this process could not replace keeping their owner, group, mode, ACL
// entries and extended attributes, or for which the disk has no room (a copy
// of the table, the index and the memo header). Calls ReportProgress as it
// copies; an EAbort it throws stops DELETE before the rename, changing
// nothing. Throws EDbfError; the message says "nothing was changed" exactly
// when the table is as it was.
void DeleteAllRecords(TTableLock& lock, IPackIo& io);
void DeleteAllRecords(TTableLock& lock);

struct TPackResult {
  uint32_t Kept = 0;     // records in the packed table
  uint32_t Removed = 0;  // deleted records dropped
  bool MemoCompacted = false;
  bool IndexEmptied = false;
};

// Removes the locked table's deleted records. The new table keeps every
// header byte but the record count and the date of last update (today's local
// date), holds the live records in their order, and ends with the end-of-file
// marker: exactly header length + kept * record length + 1 bytes.
//
// When no live record remains, the memo file is cut down to its header with
// its next free block reset, and every tag of a structural .cdx is left
// without keys (names, expressions and options kept). The files are replaced
// in the order index, table, memo: an empty index beside a table whose
// records are all deleted hides nothing, and an empty table beside its old
// memo file is whole. When live records remain, the memo file is kept as it
// is, so the records' memo pointers stay valid.
//
// Refuses with EDbfError, before changing anything: a dBase II table, an
// encrypted one or one with an .smt memo; a table with a dBase .mdx
// production index; a .cdx that ReadCdx cannot read with certainty; a .cdx
// beside a table from which records would be removed while others remain (its
// keys would point at the wrong records, and rebuilding them is not done
// here); a memo file whose header is unusable; a file that has other hard
// links. Throws EDbfError on any failure to read or write; the message says
// how far the replacement got when it had begun, and, when every record was
// marked deleted before (by DELETE FROM), that they still are and that
// emptying again finishes the job.
TPackResult PackTable(TTableLock& lock, IPackIo& io);
TPackResult PackTable(TTableLock& lock);

}  // namespace lumbra
