#include "Resources.h"

namespace
{
// Prompts and texts of the framework's own commands and panes, used unless the
// application's string table gives its own.
void AddFrameworkStrings(std::map<UINT, std::string>& strings)
{
  strings[ID_FILE_NEW] = "Create a new document\nNew";
  strings[ID_FILE_OPEN] = "Open an existing document\nOpen";
  for (UINT id = ID_FILE_MRU_FILE1; id <= ID_FILE_MRU_FILE16; ++id)
  {
    strings[id] = "Open this document";
  }
  strings[ID_EDIT_COPY] = "Copy the picture and put it on the Clipboard\nCopy";
  strings[ID_EDIT_CUT] = "Cut the selection and put it on the Clipboard\nCut";
  strings[ID_EDIT_PASTE] = "Insert Clipboard contents\nPaste";
  strings[ID_EDIT_UNDO] = "Undo the last action\nUndo";
  strings[ID_APP_ABOUT] = "Display program information and version\nAbout";
  strings[ID_APP_EXIT] = "Quit the application\nExit";
  strings[ID_NEXT_PANE] = "Switch to the next window pane\nNext Pane";
  strings[ID_PREV_PANE] = "Switch back to the previous window pane\nPrevious Pane";
  strings[ID_VIEW_TOOLBAR] = "Show or hide the toolbar\nToggle ToolBar";
  strings[ID_VIEW_STATUS_BAR] = "Show or hide the status bar\nToggle StatusBar";
  strings[ID_INDICATOR_CAPS] = "CAP";
  strings[ID_INDICATOR_NUM] = "NUM";
  strings[ID_INDICATOR_SCRL] = "SCRL";
  strings[AFX_IDS_IDLEMESSAGE] = "Ready";
}
}

//------------------------------------------------------------------------------
CResources& CResources::Get()
{
  static CResources* resources = []
  {
    auto* r = new CResources;
    AddFrameworkStrings(r->Strings);
    return r;
  }();
  return *resources;
}

//------------------------------------------------------------------------------
std::string CResources::LoadString(UINT id) const
{
  auto it = this->Strings.find(id);
  return it == this->Strings.end() ? std::string() : it->second;
}

//------------------------------------------------------------------------------
std::string CResources::LoadStringField(UINT id, int index) const
{
  const std::string s = this->LoadString(id);
  std::string::size_type start = 0;
  for (int i = 0; i < index; ++i)
  {
    start = s.find('\n', start);
    if (start == std::string::npos)
    {
      return std::string();
    }
    ++start;
  }
  const auto end = s.find('\n', start);
  return s.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

//------------------------------------------------------------------------------
std::string CommandPrompt(const std::string& commandString)
{
  return commandString.substr(0, commandString.find('\n'));
}

//------------------------------------------------------------------------------
std::string CommandTooltip(const std::string& commandString)
{
  const auto nl = commandString.find('\n');
  return nl == std::string::npos ? std::string() : commandString.substr(nl + 1);
}
