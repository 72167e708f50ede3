#pragma once

#include <QWidget>
#include <functional>

namespace bc {

/// Stands in a tab for a page that is made the first time it is shown or
/// asked for: the window shows one page at start, and making the others
/// before its first frame held that frame back. The page fills the holder
/// edge to edge; until it is made the holder is empty, and it is never shown
/// so (the page is made as the holder shows, before it is painted).
class PageHolder final : public QWidget {
 public:
  /// `make` makes the page as a child of the holder it is given.
  PageHolder(std::function<QWidget*(QWidget* holder)> make, QWidget* parent);

  /// The page, made on the first call.
  QWidget& Page();
  [[nodiscard]] bool HasPage() const { return page_ != nullptr; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::function<QWidget*(QWidget*)> make_;
  QWidget* page_ = nullptr;
};

}  // namespace bc
