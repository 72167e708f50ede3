#pragma once

#include <QDialog>
#include <QUrl>

#include "extras/version_file.h"

class QLabel;
class QPushButton;

namespace bc {

/// "New Brindlecast Release": the version and release date the version file
/// announced, "Download Now" (opens the upgrade page in the browser and
/// closes) and "Download Later". The file's Download value is kept but never
/// opened: the page comes from the program's own site. The values are server
/// text: shown as plain text and elided when very long.
class CNewReleaseDlg final : public QDialog {
  Q_OBJECT
 public:
  CNewReleaseDlg(const VersionInfo& release, const QUrl& upgradePage, QWidget* parent = nullptr);

  [[nodiscard]] const VersionInfo& release() const { return release_; }

 private:
  void DownloadNow();

  VersionInfo release_;
  QUrl upgradePage_;
};

}  // namespace bc
