#include "ui/pages/check_problems_box.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "config/text_util.h"

namespace bc {
namespace {

// A notification to screen readers: Orca speaks a notification the moment it
// shows, with its description; an alert it would pass over in silence.
class ProblemsAccessible final : public QAccessibleWidget {
 public:
  explicit ProblemsAccessible(CheckProblemsBox* box)
      : QAccessibleWidget(box, QAccessible::Notification), box_(box) {}

  [[nodiscard]] QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) {
      return QStringLiteral("Mail check problems");
    }
    if (t == QAccessible::Description) {
      return box_->text();
    }
    return QAccessibleWidget::text(t);
  }

 private:
  CheckProblemsBox* box_;
};

QAccessibleInterface* ProblemsAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("bc::CheckProblemsBox") && object && object->isWidgetType()) {
    return new ProblemsAccessible(static_cast<CheckProblemsBox*>(object));
  }
  return nullptr;
}

QString ShownLine(const std::string& text) {
  QString line = QString::fromStdString(ShownText(text)).simplified();
  if (line.size() > CheckProblemsBox::kMaxLineChars) {
    line = line.left(CheckProblemsBox::kMaxLineChars - 1) + QChar(0x2026);
  }
  return line;
}

}  // namespace

CheckProblemsBox::CheckProblemsBox(QWidget* parent) : QFrame(parent) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(ProblemsAccessibleFactory);
    return true;
  }();
  static_cast<void>(factoryInstalled);
  setObjectName(QStringLiteral("checkProblems"));
  layout_ = new QGridLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setColumnStretch(0, 1);
  hide();
}

QString CheckProblemsBox::text() const {
  QStringList shown;
  for (const QLabel* line : lines_) {
    shown << line->text();
  }
  return shown.join(QLatin1Char('\n'));
}

void CheckProblemsBox::SetProblems(const std::vector<CheckProblem>& problems) {
  QStringList shown;
  for (const CheckProblem& problem : problems) {
    shown << ShownLine(problem.text);
  }
  if (shown.join(QLatin1Char('\n')) == text() && !lines_.isEmpty()) {
    return;  // told already
  }
  // Hidden while it changes, so that showing it again is the alert.
  hide();
  for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    delete w;
  }
  lines_.clear();
  buttons_.clear();
  for (size_t i = 0; i < problems.size(); ++i) {
    auto* line = new QLabel(shown[static_cast<qsizetype>(i)], this);
    line->setObjectName(QStringLiteral("checkProblemLine"));
    line->setTextFormat(Qt::PlainText);
    line->setWordWrap(true);
    // Read-only and in the Tab order: the keyboard reaches and selects it.
    line->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    line->setFocusPolicy(Qt::StrongFocus);
    auto* edit = new QPushButton(QStringLiteral("Edit Account..."), this);
    edit->setObjectName(QStringLiteral("editAccountButton"));
    edit->setAccessibleDescription(line->text());
    const int account = problems[i].accountIndex;
    connect(edit, &QPushButton::clicked, this,
            [this, account] { Q_EMIT EditAccountRequested(account); });
    layout_->addWidget(line, static_cast<int>(i), 0);
    layout_->addWidget(edit, static_cast<int>(i), 1, Qt::AlignTop);
    lines_ << line;
    buttons_ << edit;
  }
  if (problems.empty()) {
    return;
  }
  show();
  QAccessibleEvent alert(this, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

}  // namespace bc
