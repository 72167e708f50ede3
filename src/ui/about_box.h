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

/// The modal "About Brindlecast" dialog: the logo beside the version line, the
/// platform line and the web site link, an etched rule and an OK button, laid
/// out in the desktop's font and colours. Children carry object names for
/// tests: "logo", "versionLine", "platformLine", "webLink", "separator",
/// "okButton".
class CAboutBoxDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutBoxDlg(QWidget* parent = nullptr);

  [[nodiscard]] CLinkLabel* webLink() const { return link_; }
  /// Where the link's failure to start a browser is told (a message box when none).
  void SetPrompt(Prompt* prompt) { prompt_ = prompt; }

 private:
  CLinkLabel* link_ = nullptr;
  Prompt* prompt_ = nullptr;
};

}  // namespace bc
