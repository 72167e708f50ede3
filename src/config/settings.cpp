#include "config/settings.h"

#include <algorithm>

#include "config/settings_store.h"
#include "config/settings_table.h"
#include "config/text_util.h"

namespace bc {
namespace {

// Reads every field of a record; an account's fields live under its own key.
template <class Record, size_t N>
void LoadRecord(SettingsStore& store, const std::array<SettingField<Record>, N>& fields,
                const std::string* ownKey, Record& record) {
  for (const SettingField<Record>& field : fields) {
    ReadField(field, store.ReadValue(ownKey ? *ownKey : field.group, field.name), record);
  }
}

template <class Record, size_t N>
void SaveRecord(SettingsStore& store, const std::array<SettingField<Record>, N>& fields,
                const std::string* ownKey, const Record& record) {
  for (const SettingField<Record>& field : fields) {
    store.WriteValue(ownKey ? *ownKey : field.group, field.name, StoredText(field, record));
  }
}

}  // namespace

std::string AccountKey(int index) {
  return std::string(kAccountsKey) + "\\user" + std::to_string(index + 1);
}

Settings LoadSettings(SettingsStore& store, bool commit) {
  Settings s;
  const int users = std::clamp(ParseInt(store.ReadValue(kAccountsKey, "Users")), 0, kMaxAccounts);
  LoadRecord(store, kOptionFields, nullptr, s.options);
  s.accounts.resize(static_cast<size_t>(users));
  for (int i = 0; i < users; ++i) {
    const std::string key = AccountKey(i);
    LoadRecord(store, kAccountFields, &key, s.accounts[static_cast<size_t>(i)]);
  }
  if (commit) {
    store.Commit();  // the values created empty reach the file now
  }
  return s;
}

bool SaveSettings(SettingsStore& store, const Settings& s) {
  const int users = std::min(static_cast<int>(s.accounts.size()), kMaxAccounts);
  store.WriteValue(kAccountsKey, "Users", std::to_string(users));
  SaveRecord(store, kOptionFields, nullptr, s.options);
  // Records past the count (left by removed accounts) are neither written nor deleted.
  for (int i = 0; i < users; ++i) {
    const std::string key = AccountKey(i);
    SaveRecord(store, kAccountFields, &key, s.accounts[static_cast<size_t>(i)]);
  }
  return store.Commit();
}

std::optional<long long> CheckPeriodSeconds(const AppOptions& options) {
  const std::optional<FreqUnit> unit = options.FreqUnit.value();
  if (!unit) {
    return std::nullopt;
  }
  return static_cast<long long>(ParseInt(options.Freq)) * SecondsPer(*unit);
}

}  // namespace bc
