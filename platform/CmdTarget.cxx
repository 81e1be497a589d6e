#include "CmdTarget.h"

//------------------------------------------------------------------------------
void CCmdTarget::MapCommand(UINT id, CommandHandler handler)
{
  this->Commands[id] = std::move(handler);
}

//------------------------------------------------------------------------------
void CCmdTarget::MapCommandUI(UINT id, UpdateHandler handler)
{
  this->Updates[id] = std::move(handler);
}

//------------------------------------------------------------------------------
void CCmdTarget::MapCommandRange(UINT first, UINT last, RangeHandler handler)
{
  this->Ranges[first].Last = last;
  this->Ranges[first].Command = std::move(handler);
}

//------------------------------------------------------------------------------
void CCmdTarget::MapCommandUIRange(UINT first, UINT last, UpdateHandler handler)
{
  this->Ranges[first].Last = last;
  this->Ranges[first].Update = std::move(handler);
}

//------------------------------------------------------------------------------
BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, CCmdUI* pCmdUI)
{
  const Range* range = nullptr;
  auto r = this->Ranges.upper_bound(nID);
  if (r != this->Ranges.begin())
  {
    --r;
    if (nID <= r->second.Last)
    {
      range = &r->second;
    }
  }

  if (nCode == CN_UPDATE_COMMAND_UI)
  {
    auto u = this->Updates.find(nID);
    if (u != this->Updates.end() && u->second)
    {
      if (pCmdUI)
      {
        u->second(pCmdUI);
      }
      return TRUE;
    }
    if (range && range->Update)
    {
      if (pCmdUI)
      {
        range->Update(pCmdUI);
      }
      return TRUE;
    }
    return FALSE;
  }

  auto c = this->Commands.find(nID);
  if (c != this->Commands.end() && c->second)
  {
    if (nCode == CN_COMMAND)
    {
      // Copy: a handler may replace its own table entry while it runs.
      CommandHandler handler = c->second;
      handler();
    }
    return TRUE;
  }
  if (range && range->Command)
  {
    if (nCode == CN_COMMAND)
    {
      RangeHandler handler = range->Command;
      handler(nID);
    }
    return TRUE;
  }
  return FALSE;
}
