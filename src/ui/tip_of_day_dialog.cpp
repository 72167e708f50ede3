#include "ui/tip_of_day_dialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "config/paths.h"
#include "ui/tray_icon.h"
#include "ui/ui_resources.h"

namespace bc {
namespace {

constexpr QSize kBulbSize{26, 32};
constexpr QSize kFrameSize{456, 236};  // room for a 299-character tip
constexpr int kBulbInset = 13;         // from the frame's left and top edges
constexpr int kBandGap = 10;           // between the band and the tip
constexpr int kTipLeft = 62;           // the tip placeholder, from the frame's left edge
constexpr int kRuleBelowBulb = 6;
constexpr int kTipBelowRule = 10;
constexpr int kTipInset = 12;  // from the frame's right and bottom edges

QFont HeadingFont() {
  QFont font(QStringLiteral("Times"));
  font.setStyleHint(QFont::Serif);
  font.setPixelSize(22);
  font.setBold(true);
  return font;
}

QFont TipFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(16);
  return font;
}

// A plain widget that paints nothing: it only gives a position.
QWidget* Placeholder(QWidget* parent, const char* name, const QRect& geometry) {
  auto* place = new QWidget(parent);
  place->setObjectName(QString::fromLatin1(name));
  place->setGeometry(geometry);
  place->setAttribute(Qt::WA_TransparentForMouseEvents);
  return place;
}

}  // namespace

QImage LightBulbOn(const QColor& ground) {
  QImage image = EmbeddedPixmap(QStringLiteral("light_bulb"), kBulbSize)
                     .toImage()
                     .convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) {
    return image;
  }
  // Flood the white reached from the top-left pixel (four neighbours).
  const QRgb white = qRgba(255, 255, 255, 255);
  if (image.pixel(0, 0) != white) {
    return image;
  }
  const QRgb fill = ground.rgba();
  std::vector<QPoint> pending{QPoint(0, 0)};
  image.setPixel(0, 0, fill);
  while (!pending.empty()) {
    const QPoint p = pending.back();
    pending.pop_back();
    for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
      const QPoint q = p + step;
      if (image.rect().contains(q) && image.pixel(q) == white) {
        image.setPixel(q, fill);
        pending.push_back(q);
      }
    }
  }
  return image;
}

