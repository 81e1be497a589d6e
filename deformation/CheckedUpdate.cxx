#include "CheckedUpdate.h"

#include <vtkAlgorithm.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkDataReader.h>
#include <vtkExecutive.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkSmartPointer.h>

#include <new>
#include <utility>
#include <vector>

namespace
{
// Thrown out of the reader's error observer to end its update.
struct UpdateAborted
{
};

// "ERROR: In file.cxx, line 12\nvtkReader (0x1234): Some problem\n\n" -> "Some problem".
std::string PlainMessage(const std::string& text)
{
  std::string message = text;
  if (message.rfind("ERROR: In ", 0) == 0 || message.rfind("Warning: In ", 0) == 0 ||
    message.rfind("Generic Warning: In ", 0) == 0)
  {
    const auto lineEnd = message.find('\n');
    message = lineEnd == std::string::npos ? std::string() : message.substr(lineEnd + 1);
  }
  const auto objectEnd = message.find("): ");
  const auto firstLineEnd = message.find('\n');
  if (objectEnd != std::string::npos && objectEnd < firstLineEnd)
  {
    message = message.substr(objectEnd + 3);
  }
  const auto last = message.find_last_not_of(" \t\r\n");
  message = last == std::string::npos ? std::string() : message.substr(0, last + 1);
  return message.empty() ? std::string("the reader reported an error") : message;
}

// Takes the place of VTK's output window while an update runs and keeps what it is told.
class vtkCollectingOutputWindow : public vtkOutputWindow
{
public:
  static vtkCollectingOutputWindow* New();
  vtkTypeMacro(vtkCollectingOutputWindow, vtkOutputWindow);

  void DisplayText(const char* text) override
  {
    const MessageTypes type = this->GetCurrentMessageType();
    this->Texts.emplace_back(type, text ? text : "");
  }

  // Hands what was collected on to the window that was in place before.
  void Replay(vtkOutputWindow* window) const
  {
    for (const auto& entry : this->Texts)
    {
      switch (entry.first)
      {
        case MESSAGE_TYPE_ERROR:
          window->DisplayErrorText(entry.second.c_str());
          break;
        case MESSAGE_TYPE_WARNING:
          window->DisplayWarningText(entry.second.c_str());
          break;
        case MESSAGE_TYPE_GENERIC_WARNING:
          window->DisplayGenericWarningText(entry.second.c_str());
          break;
        default:
          window->DisplayText(entry.second.c_str());
          break;
      }
    }
  }

  // The first error or warning, or null.
  const std::string* FirstComplaint() const
  {
    for (const auto& entry : this->Texts)
    {
      if (entry.first == MESSAGE_TYPE_ERROR || entry.first == MESSAGE_TYPE_WARNING ||
        entry.first == MESSAGE_TYPE_GENERIC_WARNING)
      {
        return &entry.second;
      }
    }
    return nullptr;
  }

private:
  std::vector<std::pair<MessageTypes, std::string>> Texts;
};
vtkStandardNewMacro(vtkCollectingOutputWindow);

struct ObserverState
{
  CheckedUpdateMode Mode = CheckedUpdateMode::Collect;
  std::vector<std::string> Errors;
};

void OnAlgorithmError(vtkObject*, unsigned long, void* clientData, void* callData)
{
  auto* state = static_cast<ObserverState*>(clientData);
  state->Errors.emplace_back(callData ? static_cast<const char*>(callData) : "");
  if (state->Mode == CheckedUpdateMode::AbortOnError)
  {
    throw UpdateAborted{};
  }
}

void OnExecutiveError(vtkObject*, unsigned long, void* clientData, void* callData)
{
  auto* state = static_cast<ObserverState*>(clientData);
  state->Errors.emplace_back(callData ? static_cast<const char*>(callData) : "");
}
}

//------------------------------------------------------------------------------
CheckedUpdateResult CheckedUpdate(vtkAlgorithm* algorithm, CheckedUpdateMode mode)
{
  CheckedUpdateResult result;
  if (!algorithm)
  {
    result.Ok = false;
    result.Message = "nothing to read with";
    return result;
  }

  ObserverState state;
  state.Mode = mode;
  vtkNew<vtkCallbackCommand> onAlgorithmError;
  onAlgorithmError->SetClientData(&state);
  onAlgorithmError->SetCallback(&OnAlgorithmError);
  vtkNew<vtkCallbackCommand> onExecutiveError;
  onExecutiveError->SetClientData(&state);
  onExecutiveError->SetCallback(&OnExecutiveError);
  const unsigned long algorithmTag =
    algorithm->AddObserver(vtkCommand::ErrorEvent, onAlgorithmError);
  vtkExecutive* executive = algorithm->GetExecutive();
  const unsigned long executiveTag =
    executive->AddObserver(vtkCommand::ErrorEvent, onExecutiveError);

  vtkSmartPointer<vtkOutputWindow> previous = vtkOutputWindow::GetInstance();
  vtkNew<vtkCollectingOutputWindow> collector;
  vtkOutputWindow::SetInstance(collector);

  bool aborted = false;
  bool outOfMemory = false;
  try
  {
    algorithm->Update();
  }
  catch (const UpdateAborted&)
  {
    aborted = true;
  }
  catch (const std::bad_alloc&)
  {
    // A count in a file that no check before the reader could see.
    aborted = true;
    outOfMemory = true;
  }
  if (aborted)
  {
    // The reader stopped in the middle of its file: close it, the output is not used.
    if (auto* dataReader = vtkDataReader::SafeDownCast(algorithm))
    {
      dataReader->CloseVTKFile();
    }
  }

  vtkOutputWindow::SetInstance(previous);
  collector->Replay(previous);
  executive->RemoveObserver(executiveTag);
  algorithm->RemoveObserver(algorithmTag);

  if (outOfMemory)
  {
    result.Ok = false;
    result.Message = "it needs more memory than there is";
  }
  else if (!state.Errors.empty())
  {
    result.Ok = false;
    result.Message = PlainMessage(state.Errors.front());
  }
  else if (const std::string* complaint = collector->FirstComplaint())
  {
    result.Ok = false;
    result.Message = PlainMessage(*complaint);
  }
  else if (aborted)
  {
    result.Ok = false;
    result.Message = "the reader reported an error";
  }
  return result;
}
