#include "dbf/container.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "base/exception.h"
#include "base/text.h"
#include "dbf/filter_values.h"
#include "dbf/table_files.h"

namespace lumbra {

namespace {

// The container's columns that say what each of its records describes.
struct TObjectColumns {
  size_t Id = 0, ParentId = 0, Type = 0, Name = 0;
};

std::optional<size_t> ColumnNamed(const TDbfTable& container, std::string_view name) {
  const std::vector<std::string>& names = container.FieldNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (EqualsIgnoringAsciiCase(names[i], name)) return i;
  }
  return std::nullopt;
}

struct TObject {
  int32_t Id = 0;
  int32_t ParentId = 0;
  std::string Type;
  std::string Name;
};

// The object a live record of the container describes; nothing when a value
// is Null or of another kind than the container's own.
std::optional<TObject> ObjectAt(TDbfTable& container, const uint8_t* record,
                                const TObjectColumns& columns) {
  Variant value;
  TObject object;
  container.DecodeField(record, columns.Id, value);
  if (value.Type() != TVarType::varInteger) return std::nullopt;
  object.Id = value.Integer();
  container.DecodeField(record, columns.ParentId, value);
  if (value.Type() != TVarType::varInteger) return std::nullopt;
  object.ParentId = value.Integer();
  container.DecodeField(record, columns.Type, value);
  if (value.Type() != TVarType::varString) return std::nullopt;
  object.Type = std::string(WithoutTrailingBlanks(value.Text()));
  container.DecodeField(record, columns.Name, value);
  if (value.Type() != TVarType::varString) return std::nullopt;
  object.Name = std::string(WithoutTrailingBlanks(value.Text()));
  return object;
}

TLongFieldNames Unused(std::string problem) {
  return TLongFieldNames{{}, std::move(problem)};
}

}  // namespace

TLongFieldNames ReadLongFieldNames(const std::string& realPath, const TDbfHeader& header,
                                   const TDbfOpenOptions& options) {
  if (header.Format != TDbfFormat::VisualFoxPro || header.Backlink.empty()) return {};
  const std::optional<std::string> path = FindContainerFile(realPath, header);
  if (!path) {
    return Unused("its database container '" + header.Backlink + "' is not beside it");
  }
  const std::string quoted = "its database container '" + *path + "'";
  const std::string tableName = BaseNameOf(realPath);
  // Visual FoxPro names a table whose file name has blanks with underscores
  // in their place ("expense details.dbf" is the table expense_details).
  std::string underscored = tableName;
  std::replace(underscored.begin(), underscored.end(), ' ', '_');
  size_t fieldCount = 0;
  for (const TDbfField& field : header.Fields)
    fieldCount += field.IsSystem() ? 0 : 1;
  try {
    TDbfOpenOptions own = options;
    own.LongFieldNames = false;
    const std::unique_ptr<TDbfTable> container = TDbfTable::Open(*path, own);
    TObjectColumns columns;
    for (auto [column, name] :
         {std::pair{&columns.Id, "OBJECTID"}, std::pair{&columns.ParentId, "PARENTID"},
          std::pair{&columns.Type, "OBJECTTYPE"}, std::pair{&columns.Name, "OBJECTNAME"}}) {
      const std::optional<size_t> found = ColumnNamed(*container, name);
      if (!found) return Unused(quoted + " has no " + name + " field");
      *column = *found;
    }
    std::vector<int32_t> tables;
    std::vector<TObject> fields;
    for (uint32_t i = 0; i < container->RecordCount(); ++i) {
      const uint8_t* record = container->RecordAt(i);
      if (TDbfTable::IsDeleted(record)) continue;
      std::optional<TObject> object = ObjectAt(*container, record, columns);
      if (!object) return Unused(quoted + " is damaged at record " + std::to_string(i + 1));
      if (EqualsIgnoringAsciiCase(object->Type, "Table") &&
          (EqualsIgnoringAsciiCase(object->Name, tableName) ||
           EqualsIgnoringAsciiCase(object->Name, underscored))) {
        tables.push_back(object->Id);
      } else if (EqualsIgnoringAsciiCase(object->Type, "Field")) {
        fields.push_back(std::move(*object));
      }
    }
    if (tables.size() != 1) {
      return Unused(quoted +
                    (tables.empty() ? " lists no table '" : " lists more than one table '") +
                    tableName + "'");
    }
    std::erase_if(fields, [&](const TObject& f) { return f.ParentId != tables.front(); });
    std::sort(fields.begin(), fields.end(),
              [](const TObject& a, const TObject& b) { return a.Id < b.Id; });
    if (fields.size() != fieldCount) {
      return Unused(quoted + " lists " + std::to_string(fields.size()) + " fields for '" +
                    tableName + "', its header " + std::to_string(fieldCount));
    }
    TLongFieldNames names;
    for (TObject& field : fields) {
      if (field.Name.empty()) return Unused(quoted + " lists a field without a name");
      names.Names.push_back(std::move(field.Name));
    }
    return names;
  } catch (const Exception& e) {
    return Unused(quoted + " cannot be read: " + e.Message());
  }
}

}  // namespace lumbra
