// The long field names of a Visual FoxPro table that belongs to a database.
// Such a table's header keeps the first 10 characters of each name; the
// database container (.dbc, itself a Visual FoxPro table) keeps them whole.
// dbf/FORMAT.md describes what is read of the container.
#pragma once

#include <string>
#include <vector>

#include "dbf/header.h"
#include "dbf/table.h"

namespace lumbra {

struct TLongFieldNames {
  // One name a field that is not a system field, in field order; empty when
  // the header's names stand.
  std::vector<std::string> Names;
  // Why the header's names stand, for a table whose backlink names a
  // container; empty otherwise.
  std::string Problem;
};

// The names the container named by header's backlink keeps for the table at
// realPath (its real file, links followed). Never throws for what the
// container holds: an unreadable or unfitting container is a Problem.
TLongFieldNames ReadLongFieldNames(const std::string& realPath, const TDbfHeader& header,
                                   const TDbfOpenOptions& options);

}  // namespace lumbra
