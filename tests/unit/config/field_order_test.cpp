#include "config/field_order.h"

#include <gtest/gtest.h>

namespace bc {
namespace {

TEST(LookupPositionTest, Rows) {
  struct Row {
    const char* name;
    const char* key;
    const char* text;
    int expected;
  };
  const Row rows[] = {
      {"first item", "received", kDefaultColumnOrder, 0},
      {"later item", "address", kDefaultColumnOrder, 6},
      {"key of the other set", "content", kDefaultColumnOrder, -1},
      {"last item without comma reads 0", "from", "from=1", 0},
      {"empty text", "from", "", -1},
      {"other key order", "size", "size=5,from=0,", 5},
      {"blank before the number", "from", "from= 4,", 4},
      {"no number", "from", "from=,", 0},
      {"negative", "from", "from=-2,", -2},
      // Characters of the key are stripped from the item's start, then "=":
      // "fromm=3" strips "fromm" and reads 3.
      {"key letters repeated", "from", "fromm=3,", 3},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(LookupPosition(row.key, row.text), row.expected) << row.name;
  }
}

TEST(BuildOrderTextTest, ReproducesBothDefaultsExactly) {
  EXPECT_EQ(
      BuildOrderText(FieldSet::Columns, ReadPositions(FieldSet::Columns, kDefaultColumnOrder)),
      kDefaultColumnOrder);
  EXPECT_EQ(BuildOrderText(FieldSet::Speech, ReadPositions(FieldSet::Speech, kDefaultSpeakOrder)),
            kDefaultSpeakOrder);
}

TEST(BuildOrderTextTest, WritesAnyKeyOrderBackInCanonicalOrder) {
  const char* shuffled = "attachment=5,size=3,received=0,from=1,account=4,address=6,subject=2,";
  EXPECT_EQ(ReadPositions(FieldSet::Columns, shuffled),
            ReadPositions(FieldSet::Columns, kDefaultColumnOrder));
  EXPECT_EQ(BuildOrderText(FieldSet::Columns, ReadPositions(FieldSet::Columns, shuffled)),
            kDefaultColumnOrder);
}

std::array<int, kFieldCount> AllOn() {
  std::array<int, kFieldCount> flags;
  flags.fill(1);
  return flags;
}

TEST(OrderedFieldsTest, DefaultsGiveTheDocumentedOrders) {
  using F = Field;
  EXPECT_EQ(OrderedFields(FieldSet::Columns, kDefaultColumnOrder, AllOn()),
            (std::vector<Field>{F::Received, F::From, F::Subject, F::Size, F::Account,
                                F::Attachment, F::Address}));
  EXPECT_EQ(OrderedFields(FieldSet::Speech, kDefaultSpeakOrder, AllOn()),
            (std::vector<Field>{F::From, F::Subject, F::Size, F::Received, F::Account,
                                F::Attachment, F::Content, F::Address}));
}

TEST(OrderedFieldsTest, FlagsPositionsOutOfRangeAndSharedPositions) {
  using F = Field;
  auto flags = AllOn();
  flags[static_cast<size_t>(F::Subject)] = 0;
  flags[static_cast<size_t>(F::Size)] = 2;  // only a flag of exactly 1 counts
  const char* text = "from=1,subject=0,address=1,received=7,size=0,account=0,attachment=-1,";
  // received=7 is outside the seven columns; attachment=-1 too; from and address share 1.
  EXPECT_EQ(OrderedFields(FieldSet::Columns, text, flags),
            (std::vector<Field>{F::Account, F::From, F::Address}));
}

TEST(OrderedFieldsTest, ReadsTheOptions) {
  AppOptions o;
  o.Received = 1;
  o.From = 1;
  o.SpeakContent = 1;
  o.SpeakSubject = 1;
  EXPECT_EQ(OrderedFields(o, FieldSet::Columns),
            (std::vector<Field>{Field::Received, Field::From}));
  EXPECT_EQ(OrderedFields(o, FieldSet::Speech),
            (std::vector<Field>{Field::Subject, Field::Content}));
}

}  // namespace
}  // namespace bc
