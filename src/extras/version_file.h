#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bc_version.h"

namespace bc {

/// Only this many bytes of the version file are ever read.
inline constexpr std::size_t kVersionFileReadLimit = 1023;

/// What the version file announces. Text from the server: untrusted, and each
/// value is cut to its bound (version 279, date 19, download 1023 bytes).
struct VersionInfo {
  std::string version;
  std::string date;
  std::string download;  // kept for the dialog; never opened

  bool operator==(const VersionInfo&) const = default;
};

/// Reads "Version=", "Date=" and "Download=" out of the first
/// kVersionFileReadLimit bytes of `text`: for each key its first occurrence
/// (exact, case-sensitive) anywhere, then the run of non-white-space characters
/// after it, leading blanks skipped. Nothing when any of the three keys is
/// missing: such a file cannot be trusted to describe a release.
[[nodiscard]] std::optional<VersionInfo> ParseVersionFile(std::string_view text);

/// What one check shows the user.
enum class UpdateNotice {
  None,           // same version on an automatic check, or a network error
  NewRelease,     // the "New Brindlecast Release" dialog
  AlreadyLatest,  // "You already have the latest version of Brindlecast!"
  NotAvailable,   // "The update information is not available now, Please try it later!"
};

inline constexpr const char* kAlreadyLatestText =
    "You already have the latest version of Brindlecast!";
inline constexpr const char* kNotAvailableText =
    "The update information is not available now, Please try it later!";

/// The outcome of fetching the version file: either a network failure (name
/// resolution, connection, TLS, time limit; `error` says which, for the
/// console only) or an HTTP status with, for 200, at most
/// kVersionFileReadLimit bytes of the body.
struct VersionFetch {
  bool networkError = false;
  std::string error;
  int status = 0;
  std::string body;
};

struct UpdateDecision {
  UpdateNotice notice = UpdateNotice::None;
  VersionInfo release;  // for NewRelease
};

/// The rules of one check. A network error shows NotAvailable when the user
/// asked and nothing otherwise; a status other than 200 shows NotAvailable, also on an automatic
/// check; a file without the three keys shows NotAvailable when the user asked
/// and nothing otherwise; any version other than kProgramVersion (older ones
/// too) offers the release; the same version says so only when the user asked.
[[nodiscard]] UpdateDecision DecideUpdate(const VersionFetch& fetch, bool manual);

}  // namespace bc
