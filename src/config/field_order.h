#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"

namespace bc {

/// The envelope fields in their canonical order: FieldOrder texts are written in
/// this order, and of two fields claiming one position the earlier wins.
enum class Field { From, Subject, Address, Received, Size, Account, Attachment, Content };

inline constexpr int kFieldCount = 8;

/// The columns of the email list are the first seven fields; speech uses all eight.
enum class FieldSet { Columns, Speech };

struct FieldInfo {
  Field field;
  const char* key;              // key in a FieldOrder text
  int AppOptions::*columnFlag;  // the column flag, nullptr for Content
  int AppOptions::*speechFlag;  // the speech flag
};

/// The canonical table, in canonical order.
inline constexpr std::array<FieldInfo, kFieldCount> kFields = {{
    {Field::From, "from", &AppOptions::From, &AppOptions::SpeakFrom},
    {Field::Subject, "subject", &AppOptions::Subject, &AppOptions::SpeakSubject},
    {Field::Address, "address", &AppOptions::Address, &AppOptions::SpeakAddress},
    {Field::Received, "received", &AppOptions::Received, &AppOptions::SpeakReceived},
    {Field::Size, "size", &AppOptions::size, &AppOptions::SpeakSize},
    {Field::Account, "account", &AppOptions::Account, &AppOptions::SpeakAccount},
    {Field::Attachment, "attachment", &AppOptions::Attachment, &AppOptions::SpeakAttachment},
    {Field::Content, "content", nullptr, &AppOptions::SpeakContent},
}};

/// Number of fields in a set: 7 columns, 8 spoken fields.
[[nodiscard]] constexpr int FieldCount(FieldSet set) {
  return set == FieldSet::Columns ? kFieldCount - 1 : kFieldCount;
}

[[nodiscard]] inline const FieldInfo& InfoOf(Field field) {
  return kFields[static_cast<size_t>(field)];
}

/// The position of `key` in a FieldOrder text, -1 when the key does not occur.
/// The key's item runs from the key's first occurrence to the next ","; the
/// key's own characters and then "=" are stripped from its start and the rest is
/// read as a decimal number (no digits gives 0, so a last item without its comma
/// reads as 0).
[[nodiscard]] int LookupPosition(std::string_view key, std::string_view orderText);

/// The FieldOrder text of a set: for each field of the set in canonical order,
/// key "=" position ",". `positions` is indexed by Field.
[[nodiscard]] std::string BuildOrderText(FieldSet set,
                                         const std::array<int, kFieldCount>& positions);

/// The positions of every field of the set read from a FieldOrder text (-1 for a
/// missing key), indexed by Field.
[[nodiscard]] std::array<int, kFieldCount> ReadPositions(FieldSet set, std::string_view orderText);

/// The member holding the column (Columns) or speech (Speech) flag of a field;
/// nullptr for Content's column.
[[nodiscard]] inline int AppOptions::*FlagMember(FieldSet set, Field field) {
  return set == FieldSet::Columns ? InfoOf(field).columnFlag : InfoOf(field).speechFlag;
}

/// The column (Columns) or speech (Speech) flag of a field in the options.
[[nodiscard]] int FieldFlag(const AppOptions& options, FieldSet set, Field field);

/// The fields to show or speak, in order: for each position p from 0 to the
/// set's size - 1, every field of the set in canonical order whose flag is 1 and
/// whose position is p. Fields at positions out of range are never used; two
/// fields at one position are both used.
[[nodiscard]] std::vector<Field> OrderedFields(FieldSet set, std::string_view orderText,
                                               const std::array<int, kFieldCount>& flags);

/// OrderedFields with the flags and order text of the options
/// (ColumnOrder and the column flags, or SpeakOrder and the speech flags).
[[nodiscard]] std::vector<Field> OrderedFields(const AppOptions& options, FieldSet set);

}  // namespace bc
