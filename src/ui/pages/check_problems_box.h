#pragma once

#include <QFrame>
#include <QList>
#include <QString>
#include <vector>

#include "watch/check_problem.h"

class QLabel;
class QPushButton;
class QGridLayout;

namespace bc {

/// The lines under the email list that say why accounts could not be checked,
/// each with "Edit Account..." beside it, which asks for that account's pages.
///
/// A user who cannot see it hears it: to assistive technologies the box is an
/// alert ("Mail check problems") that shows again whenever its problems change,
/// so a screen reader speaks them as they appear; each line is a read-only
/// label in the Tab order. The same problems again stay quiet.
///
/// Object names: "checkProblems", "checkProblemLine", "editAccountButton".
class CheckProblemsBox : public QFrame {
  Q_OBJECT

 public:
  explicit CheckProblemsBox(QWidget* parent = nullptr);

  /// Shows `problems` (server text: plain, on one line, cut), hidden when none.
  void SetProblems(const std::vector<CheckProblem>& problems);

  /// The lines shown, one per problem, joined by line breaks.
  [[nodiscard]] QString text() const;
  [[nodiscard]] QList<QLabel*> lines() const { return lines_; }
  [[nodiscard]] QList<QPushButton*> editButtons() const { return buttons_; }

  static constexpr int kMaxLineChars = 300;

 Q_SIGNALS:
  void EditAccountRequested(int accountIndex);

 private:
  QGridLayout* layout_;
  QList<QLabel*> lines_;
  QList<QPushButton*> buttons_;
};

}  // namespace bc
