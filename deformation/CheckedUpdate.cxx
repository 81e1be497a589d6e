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

#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace
{
// Thrown out of the reader's error observer to end its update.
struct UpdateAborted
{
};

// The window VTK reports to once InstallUpdateMessageCapture has run. Each thread that is
// inside CheckedUpdate has a collection of its own, where its messages go; the messages of
// every other thread are passed on to the window that was in place before, one at a time.
class vtkUpdateCaptureWindow : public vtkOutputWindow
{
public:
  enum class Kind
  {
    Text,
    Error,
    Warning,
    GenericWarning,
    Debug
  };
  using Entry = std::pair<Kind, std::string>;
  using Collection = std::vector<Entry>;

  static vtkUpdateCaptureWindow* New();
  vtkTypeMacro(vtkUpdateCaptureWindow, vtkOutputWindow);

  // The calling thread's collection, or null when its messages are passed on.
  static Collection*& ThreadCollection()
  {
    thread_local Collection* collection = nullptr;
    return collection;
  }

  // The type is taken from the method called, never from the window's current message type,
  // which every thread would share.
  void DisplayText(const char* text) override { this->Take(Kind::Text, text); }
  void DisplayErrorText(const char* text) override { this->Take(Kind::Error, text); }
  void DisplayWarningText(const char* text) override { this->Take(Kind::Warning, text); }
  void DisplayGenericWarningText(const char* text) override
  {
    this->Take(Kind::GenericWarning, text);
  }
  void DisplayDebugText(const char* text) override { this->Take(Kind::Debug, text); }

  void SetPassOn(vtkOutputWindow* window)
  {
    std::lock_guard<std::recursive_mutex> hold(this->Lock);
    this->PassOn = window;
  }

  // Into the calling thread's collection, or on to the window behind.
  void Take(Kind type, const char* text)
  {
    if (Collection* collection = ThreadCollection())
    {
      collection->emplace_back(type, text ? text : "");
      return;
    }
    // Recursive: the window behind may report something itself.
    std::lock_guard<std::recursive_mutex> hold(this->Lock);
    vtkOutputWindow* window = this->PassOn;
    if (!window)
    {
      return;
    }
    switch (type)
    {
      case Kind::Error:
        window->DisplayErrorText(text);
        break;
      case Kind::Warning:
        window->DisplayWarningText(text);
        break;
      case Kind::GenericWarning:
        window->DisplayGenericWarningText(text);
        break;
      case Kind::Debug:
        window->DisplayDebugText(text);
        break;
      default:
        window->DisplayText(text);
        break;
    }
  }

private:
  std::recursive_mutex Lock;
  vtkSmartPointer<vtkOutputWindow> PassOn;
};
vtkStandardNewMacro(vtkUpdateCaptureWindow);

// Sets the calling thread's collection for as long as it lives (CheckedUpdate may be called
// from inside an update that another CheckedUpdate runs: the outer collection comes back).
class ThreadCapture
{
public:
  ThreadCapture()
    : Outer(vtkUpdateCaptureWindow::ThreadCollection())
  {
    vtkUpdateCaptureWindow::ThreadCollection() = &this->Texts;
  }
  ~ThreadCapture() { this->End(); }
  ThreadCapture(const ThreadCapture&) = delete;
  ThreadCapture& operator=(const ThreadCapture&) = delete;

  void End()
  {
    if (!this->Ended)
    {
      vtkUpdateCaptureWindow::ThreadCollection() = this->Outer;
      this->Ended = true;
    }
  }

  // Hands what was collected on as if it had been reported now (after End()).
  void Replay(vtkUpdateCaptureWindow* window) const
  {
    for (const auto& entry : this->Texts)
    {
      window->Take(entry.first, entry.second.c_str());
    }
  }

  // The first message of the given kinds, or null.
  const std::string* First(bool warnings) const
  {
    for (const auto& entry : this->Texts)
    {
      const auto type = entry.first;
      using Kind = vtkUpdateCaptureWindow::Kind;
      if (type == Kind::Error ||
        (warnings && (type == Kind::Warning || type == Kind::GenericWarning)))
      {
        return &entry.second;
      }
    }
    return nullptr;
  }

private:
  vtkUpdateCaptureWindow::Collection* Outer;
  vtkUpdateCaptureWindow::Collection Texts;
  bool Ended = false;
};

vtkUpdateCaptureWindow* TheCaptureWindow()
{
  static const vtkSmartPointer<vtkUpdateCaptureWindow> window =
    vtkSmartPointer<vtkUpdateCaptureWindow>::New();
  return window;
}

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
std::string PlainVtkMessage(const std::string& text)
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

//------------------------------------------------------------------------------
void InstallUpdateMessageCapture()
{
  static std::mutex installing;
  std::lock_guard<std::mutex> hold(installing);
  vtkUpdateCaptureWindow* capture = TheCaptureWindow();
  vtkOutputWindow* current = vtkOutputWindow::GetInstance();
  if (current != capture)
  {
    capture->SetPassOn(current);
    vtkOutputWindow::SetInstance(capture);
  }
}

//------------------------------------------------------------------------------
CheckedUpdateResult CheckedUpdate(vtkAlgorithm* algorithm, CheckedUpdateMode mode)
{
  CheckedUpdateResult result;
  if (!algorithm)
  {
    result.Ok = false;
    result.ErrorReported = true;
    result.Message = "nothing to read with";
    return result;
  }
  InstallUpdateMessageCapture();

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

  ThreadCapture capture;
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
  capture.End();
  capture.Replay(TheCaptureWindow());
  executive->RemoveObserver(executiveTag);
  algorithm->RemoveObserver(algorithmTag);

  result.ErrorReported = outOfMemory || !state.Errors.empty() || capture.First(false) || aborted;
  if (outOfMemory)
  {
    result.Ok = false;
    result.Message = "it needs more memory than there is";
  }
  else if (!state.Errors.empty())
  {
    result.Ok = false;
    result.Message = PlainVtkMessage(state.Errors.front());
  }
  else if (const std::string* complaint = capture.First(true))
  {
    result.Ok = false;
    result.Message = PlainVtkMessage(*complaint);
  }
  else if (aborted)
  {
    result.Ok = false;
    result.Message = "the reader reported an error";
  }
  return result;
}
