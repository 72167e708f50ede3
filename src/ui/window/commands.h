#pragma once

namespace bc {

/// The main window's menu commands.
enum class Command {
  OpenTextFile,
  OpenWavFile,
  PasteClipboard,
  SaveToWav,
  Exit,
  Play,
  Pause,
  Stop,
  Delete,
  Refresh,
  Suspend,
  Properties,
  AlwaysOnTop,
  HideWindow,
  ReadEmail,
  ReadFile,
  ReadClipboard,
  ReadWav,
  HelpTopics,
  TipOfTheDay,
  Feedback,
  CheckLatestVersion,
  About,
};

/// The main window's toolbar buttons, left to right.
enum class ToolButton { Open, Save, Play, Pause, Stop, Delete, Refresh, Close };

/// The object name of a menu command's action, such as "playAction".
[[nodiscard]] const char* ObjectName(Command command);
/// The object name of a toolbar button, such as "playButton".
[[nodiscard]] const char* ObjectName(ToolButton button);

}  // namespace bc
