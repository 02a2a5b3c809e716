#include "dbf/container.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "dbf/cursor.h"
#include "dbf/dbf_error.h"
#include "dbf/filter_expression.h"
#include "dbf/sort_order.h"
#include "tests/support/dbf_builder.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

using namespace test;

// A table of a database, its first field nullable so that _NullFlags follows.
TTableShape OrdersOfShop() {
  TTableShape spec;
  spec.Backlink = "..\\data\\Shop.DBC";
  spec.Fields = {{"ORDERNUMBE", 'C', 6, 0, kFlagNullable}, {"CUSTOMERNA", 'C', 8}};
  spec.Rows = {{Text("1"), Text("Ana")}, {Text("2"), Text("Dan")}, {Null(), Text("Ana")}};
  return spec;
}

TEST(ContainerTest, FieldsTakeTheLongNamesOfTheContainerBesideTheTable) {
  TTempFolder folder;
  const std::string path = WriteTable(folder.Path(), "Orders", OrdersOfShop()).string();
  WriteContainer(folder.Path(), "shop.dbc", "orders", {"ordernumber", "customername"});
  const auto table = TDbfTable::Open(path);
  EXPECT_EQ(table->FieldNames(),
            (std::vector<std::string>{"ordernumber", "customername", "_NullFlags"}));
  EXPECT_EQ(table->LongFieldNamesProblem(), "");

  // Filters and sorts name the columns by the names shown.
  TFilterExpression filter("customername = 'Ana'", *table);
  TDbfCursor cursor(*table);
  ApplyFilter(cursor, filter);
  EXPECT_EQ(cursor.Count(), 2u);
  EXPECT_EQ(ParseSortText("CustomerName DESC", *table).size(), 1u);
  EXPECT_THROW(TFilterExpression("CUSTOMERNA = 'Ana'", *table), EDbfError);
}

TEST(ContainerTest, HeaderNamesStandWhenTheContainerDoesNotFit) {
  struct TCase {
    const char* What;
    std::vector<std::string> Names;  // no container when empty
    const char* TableName;
    const char* Problem;
  };
  for (const TCase& c : {
           TCase{"missing", {}, "orders", "'..\\data\\Shop.DBC' is not beside it"},
           TCase{"another table", {"a", "b"}, "invoices", "lists no table 'Orders'"},
           TCase{"fewer fields",
                 {"ordernumber"},
                 "orders",
                 "lists 1 fields for 'Orders', its header 2"},
           TCase{"damaged", {"a", "b"}, "orders", "cannot be read"},
       }) {
    TTempFolder folder;
    const std::string path = WriteTable(folder.Path(), "Orders", OrdersOfShop()).string();
    if (!c.Names.empty()) {
      const auto container = WriteContainer(folder.Path(), "SHOP.dbc", c.TableName, c.Names);
      if (std::string(c.What) == "damaged") std::filesystem::resize_file(container, 40);
    }
    const auto table = TDbfTable::Open(path);
    EXPECT_EQ(table->FieldNames(),
              (std::vector<std::string>{"ORDERNUMBE", "CUSTOMERNA", "_NullFlags"}))
        << c.What;
    EXPECT_NE(table->LongFieldNamesProblem().find(c.Problem), std::string::npos)
        << c.What << ": " << table->LongFieldNamesProblem();
  }
}

}  // namespace
}  // namespace lumbra
