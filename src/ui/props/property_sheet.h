#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <vector>

class QTabWidget;
class QPushButton;

namespace bc {

/// One page of a PropertySheet. A page is "opened" the first time it becomes
/// the active page of a showing of its sheet, so a page the user never looks at
/// keeps the values its owner put into its members, and OK hands them back
/// unchanged.
class PropertyPage : public QWidget {
  Q_OBJECT

 public:
  explicit PropertyPage(QWidget* parent = nullptr) : QWidget(parent) {}

 protected:
  /// First display in a showing: members into controls, initial enabling.
  virtual void OnOpen() {}
  /// Every time the page becomes active, right after OnOpen the first time.
  virtual void OnActivate() {}
  /// The page stops being active, or the sheet is confirmed while it is:
  /// controls into members.
  virtual void SaveControls() {}
  /// OK, after the active page saved its controls: every page, opened in this
  /// showing or not, puts the last touches to what OK takes.
  virtual void OnOk() {}

 private:
  friend class PropertySheet;
  bool opened_ = false;
};

/// A modal property sheet: pages on tabs, "OK" and "Cancel", no "Apply".
/// Shown again, it opens on the page that was active when it last closed (or
/// the one SetActivePage chose) and its pages open afresh from their members.
/// OK saves the active page's controls; the members of every page opened in the
/// showing then hold what the user left in them. Tab from the tab row enters
/// the page; Ctrl+Tab and Ctrl+PageDown (Ctrl+Shift+Tab, Ctrl+PageUp) turn the
/// pages from anywhere in the sheet, leaving the focus on the tab row. The
/// sheet opens on its tab row.
///
/// Object names: "sheetTabs", "okButton", "cancelButton".
class PropertySheet : public QDialog {
  Q_OBJECT

 public:
  explicit PropertySheet(const QString& title, QWidget* parent = nullptr);

  /// Appends a page with the tab text `title`; the sheet owns it.
  void AddPage(PropertyPage* page, const QString& title);

  /// Readies the pages for a showing: every page counts as not opened, and the
  /// start page is opened and activated. Call right before the dialog runs.
  /// Also gives the pages' buttons and labels Alt-letter mnemonics, and puts
  /// the pages' controls between the tab bar and OK in the Tab order.
  void Prepare();

  /// The page shown first by the next Prepare; while the sheet is showing, the
  /// page to switch to (the one it leaves saves its controls first).
  void SetActivePage(int index);
  [[nodiscard]] int ActiveIndex() const;
  [[nodiscard]] PropertyPage* Page(int index) const {
    return pages_.at(static_cast<size_t>(index));
  }
  [[nodiscard]] int PageCount() const { return static_cast<int>(pages_.size()); }

  /// OK: saves the active page, lets every page finish (OnOk), then closes
  /// with Accepted.
  void accept() override;
  /// Closing ends the showing: SetActivePage from now on only picks the page
  /// the next showing starts on.
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  /// Ctrl+Tab, Ctrl+PageDown (1) and their backward keys (-1): the next or
  /// previous page, round the end; the focus goes to the tab row.
  void TurnPage(int step);
  /// Focuses the current page's first control that takes Tab; false when none does.
  bool FocusFirstControl();
  void OnCurrentChanged(int index);
  void Activate(int index);
  void OrderFocus();

  QTabWidget* tabs_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  std::vector<PropertyPage*> pages_;
  int active_ = -1;  // the page activated last in this showing
  int startPage_ = 0;
  bool preparing_ = false;
};

}  // namespace bc
