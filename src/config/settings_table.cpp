#include "config/settings_table.h"

#include "config/text_util.h"

namespace bc {

template <class Record>
void ReadField(const SettingField<Record>& field, const std::string& stored, Record& record) {
  const std::string text = stored.empty() && field.fallback ? std::string(field.fallback) : stored;
  std::visit(
      [&](auto member) {
        using Value = std::remove_reference_t<decltype(record.*member)>;
        if constexpr (std::is_same_v<Value, std::string>) {
          record.*member = text;
        } else if constexpr (std::is_same_v<Value, int>) {
          record.*member = ParseInt(text);
        } else if (field.form == StoredForm::ExactlyOne) {
          record.*member = text == "1";
        } else {
          record.*member = ParseInt(text) != 0;
        }
      },
      field.member);
}

template <class Record>
std::string StoredText(const SettingField<Record>& field, const Record& record) {
  if ((field.keptWhen && !(record.*field.keptWhen)) ||
      (field.keptElsewhereWhen && record.*field.keptElsewhereWhen)) {
    return {};
  }
  std::string text = std::visit(
      [&](auto member) -> std::string {
        using Value = std::remove_cvref_t<decltype(record.*member)>;
        if constexpr (std::is_same_v<Value, std::string>) {
          return record.*member;
        } else if constexpr (std::is_same_v<Value, int>) {
          return std::to_string(record.*member);
        } else {
          return FlagText(record.*member);
        }
      },
      field.member);
  if (text.empty() && field.form == StoredForm::FallbackAlways) {
    text = field.fallback;
  }
  return text;
}

template void ReadField(const SettingField<AppOptions>&, const std::string&, AppOptions&);
template void ReadField(const SettingField<MailAccount>&, const std::string&, MailAccount&);
template std::string StoredText(const SettingField<AppOptions>&, const AppOptions&);
template std::string StoredText(const SettingField<MailAccount>&, const MailAccount&);

}  // namespace bc
