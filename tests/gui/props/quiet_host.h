#pragma once

#include "ui/props/properties_command.h"

namespace bc::test {

/// A main window that asks nothing of the Properties command.
struct QuietHost final : PropertiesHost {
  void StopSpeech() override {}
  void SetBusy(bool) override {}
  void SaveSortDirection() override {}
  void ClearTrayToolTip() override {}
  bool SaveSettings() override { return true; }
  void ArmChecking() override {}
  void RebuildList() override {}
};

}  // namespace bc::test
