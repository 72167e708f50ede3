#include "config/field_order.h"

#include "config/text_util.h"

namespace bc {

int LookupPosition(std::string_view key, std::string_view orderText) {
  const size_t start = orderText.find(key);
  if (key.empty() || start == std::string_view::npos) {
    return -1;
  }
  const size_t comma = orderText.find(',', start);
  std::string_view item =
      comma == std::string_view::npos ? std::string_view() : orderText.substr(start, comma - start);
  while (!item.empty() && key.find(item.front()) != std::string_view::npos) {
    item.remove_prefix(1);
  }
  while (!item.empty() && item.front() == '=') {
    item.remove_prefix(1);
  }
  return ParseInt(item);
}

std::string BuildOrderText(FieldSet set, const std::array<int, kFieldCount>& positions) {
  std::string text;
  for (int i = 0; i < FieldCount(set); ++i) {
    text += kFields[static_cast<size_t>(i)].key;
    text += '=';
    text += std::to_string(positions[static_cast<size_t>(i)]);
    text += ',';
  }
  return text;
}

std::array<int, kFieldCount> ReadPositions(FieldSet set, std::string_view orderText) {
  std::array<int, kFieldCount> positions;
  positions.fill(-1);
  for (int i = 0; i < FieldCount(set); ++i) {
    positions[static_cast<size_t>(i)] =
        LookupPosition(kFields[static_cast<size_t>(i)].key, orderText);
  }
  return positions;
}

int FieldFlag(const AppOptions& o, FieldSet set, Field field) {
  int AppOptions::*const member = FlagMember(set, field);
  return member ? o.*member : 0;
}

std::vector<Field> OrderedFields(FieldSet set, std::string_view orderText,
                                 const std::array<int, kFieldCount>& flags) {
  const auto positions = ReadPositions(set, orderText);
  std::vector<Field> fields;
  for (int p = 0; p < FieldCount(set); ++p) {
    for (int i = 0; i < FieldCount(set); ++i) {
      const auto index = static_cast<size_t>(i);
      if (flags[index] == 1 && positions[index] == p) {
        fields.push_back(kFields[index].field);
      }
    }
  }
  return fields;
}

std::vector<Field> OrderedFields(const AppOptions& options, FieldSet set) {
  std::array<int, kFieldCount> flags{};
  for (int i = 0; i < FieldCount(set); ++i) {
    flags[static_cast<size_t>(i)] = FieldFlag(options, set, kFields[static_cast<size_t>(i)].field);
  }
  return OrderedFields(set, set == FieldSet::Columns ? options.ColumnOrder : options.SpeakOrder,
                       flags);
}

}  // namespace bc
