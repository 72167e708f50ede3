#include "ui/props/property_sheet.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/props/mnemonics.h"
#include "ui/props/props_context.h"

namespace bc {
namespace {

// Qt 6.4's bridge offers a combo box's value to no screen reader (Orca hears
// "None"): the box gives no selection interface. Its description carries
// the value instead, and a change of it is spoken while the box has the focus.
void DescribeValue(QComboBox* combo) {
  if (combo->property("bcDescribesValue").toBool()) {
    return;
  }
  combo->setProperty("bcDescribesValue", true);
  combo->setAccessibleDescription(combo->currentText());
  QObject::connect(combo, &QComboBox::currentTextChanged, combo,
                   [combo](const QString& text) { combo->setAccessibleDescription(text); });
}

}  // namespace

DialogRunner ExecDialogRunner() {
  return [](QDialog& dialog) { return dialog.exec(); };
}

PropertySheet::PropertySheet(const QString& title, QWidget* parent) : QDialog(parent) {
  setWindowTitle(title);
  setModal(true);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("sheetTabs"));
  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setDefault(true);
  cancel_ = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  cancel_->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &PropertySheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PropertySheet::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
  connect(tabs_, &QTabWidget::currentChanged, this, &PropertySheet::OnCurrentChanged);

  // The keys that turn the pages, wherever the focus is in the sheet (a combo
  // box would otherwise keep them).
  const std::pair<QKeySequence, int> turns[] = {
      {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
      {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
      {QKeySequence(Qt::CTRL | Qt::Key_Backtab), -1},
      {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1},
  };
  for (const auto& [keys, step] : turns) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, this, [this, step = step] { TurnPage(step); });
  }
  tabs_->tabBar()->installEventFilter(this);
}

void PropertySheet::TurnPage(int step) {
  const int count = PageCount();
  if (count < 2) {
    return;
  }
  QWidget* focused = QApplication::focusWidget();
  if (focused != nullptr && tabs_->currentWidget()->isAncestorOf(focused)) {
    // Hiding the page would hand the focus to OK on the way, and a screen
    // reader would say so: it goes straight to the new page instead. Qt
    // reports even the cleared focus as a focus event; no reader needs it.
    const QAccessible::UpdateHandler previous =
        QAccessible::installUpdateHandler([](QAccessibleEvent*) {});
    focused->clearFocus();
    QAccessible::installUpdateHandler(previous);
  }
  tabs_->setCurrentIndex((tabs_->currentIndex() + step + count) % count);
  // On the tab row a screen reader says which page this is; Tab goes on into it.
  tabs_->tabBar()->setFocus(Qt::TabFocusReason);
}

bool PropertySheet::FocusFirstControl() {
  QWidget* page = tabs_->currentWidget();
  for (QWidget* w = page ? page->nextInFocusChain() : nullptr; w != nullptr && w != page;
       w = w->nextInFocusChain()) {
    if (!page->isAncestorOf(w)) {
      if (w == ok_ || w == cancel_ || w == this) {
        break;
      }
      continue;
    }
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled()) {
      w->setFocus(Qt::TabFocusReason);
      return true;
    }
  }
  return false;
}

bool PropertySheet::eventFilter(QObject* watched, QEvent* event) {
  // Qt sends Tab from a tab widget's tab row past the page to the buttons;
  // forward Tab goes into the page first.
  if (watched == tabs_->tabBar() && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier && FocusFirstControl()) {
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void PropertySheet::AddPage(PropertyPage* page, const QString& title) {
  pages_.push_back(page);
  preparing_ = true;  // adding the first tab makes it current; that is no activation
  tabs_->addTab(page, title);
  preparing_ = false;
}

void PropertySheet::Prepare() {
  for (PropertyPage* page : pages_) {
    page->opened_ = false;
    AssignMnemonics(page);
    for (QComboBox* combo : page->findChildren<QComboBox*>()) {
      DescribeValue(combo);
    }
  }
  OrderFocus();
  active_ = -1;
  preparing_ = true;
  tabs_->setCurrentIndex(startPage_);
  preparing_ = false;
  // The sheet opens on its tab row, which a screen reader names; a page that
  // wants the focus elsewhere takes it when it is activated.
  tabs_->tabBar()->setFocus(Qt::OtherFocusReason);
  Activate(startPage_);
}

void PropertySheet::OrderFocus() {
  // Pages are made before they join the sheet, so their controls first stand
  // after OK and Cancel in the focus chain; move the buttons behind them.
  QWidget* last = nullptr;
  for (QWidget* w = cancel_->nextInFocusChain(); w != cancel_ && w != ok_;
       w = w->nextInFocusChain()) {
    if (w->focusPolicy() == Qt::NoFocus) {
      continue;  // setTabOrder ignores a widget that never takes the focus
    }
    for (PropertyPage* page : pages_) {
      if (page->isAncestorOf(w)) {
        last = w;
      }
    }
  }
  if (last) {
    setTabOrder(last, ok_);
    setTabOrder(ok_, cancel_);
  }
}

void PropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= PageCount()) {
    return;
  }
  startPage_ = index;
  if (active_ >= 0) {
    tabs_->setCurrentIndex(index);
  }
}

int PropertySheet::ActiveIndex() const {
  return tabs_->currentIndex();
}

void PropertySheet::OnCurrentChanged(int index) {
  if (preparing_ || active_ < 0 || index < 0) {
    return;
  }
  if (active_ != index) {
    pages_[static_cast<size_t>(active_)]->SaveControls();
  }
  Activate(index);
}

void PropertySheet::Activate(int index) {
  if (index < 0 || index >= PageCount()) {
    return;
  }
  active_ = index;
  startPage_ = index;  // shown again, the sheet opens where the user left it
  PropertyPage* page = pages_[static_cast<size_t>(index)];
  if (!page->opened_) {
    page->opened_ = true;
    page->OnOpen();
  }
  page->OnActivate();
}

void PropertySheet::accept() {
  if (active_ >= 0) {
    pages_[static_cast<size_t>(active_)]->SaveControls();
  }
  for (PropertyPage* page : pages_) {
    page->OnOk();
  }
  QDialog::accept();
}

void PropertySheet::done(int result) {
  active_ = -1;
  QDialog::done(result);
}

}  // namespace bc
