#include "ProgressLine.h"

#include <cstdio>
#include <unistd.h>

//------------------------------------------------------------------------------
ProgressLine::ProgressLine(bool force)
  : Enabled(force || ::isatty(STDERR_FILENO) == 1)
  , Start(std::chrono::steady_clock::now())
{
  if (this->Enabled)
  {
    this->Worker = std::thread(&ProgressLine::Run, this);
  }
}

//------------------------------------------------------------------------------
ProgressLine::~ProgressLine()
{
  if (!this->Enabled)
  {
    return;
  }
  {
    std::lock_guard<std::mutex> hold(this->Lock);
    this->Stop = true;
  }
  this->Wake.notify_all();
  this->Worker.join();
  this->Clear();
}

//------------------------------------------------------------------------------
void ProgressLine::Stage(const std::string& stage)
{
  std::lock_guard<std::mutex> hold(this->Lock);
  this->Current = stage;
}

//------------------------------------------------------------------------------
void ProgressLine::Clear()
{
  std::lock_guard<std::mutex> hold(this->Lock);
  if (this->Shown)
  {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    this->Shown = false;
  }
}

//------------------------------------------------------------------------------
void ProgressLine::Run()
{
  std::unique_lock<std::mutex> hold(this->Lock);
  const auto firstShow = this->Start + std::chrono::seconds(1);
  if (this->Wake.wait_until(hold, firstShow, [this] { return this->Stop; }))
  {
    return;
  }
  do
  {
    const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - this->Start).count();
    std::fprintf(stderr, "\r\033[Kpravik-warp: %s... %.1f s", this->Current.c_str(), seconds);
    std::fflush(stderr);
    this->Shown = true;
  } while (!this->Wake.wait_for(hold, std::chrono::milliseconds(250), [this] { return this->Stop; }));
}