CTipOfDayDlg::CTipOfDayDlg(QWidget* parent, Prompt& prompt, const std::string& tipsPath,
                           const std::string& profilePath)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Tip of the Day"));
  setObjectName(QStringLiteral("tipOfDayDialog"));
  setWindowIcon(ProgramIcon());  // at start-up it comes before the main window
  setModal(true);
  profile_ = std::make_unique<TipsProfile>(profilePath.empty() ? TipsProfilePath() : profilePath);
  model_ = std::make_unique<TipOfDay>(tipsPath.empty() ? DataFilePath("DayTips.dat") : tipsPath,
                                      *profile_, prompt,
                                      [] { return QDateTime::currentSecsSinceEpoch(); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(10);
  frame_ = new QFrame(this);
  frame_->setObjectName(QStringLiteral("tipFrame"));
  frame_->setFrameStyle(QFrame::Box | QFrame::Plain);
  frame_->setFixedSize(kFrameSize);
  QPalette framePalette = frame_->palette();
  framePalette.setColor(QPalette::WindowText, palette().color(QPalette::Dark));
  frame_->setPalette(framePalette);
  layout->addWidget(frame_);

  bulbPlace_ = Placeholder(frame_, "bulbPlace", QRect(QPoint(kBulbInset, kBulbInset), kBulbSize));
  const int tipTop = kBulbInset + kBulbSize.height() + kRuleBelowBulb + kTipBelowRule;
  // The tip is a label, not paint, so a screen reader reads it (and Tab reaches it).
  tipText_ = new QLabel(frame_);
  tipText_->setObjectName(QStringLiteral("tipString"));
  tipText_->setGeometry(QRect(kTipLeft, tipTop, kFrameSize.width() - kTipLeft - kTipInset,
                              kFrameSize.height() - tipTop - kTipInset));
  tipText_->setFont(TipFont());
  tipText_->setWordWrap(true);
  tipText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  tipText_->setTextFormat(Qt::PlainText);
  tipText_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  tipText_->setFocusPolicy(Qt::TabFocus);
  QPalette tipPalette = tipText_->palette();
  tipPalette.setColor(QPalette::Window, palette().color(QPalette::Base));
  tipPalette.setColor(QPalette::WindowText, palette().color(QPalette::Text));
  tipText_->setPalette(tipPalette);
  tipText_->setAutoFillBackground(true);
  tipPlace_ = tipText_;

  auto* row = new QHBoxLayout;
  startup_ = new QCheckBox(QStringLiteral("&Show tips at startup"), this);
  startup_->setObjectName(QStringLiteral("showTipsAtStartup"));
  next_ = new QPushButton(QStringLiteral("&Next Tip"), this);
  next_->setObjectName(QStringLiteral("nextTip"));
  next_->setAutoDefault(false);
  close_ = new QPushButton(QStringLiteral("&Close"), this);
  close_->setObjectName(QStringLiteral("closeTips"));
  close_->setDefault(true);
  row->addWidget(startup_);
  row->addStretch(1);
  row->addWidget(next_);
  row->addWidget(close_);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(next_, &QPushButton::clicked, this, &CTipOfDayDlg::NextTip);
  connect(close_, &QPushButton::clicked, this, &CTipOfDayDlg::CloseClicked);
  PushDataToControls();
  next_->setEnabled(model_->fileOpen());
}

CTipOfDayDlg::~CTipOfDayDlg() = default;

void CTipOfDayDlg::PushDataToControls() {
  startup_->setChecked(model_->showAtStartup());
  tipText_->setText(QString::fromUtf8(model_->tip()).trimmed());
}

void CTipOfDayDlg::NextTip() {
  model_->NextTip();
  PushDataToControls();  // undoes a click on the check box that "&Close" did not confirm
  update();
}

void CTipOfDayDlg::CloseClicked() {
  model_->Close(startup_->isChecked());
  accept();
}

QRect CTipOfDayDlg::InDialog(const QWidget* widget) const {
  return QRect(widget->mapTo(this, QPoint(0, 0)), widget->size());
}

void CTipOfDayDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  DoPaint(painter, false);
}

void CTipOfDayDlg::DoPaint(QPainter& painter, bool updateText) {
  const QColor window = palette().color(QPalette::Base);
  const QColor shadow = palette().color(QPalette::Dark);
  const QRect frame = InDialog(frame_);
  const QRect bulb = InDialog(bulbPlace_);
  const QRect tip = InDialog(tipPlace_);
  if (!updateText) {
    painter.fillRect(frame, window);
    painter.fillRect(
        QRect(frame.left(), frame.top(), tip.left() - kBandGap - frame.left(), frame.height()),
        shadow);
    painter.drawImage(bulb.topLeft(), LightBulbOn(shadow));
    const int ruleY = bulb.bottom() + 1 + kRuleBelowBulb;
    painter.fillRect(QRect(frame.left(), ruleY, frame.width(), 1), shadow);
  }
  painter.save();
  painter.setPen(palette().color(QPalette::Text));
  painter.setFont(HeadingFont());
  painter.drawText(QRect(QPoint(tip.left(), bulb.top()), tip.bottomRight()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   QStringLiteral("Did you know..."));
  painter.fillRect(tip, window);  // the tip's label draws the text over it
  painter.restore();
}

CTipOfDayDlg* ShowStartupTip(QWidget* parent, Prompt& prompt, const std::string& tipsPath,
                             const std::string& profilePath) {
  auto* tip = new CTipOfDayDlg(parent, prompt, tipsPath, profilePath);
  if (!tip->model().showAtStartup()) {
    delete tip;
    return nullptr;
  }
  tip->setAttribute(Qt::WA_DeleteOnClose);
  tip->setModal(false);
  tip->show();
  return tip;
}

}  // namespace bc
