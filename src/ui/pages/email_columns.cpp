#include "ui/pages/email_columns.h"

#include <array>
#include <charconv>

#include "config/settings_store.h"
#include "config/text_util.h"

namespace bc {
namespace {

// Indexed by Field; Content is never a column.
constexpr std::array<ColumnInfo, kFieldCount - 1> kColumns = {{
    {Field::From, "From", "fromWidth"},
    {Field::Subject, "Subject", "subjectWidth"},
    {Field::Address, "Address", "addressWidth"},
    {Field::Received, "Received", "receivedWidth"},
    {Field::Size, "Size", "sizeWidth"},
    {Field::Account, "Account", "accountWidth"},
    {Field::Attachment, "Attachment", "attachmentWidth"},
}};

}  // namespace

const ColumnInfo& ColumnInfoOf(Field field) {
  const auto index = static_cast<size_t>(field);
  return index < kColumns.size() ? kColumns[index] : kColumns[0];
}

std::vector<Field> ListColumns(const AppOptions& options) {
  if (!options.ShowEnvelopeInfo) {
    return {};
  }
  return OrderedFields(options, FieldSet::Columns);
}

int ReadColumnWidth(SettingsStore& store, Field field) {
  const int width = ParseInt(store.ReadValue("", ColumnInfoOf(field).widthValue));
  return width < 1 ? kDefaultColumnWidth : width;
}

long long ParseMessageId(const std::string& text) {
  long long id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  return error == std::errc() ? id : 0;
}

}  // namespace bc
