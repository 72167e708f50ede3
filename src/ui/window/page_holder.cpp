#include "ui/window/page_holder.h"

#include <QVBoxLayout>
#include <utility>

namespace bc {

PageHolder::PageHolder(std::function<QWidget*(QWidget* holder)> make, QWidget* parent)
    : QWidget(parent), make_(std::move(make)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

QWidget& PageHolder::Page() {
  if (page_ == nullptr) {
    page_ = make_(this);
    layout()->addWidget(page_);
    // A child made in a shown widget waits to be shown; the tab would be
    // painted empty once.
    if (isVisible()) {
      page_->show();
    }
  }
  return *page_;
}

void PageHolder::showEvent(QShowEvent* event) {
  // Sent as the tab's page is shown, before the tabs give it the focus.
  Page();
  QWidget::showEvent(event);
}

}  // namespace bc
