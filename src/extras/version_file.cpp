#include "extras/version_file.h"

#include <array>

#include "extras/regex_matcher.h"

namespace bc {
namespace {

// The first value after `key`, read with a bounded format so a long value is
// cut, never overflowing.
std::optional<std::string> ValueOf(const std::string& text, const char* key, const char* format) {
  std::string value;
  std::optional<std::size_t> position;
  const std::array<ScanTarget, 1> outputs{&value};
  if (FindAndScan(text.c_str(), key, position, format, outputs) != 0) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<VersionInfo> ParseVersionFile(std::string_view text) {
  // The matcher reads NUL-terminated text: a NUL byte from the server ends it.
  std::string bounded(text.substr(0, kVersionFileReadLimit));
  bounded = bounded.c_str();
  auto version = ValueOf(bounded, "Version=", "Version=%279s\n");
  auto date = ValueOf(bounded, "Date=", "Date=%19s\n");
  auto download = ValueOf(bounded, "Download=", "Download=%1023s");
  if (!version || !date || !download) {
    return std::nullopt;
  }
  return VersionInfo{std::move(*version), std::move(*date), std::move(*download)};
}

UpdateDecision DecideUpdate(const VersionFetch& fetch, bool manual) {
  if (fetch.networkError) {
    // The user who asked is told; an automatic check stays quiet, as a network
    // without a route is no news.
    return {manual ? UpdateNotice::NotAvailable : UpdateNotice::None, {}};
  }
  if (fetch.status != 200) {
    return {UpdateNotice::NotAvailable, {}};
  }
  std::optional<VersionInfo> release = ParseVersionFile(fetch.body);
  if (!release) {
    return {manual ? UpdateNotice::NotAvailable : UpdateNotice::None, {}};
  }
  if (release->version != kProgramVersion) {
    return {UpdateNotice::NewRelease, std::move(*release)};
  }
  return {manual ? UpdateNotice::AlreadyLatest : UpdateNotice::None, {}};
}

}  // namespace bc
