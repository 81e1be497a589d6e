#include "WarpMessages.h"

#include "CheckedUpdate.h"

#include <vtkObjectFactory.h>

vtkStandardNewMacro(vtkWarpMessages);

//------------------------------------------------------------------------------
void vtkWarpMessages::Keep(const char* text, bool error)
{
  const std::string message = PlainVtkMessage(text ? text : "");
  std::lock_guard<std::mutex> hold(this->Lock);
  this->Kept.push_back(message);
  if (error)
  {
    this->Error = message;
  }
}

//------------------------------------------------------------------------------
void vtkWarpMessages::DisplayText(const char* text)
{
  this->Keep(text, false);
}

//------------------------------------------------------------------------------
void vtkWarpMessages::DisplayErrorText(const char* text)
{
  this->Keep(text, true);
}

//------------------------------------------------------------------------------
void vtkWarpMessages::DisplayWarningText(const char* text)
{
  this->Keep(text, false);
}

//------------------------------------------------------------------------------
void vtkWarpMessages::DisplayGenericWarningText(const char* text)
{
  this->Keep(text, false);
}

//------------------------------------------------------------------------------
std::vector<std::string> vtkWarpMessages::Messages() const
{
  std::lock_guard<std::mutex> hold(this->Lock);
  return this->Kept;
}

//------------------------------------------------------------------------------
std::string vtkWarpMessages::LastError() const
{
  std::lock_guard<std::mutex> hold(this->Lock);
  return this->Error;
}
