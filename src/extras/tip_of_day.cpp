#include "extras/tip_of_day.h"

#include "extras/tip_picker.h"

namespace bc {

TipOfDay::TipOfDay(const std::string& tipsPath, TipsProfile& profile, Prompt& prompt,
                   std::function<std::int64_t()> nowSeconds)
    : profile_(profile), prompt_(prompt), nowSeconds_(std::move(nowSeconds)), file_(tipsPath) {
  showAtStartup_ = profile_.StartUp() == 0;
  long long position = profile_.FilePosition();
  if (!file_.isOpen()) {
    tip_ = kMissingTipsText;
    return;
  }
  const std::string stamp = file_.TimeStamp();
  if (stamp != profile_.TimeStamp()) {
    profile_.SetTimeStamp(stamp);
    position = 0;
  }
  if (!file_.Seek(position)) {
    prompt_.ShowMessage(kTipsTroubleText);
    return;
  }
  NextTip();
}

TipOfDay::~TipOfDay() {
  if (file_.isOpen()) {
    profile_.SetFilePosition(file_.Position());
  }
}

void TipOfDay::NextTip() {
  if (!file_.isOpen()) {
    return;
  }
  const int index = PickTipIndex(last_, nowSeconds_);
  if (!file_.Seek(0)) {
    prompt_.ShowMessage(kTipsTroubleText);
  }
  last_ = index;
  tip_ = file_.ReadTip(index);
}

void TipOfDay::Close(bool showAtStartup) {
  showAtStartup_ = showAtStartup;
  profile_.SetStartUp(showAtStartup ? 0 : 1);
}

}  // namespace bc
