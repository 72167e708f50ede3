#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "config/prompt.h"
#include "extras/tip_of_day.h"
#include "extras/tips_profile.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace bc {

/// "Tip of the Day": a light bulb on a grey band, "Did you know..." and one
/// tip from the tips file, with "&Show tips at startup", "&Next Tip" and
/// "&Close" (the default). Built, it has picked its first tip without showing
/// anything; the caller runs it (exec) or not. "&Close" stores the check box;
/// Escape and the close box store nothing for it.
class CTipOfDayDlg final : public QDialog {
  Q_OBJECT
 public:
  /// `tipsPath` and `profilePath` default to DayTips.dat found as the
  /// program's data files are, and the tips profile file.
  CTipOfDayDlg(QWidget* parent, Prompt& prompt, const std::string& tipsPath = {},
               const std::string& profilePath = {});
  ~CTipOfDayDlg() override;

  [[nodiscard]] TipOfDay& model() { return *model_; }

  /// "&Next Tip": another tip, and the check box back to the stored choice.
  void NextTip();

  /// Draws the dialog's content: everything, or with `updateText` only the
  /// heading and the tip.
  void DoPaint(QPainter& painter, bool updateText);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void CloseClicked();
  void PushDataToControls();
  [[nodiscard]] QRect InDialog(const QWidget* widget) const;

  std::unique_ptr<TipsProfile> profile_;
  std::unique_ptr<TipOfDay> model_;
  QFrame* frame_ = nullptr;
  QWidget* bulbPlace_ = nullptr;
  QWidget* tipPlace_ = nullptr;
  QLabel* tipText_ = nullptr;  // at the tip placeholder's place
  QCheckBox* startup_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* close_ = nullptr;
};

/// The tip at start-up: reads the tips file (and stores its place) even when
/// the user turned the tips off, and then, if they are on, shows the tip over
/// `parent` without holding anything else: the mail checks go on behind it.
/// Returns the shown tip, which deletes itself when closed, or nullptr.
CTipOfDayDlg* ShowStartupTip(QWidget* parent, Prompt& prompt, const std::string& tipsPath = {},
                             const std::string& profilePath = {});

/// The light bulb at its natural 26 by 32 pixels, its white ground flooded
/// with `ground` from the top-left pixel.
[[nodiscard]] QImage LightBulbOn(const QColor& ground);

}  // namespace bc
