#pragma once

#include <QLabel>
#include <QString>
#include <functional>
#include <string>

namespace bc {

/// The command that starts a browser for `address` from a browser command line
/// such as "$BROWSER": the line is cut at the first "%s" written inside
/// quotation marks (the cut falls on the opening mark), or else at the first
/// bare "%s", and a blank and the address are appended. A line without "%s" is
/// used whole. The address is untrusted text; the caller starts the result as a
/// program with arguments, never through a shell.
[[nodiscard]] std::string BrowserCommandLine(const std::string& commandLine,
                                             const std::string& address);

/// Opens a web address as a link does: the desktop's opener, else $BROWSER.
/// Returns false when no browser could be started.
bool OpenWebAddress(const QString& address);

/// What the user is told when no browser could be started for `address`.
[[nodiscard]] std::string NoBrowserMessage(const std::string& address);

/// A text that looks like a web link (pure blue, underlined) and opens its
/// address in the browser when clicked, or when it has the focus and Enter or
/// Space is pressed. When the desktop cannot open the address it tries the
/// browser named by $BROWSER; when that fails too it beeps. Tab reaches it, and
/// assistive technology sees a link (named by its text) with a press action.
class CLinkLabel : public QLabel {
  Q_OBJECT

 public:
  /// Opens an address; returns false when nothing could be started.
  using Opener = std::function<bool(const QString& address)>;

  explicit CLinkLabel(QWidget* parent = nullptr);

  /// Sets the shown text and the address. An empty address takes the text, an
  /// empty text shows the address. With adjust-to-fit on, the label then takes
  /// the size of its text (see ResizeToText).
  void SetLink(const QString& text, const QString& address);
  [[nodiscard]] QString address() const { return address_; }

  void SetAdjustToFit(bool adjust);

  /// Sizes the label to its text. The new rectangle is centred on the old one
  /// vertically when the alignment has AlignVCenter (else it keeps the old top)
  /// and horizontally when it has AlignHCenter, ends at the old right edge with
  /// AlignRight, and keeps the old left edge otherwise.
  void ResizeToText();

  /// Replaces the desktop opener and the $BROWSER fallback (tests).
  void SetOpeners(Opener desktop, Opener fallback);

  /// Opens the address as a click does. Returns whether it opened; on failure
  /// the label beeps and emits OpenFailed().
  bool OpenAddress();

 Q_SIGNALS:
  void OpenFailed();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void ApplyLook();

  bool adjustToFit_ = true;
  QString address_;
  Opener desktop_;
  Opener fallback_;
};

}  // namespace bc
