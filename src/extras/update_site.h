#pragma once

#include <QList>
#include <QSslCertificate>
#include <QUrl>
#include <string>

namespace bc {

/// Environment variables read by UpdateSiteFromEnvironment.
inline constexpr const char* kUpdateUrlVariable = "BRINDLECAST_UPDATE_URL";
inline constexpr const char* kUpdateCaVariable = "BRINDLECAST_UPDATE_CA";

/// Where the update check asks, and whom it trusts besides the system's CA
/// store. Only https addresses: an update notice fetched in clear text can be
/// forged by anyone on the path.
struct UpdateSite {
  QUrl base;                                // ends with "/"
  QList<QSslCertificate> extraAuthorities;  // trusted in addition to the system store

  /// base + "version_BC.txt" (the object "/version_BC.txt" on the default site).
  [[nodiscard]] QUrl VersionFileUrl() const;
  /// base + "upgrade.html": what "Download Now" opens.
  [[nodiscard]] QUrl UpgradePageUrl() const;
};

/// The result of reading the environment: the site, and a warning for the
/// console when a variable was set but could not be used (the default site or
/// the system store alone is then used).
struct UpdateSiteSetting {
  UpdateSite site;
  std::string warning;
};

/// `productWebSite` (the program's own site), unless BRINDLECAST_UPDATE_URL names another https
/// base address (a mirror, or a test's own server); and, when BRINDLECAST_UPDATE_CA names a PEM
/// file, its certificates trusted as well as the system store's (a private mirror's CA, or a test's
/// throwaway one). Certificates and host names are verified either way.
[[nodiscard]] UpdateSiteSetting UpdateSiteFromEnvironment(const QUrl& productWebSite);

/// Parses a base address: https only, with a host; a missing trailing "/" is
/// added. Empty when unusable.
[[nodiscard]] QUrl ParseUpdateBase(const QString& text);

}  // namespace bc
