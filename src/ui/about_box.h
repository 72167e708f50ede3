#pragma once

#include <QDialog>

#include "bc_version.h"

namespace bc {

class CLinkLabel;
class Prompt;

/// The product web site, shown and opened by the About box's link.
inline constexpr const char* kProductWebSite = "https://www.brindlecast.example/";

/// The line the About box paints beside the logo.
inline constexpr const char* kAboutVersionLine = kProgramVersionLine;
/// The platform line of the About box.
inline constexpr const char* kAboutPlatformLine = "Running on Linux";

/// The modal "About Brindlecast" dialog: the painted logo and version line, the
/// platform line, an etched rule, the web site link and an OK button. Children
/// carry object names for tests: "platformLine", "webLink", "separator",
/// "okButton".
class CAboutBoxDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutBoxDlg(QWidget* parent = nullptr);

  [[nodiscard]] CLinkLabel* webLink() const { return link_; }
  /// Where the link's failure to start a browser is told (a message box when none).
  void SetPrompt(Prompt* prompt) { prompt_ = prompt; }

  /// Where the logo (74 x 67) is painted and the version line stands.
  static constexpr QPoint kLogoPos{15, 15};
  static constexpr QPoint kVersionPos{110, 10};

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CLinkLabel* link_ = nullptr;
  Prompt* prompt_ = nullptr;
};

}  // namespace bc
