#include "extras/update_site.h"

#include <QFile>
#include <cstdlib>

namespace bc {

QUrl UpdateSite::VersionFileUrl() const {
  return base.resolved(QUrl(QStringLiteral("version_BC.txt")));
}

QUrl UpdateSite::UpgradePageUrl() const {
  return base.resolved(QUrl(QStringLiteral("upgrade.html")));
}

QUrl ParseUpdateBase(const QString& text) {
  QUrl url(text.trimmed(), QUrl::StrictMode);
  if (!url.isValid() || url.scheme() != QStringLiteral("https") || url.host().isEmpty() ||
      url.hasQuery() || url.hasFragment()) {
    return {};
  }
  if (!url.path().endsWith(QLatin1Char('/'))) {
    url.setPath(url.path() + QLatin1Char('/'));
  }
  return url;
}

UpdateSiteSetting UpdateSiteFromEnvironment(const QUrl& productWebSite) {
  UpdateSiteSetting setting;
  setting.site.base = productWebSite;
  if (const char* value = std::getenv(kUpdateUrlVariable); value && *value) {
    const QUrl base = ParseUpdateBase(QString::fromLocal8Bit(value));
    if (base.isEmpty()) {
      setting.warning = std::string(kUpdateUrlVariable) +
                        " is not an https:// address; the product web site is used.";
    } else {
      setting.site.base = base;
    }
  }
  if (const char* value = std::getenv(kUpdateCaVariable); value && *value) {
    setting.site.extraAuthorities =
        QSslCertificate::fromPath(QString::fromLocal8Bit(value), QSsl::Pem);
    if (setting.site.extraAuthorities.isEmpty()) {
      if (!setting.warning.empty()) {
        setting.warning += '\n';
      }
      setting.warning += std::string(kUpdateCaVariable) + ": no PEM certificate in '" + value +
                         "'; only the system's CA store is trusted.";
    }
  }
  return setting;
}

}  // namespace bc
