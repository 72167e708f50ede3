#include "ui/window/commands.h"

namespace bc {

const char* ObjectName(Command command) {
  switch (command) {
    case Command::OpenTextFile:
      return "openTextFileAction";
    case Command::OpenWavFile:
      return "openWavFileAction";
    case Command::PasteClipboard:
      return "pasteClipboardAction";
    case Command::SaveToWav:
      return "saveToWavAction";
    case Command::Exit:
      return "exitAction";
    case Command::Play:
      return "playAction";
    case Command::Pause:
      return "pauseAction";
    case Command::Stop:
      return "stopAction";
    case Command::Delete:
      return "deleteAction";
    case Command::Refresh:
      return "refreshAction";
    case Command::Suspend:
      return "suspendAction";
    case Command::Properties:
      return "propertiesAction";
    case Command::AlwaysOnTop:
      return "alwaysOnTopAction";
    case Command::HideWindow:
      return "hideWindowAction";
    case Command::ReadEmail:
      return "readEmailAction";
    case Command::ReadFile:
      return "readFileAction";
    case Command::ReadClipboard:
      return "readClipboardAction";
    case Command::ReadWav:
      return "readWavAction";
    case Command::HelpTopics:
      return "helpTopicsAction";
    case Command::TipOfTheDay:
      return "tipOfTheDayAction";
    case Command::Feedback:
      return "feedbackAction";
    case Command::CheckLatestVersion:
      return "checkLatestVersionAction";
    case Command::About:
      return "aboutAction";
  }
  return "";
}

const char* ObjectName(ToolButton button) {
  switch (button) {
    case ToolButton::Open:
      return "openButton";
    case ToolButton::Save:
      return "saveButton";
    case ToolButton::Play:
      return "playButton";
    case ToolButton::Pause:
      return "pauseButton";
    case ToolButton::Stop:
      return "stopButton";
    case ToolButton::Delete:
      return "deleteButton";
    case ToolButton::Refresh:
      return "refreshButton";
    case ToolButton::Close:
      return "closeButton";
  }
  return "";
}

}  // namespace bc
