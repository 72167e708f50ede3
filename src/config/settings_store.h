#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/prompt.h"

class QSettings;

namespace bc {

/// The per-user settings file: single text values under one root, optionally
/// below a subkey path such as "UserAccounts\user1". A subkey maps to an INI
/// group ("UserAccounts/user1"), values of the root live in [General].
///
/// The file is created with mode 0600 (it holds passwords) and every commit
/// replaces it atomically (written beside it, then renamed), so a save cut short
/// at any point leaves either the old or the new file.
///
/// A hand-edited file is kept as the user wrote it: a run that only reads (or
/// only fills in values missing from an existing file) writes nothing, and a
/// value that is not UTF-8 reads as its bytes. Such a file is never rewritten,
/// since the rewrite could not keep those bytes: a save is refused, naming the
/// value, until the file is corrected by hand. Something other than a file at
/// `path` (a directory), or a file larger than any settings file can be, is
/// neither read nor changed; problem() says why.
///
/// Used from the user-interface thread only.
class SettingsStore {
 public:
  /// Opens the store kept in the INI file at `path`; the file and its folder are
  /// created on the first commit. Failures, and a path that cannot be a settings
  /// file, are shown through `prompt`.
  SettingsStore(std::string path, Prompt& prompt);
  /// Commits what is still pending.
  ~SettingsStore();

  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  /// Returns the text of a value, whole whatever its length. Never fails towards
  /// the caller: a missing value is created empty (its key with it) and reads as
  /// empty text, as does anything unreadable.
  [[nodiscard]] std::string ReadValue(std::string_view subkey, std::string_view name);

  /// Stores the text of a value (empty text stores an empty value). A value that
  /// cannot be stored is reported by the next Commit.
  void WriteValue(std::string_view subkey, std::string_view name, std::string_view text);

  /// Writes every pending change to the file. On failure returns false and, when
  /// a value was written since the last commit, names the first of them and the
  /// file: "The value "Passwd" in section [UserAccounts/user1] could not be saved
  /// to the settings file <path>." Values only created by reading stay quiet.
  bool Commit();

  /// Path of the backing file.
  [[nodiscard]] const std::string& path() const { return path_; }

  /// Why the file at path() cannot be used at all ("... is a directory"); empty
  /// when it can. While set, every value reads empty and nothing is written.
  [[nodiscard]] const std::string& problem() const { return problem_; }

  /// The largest settings file read: far beyond 20 accounts with full lists.
  static constexpr std::int64_t kMaxFileBytes = 4 << 20;

  /// How messages name a value: "\"Passwd\" in section [UserAccounts/user1]".
  [[nodiscard]] static std::string ValueLabel(std::string_view subkey, std::string_view name);

 private:
  void PrepareFile();
  void FindRawValues(std::string_view bytes);

  std::string path_;
  Prompt& prompt_;
  std::unique_ptr<QSettings> settings_;
  std::vector<std::string> written_;  // labels of values written since the last commit
  bool dirty_ = false;                // something (written or created) awaits a commit
  bool fileExisted_ = false;          // a file was there when the store opened
  std::string problem_;
  // Values of the file that are not UTF-8, by settings key, as their bytes.
  std::map<std::string, std::string, std::less<>> rawValues_;
  std::string firstRawLabel_;  // how messages name the first of them
  std::string refusedWrite_;   // label of the first write refused for them
};

}  // namespace bc
