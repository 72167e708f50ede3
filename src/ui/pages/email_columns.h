#pragma once

#include <string>
#include <vector>

#include "config/field_order.h"
#include "config/settings.h"
#include "mail/envelope_store.h"

namespace bc {

class SettingsStore;

/// A column of the email list: its heading and the root value that remembers
/// its width in pixels.
struct ColumnInfo {
  Field field;
  const char* heading;
  const char* widthValue;
};

/// The width a column gets when none is stored, or the stored one is below 1.
inline constexpr int kDefaultColumnWidth = 100;

/// Heading and width value of a column field. Content has no column: asking
/// for it is a programming error and gives the From column's info.
[[nodiscard]] const ColumnInfo& ColumnInfoOf(Field field);

/// The columns the list shows, left to right: none when ShowEnvelopeInfo is
/// off, otherwise the fields whose column flag is 1 in ColumnOrder's order
/// (two fields at one position both show, in field order; positions outside 0
/// to 6 show nothing).
[[nodiscard]] std::vector<Field> ListColumns(const AppOptions& options);

/// A remembered width as stored under the root: a missing, non-numeric or
/// below-1 value reads as 100.
[[nodiscard]] int ReadColumnWidth(SettingsStore& store, Field field);

/// The item data of a row: the decimal messageId text as a number, 0 when the
/// text is not a number.
[[nodiscard]] long long ParseMessageId(const std::string& text);

}  // namespace bc
