// Field definitions: one per mapped provider column, built at every open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fields/field_types.h"
#include "provider/provider.h"

namespace lumbra {

enum TFieldAttribute : uint8_t {
  faHiddenCol = 1 << 0,
  faReadonly = 1 << 1,
  faRequired = 1 << 2,
  faLink = 1 << 3,
  faUnNamed = 1 << 4,
  faFixed = 1 << 5,
};

// Throws EDatabaseError "Invalid field size" when the class does not accept size.
void CheckTypeSize(TFieldClass fieldClass, int32_t size);

class TFieldDef {
 public:
  std::string Name;
  int32_t FieldNo = 0;
  size_t Column = 0;  // the provider column the value comes from
  uint8_t Attributes = 0;

  TFieldType DataType() const { return FDataType; }
  int32_t Size() const { return FSize; }
  int32_t Precision() const { return FPrecision; }
  // Setting the type resets size and precision.
  void SetDataType(TFieldType type);
  // A size other than 0 is checked by the type's field class.
  void SetSize(int32_t size);
  void SetPrecision(int32_t precision) { FPrecision = precision; }

 private:
  TFieldType FDataType = ftUnknown;
  int32_t FSize = 0;
  int32_t FPrecision = 0;
};

class TFieldDefs {
 public:
  void Clear() { FItems.clear(); }
  size_t Count() const { return FItems.size(); }
  const TFieldDef& operator[](size_t index) const { return FItems[index]; }
  TFieldDef& Add() { return FItems.emplace_back(); }
  // Position of the definition named name ignoring letter case, or -1.
  int IndexOf(std::string_view name) const;

 private:
  std::vector<TFieldDef> FItems;
};

// Whether two names are equal ignoring letter case (every letter, not only ASCII).
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// Rebuilds defs from the provider's columns. nestedView is switched on (and
// stays on) when a chapter column comes before any field exists.
void BuildFieldDefs(const std::vector<TColumn>& columns, bool enableBCD, TFieldDefs& defs,
                    bool& nestedView);

}  // namespace lumbra
