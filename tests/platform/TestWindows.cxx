// Windows seen through messages: widget input becomes Win32 messages with the Windows
// packing, creation and destruction order, window timers, the clipboard's DIB block, and
// the interactor side of vtkHandleMessage2.
#include "Clipboard.h"
#include "CmdTarget.h"
#include "GuiTestSupport.h"
#include "VtkWindow.h"
#include "Wnd.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QWidget>

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkNew.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace
{
using guitest::App;

using guitest::WaitFor;

struct Message
{
  UINT Id;
  WPARAM W;
  LPARAM L;
};

std::vector<std::string> Order;

class LoggingWnd : public CWnd
{
public:
  std::string Name;
  std::vector<Message> Log;
  int CreateResult = 0;
  explicit LoggingWnd(std::string name = "")
    : Name(std::move(name))
  {
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
  {
    this->Log.push_back(Message{ message, wParam, lParam });
    if (message == WM_DESTROY)
    {
      Order.push_back(this->Name);
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
  int OnCreate(LPCREATESTRUCT cs) override
  {
    return CWnd::OnCreate(cs) == -1 ? -1 : this->CreateResult;
  }
  const Message* Last(UINT id) const
  {
    for (auto it = this->Log.rbegin(); it != this->Log.rend(); ++it)
    {
      if (it->Id == id)
      {
        return &*it;
      }
    }
    return nullptr;
  }
  int Count(UINT id) const
  {
    int n = 0;
    for (const Message& m : this->Log)
    {
      n += m.Id == id ? 1 : 0;
    }
    return n;
  }
};

const RECT Rect{ 0, 0, 320, 200 };
}

TEST(Windows, MouseInputBecomesMessagesWithWindowsPacking)
{
  App();
  LoggingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, "w", 0, Rect, nullptr, 0));
  QWidget* widget = wnd.GetWidget();
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(wnd.Log.front().Id, WM_CREATE);

  QMouseEvent press(
    QEvent::MouseButtonPress, QPointF(12, 34), Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(widget, &press);
  const Message* down = wnd.Last(WM_LBUTTONDOWN);
  ASSERT_NE(down, nullptr);
  EXPECT_EQ(down->W, MK_LBUTTON | MK_SHIFT);
  EXPECT_EQ(LOWORD(static_cast<std::uintptr_t>(down->L)), 12);
  EXPECT_EQ(HIWORD(static_cast<std::uintptr_t>(down->L)), 34); // y from the top

  // Dragged out of the window to the left and above: negative coordinates survive.
  QMouseEvent move(QEvent::MouseMove, QPointF(-5, -7), Qt::NoButton,
    Qt::LeftButton | Qt::RightButton, Qt::ControlModifier);
  QApplication::sendEvent(widget, &move);
  const Message* mv = wnd.Last(WM_MOUSEMOVE);
  ASSERT_NE(mv, nullptr);
  EXPECT_EQ(mv->W, MK_LBUTTON | MK_RBUTTON | MK_CONTROL);
  EXPECT_EQ(GET_X_LPARAM(mv->L), -5);
  EXPECT_EQ(GET_Y_LPARAM(mv->L), -7);

  QMouseEvent release(
    QEvent::MouseButtonRelease, QPointF(1, 2), Qt::RightButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
  const Message* up = wnd.Last(WM_RBUTTONUP);
  ASSERT_NE(up, nullptr);
  EXPECT_EQ(up->W, MK_LBUTTON);
  EXPECT_EQ(up->L, MAKELPARAM(1, 2));

  widget->resize(150, 90);
  widget->show();
  ASSERT_TRUE(WaitFor([&] { return wnd.Last(WM_SIZE) && wnd.Last(WM_PAINT); }));
  EXPECT_EQ(wnd.Last(WM_SIZE)->L, MAKELPARAM(150, 90));
  RECT client;
  wnd.GetClientRect(&client);
  EXPECT_EQ(client.right, 150);
  EXPECT_EQ(client.bottom, 90);
}

TEST(Windows, CreationThatFailsLeavesNoWindowAndDestructionGoesParentFirst)
{
  App();
  LoggingWnd failing;
  failing.CreateResult = -1;
  EXPECT_FALSE(failing.Create(nullptr, "f", 0, Rect, nullptr, 0));
  EXPECT_EQ(failing.m_hWnd, nullptr);
  EXPECT_EQ(failing.Count(WM_DESTROY), 1);
  EXPECT_FALSE(failing.PostMessage(WM_USER));

  Order.clear();
  LoggingWnd parent("parent"), child("child");
  ASSERT_TRUE(parent.Create(nullptr, "p", 0, Rect, nullptr, 0));
  ASSERT_TRUE(child.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, Rect, &parent, 7));
  EXPECT_EQ(child.GetParent(), &parent);
  EXPECT_EQ(child.GetDlgCtrlID(), 7u);
  EXPECT_EQ(CWnd::FromWidget(child.GetWidget()), &child);
  EXPECT_TRUE(parent.DestroyWindow());
  EXPECT_EQ(Order, (std::vector<std::string>{ "parent", "child" }));
  EXPECT_EQ(child.m_hWnd, nullptr);
  EXPECT_FALSE(parent.DestroyWindow());
  EXPECT_EQ(parent.SendMessage(WM_USER), 0);
}

TEST(Windows, TimersSendWmTimerUntilKilledAndPostedMessagesKeepTheirOrder)
{
  App();
  LoggingWnd wnd;
  ASSERT_TRUE(wnd.Create(nullptr, "t", 0, Rect, nullptr, 0));
  EXPECT_EQ(wnd.SetTimer(42, 10), 42u);
  ASSERT_TRUE(WaitFor([&] { return wnd.Count(WM_TIMER) >= 3; }));
  EXPECT_EQ(wnd.Last(WM_TIMER)->W, 42u);
  EXPECT_TRUE(wnd.KillTimer(42));
  EXPECT_FALSE(wnd.KillTimer(42));
  const int ticks = wnd.Count(WM_TIMER);

  // Posted from another thread, delivered in order on this one (and no tick in between
  // comes from the killed timer).
  std::thread poster(
    [&]
    {
      for (int i = 0; i < 20; ++i)
      {
        wnd.PostMessage(WM_USER, static_cast<WPARAM>(i), 0);
      }
    });
  poster.join();
  ASSERT_TRUE(WaitFor([&] { return wnd.Count(WM_USER) == 20; }));
  int expected = 0;
  for (const Message& m : wnd.Log)
  {
    if (m.Id == WM_USER)
    {
      EXPECT_EQ(m.W, static_cast<WPARAM>(expected++));
    }
  }
  EXPECT_EQ(wnd.Count(WM_TIMER), ticks);
}

TEST(Windows, ClipboardKeepsTheDibAndOffersItAsAnUprightImage)
{
  App();
  // 2 x 2 pixels, bottom row red, top row blue; rows padded from 6 to 8 bytes.
  std::vector<BYTE> block(40 + 16, 0);
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = 2;
  h.biHeight = 2;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  h.biSizeImage = 16;
  std::memcpy(block.data(), &h, 40);
  const BYTE rows[16] = { 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 0 };
  std::memcpy(block.data() + 40, rows, 16);

  EXPECT_FALSE(SetClipboardData(CF_DIB, block)) << "not while the clipboard is closed";
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr)) << "open once at a time";
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_FALSE(SetClipboardData(CF_DIB, std::vector<BYTE>(10, 0))) << "too short for a header";
  EXPECT_TRUE(SetClipboardData(CF_DIB, block));
  EXPECT_TRUE(CloseClipboard());

  EXPECT_EQ(GetClipboardData(CF_DIB), block);
  const QMimeData* data = QApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  ASSERT_TRUE(data->hasImage());
  const QImage image = qvariant_cast<QImage>(data->imageData());
  ASSERT_EQ(image.width(), 2);
  ASSERT_EQ(image.height(), 2);
  EXPECT_EQ(QColor(image.pixel(0, 1)), QColor(255, 0, 0)) << "the first row is the bottom";
  EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(0, 0, 255));
  const QByteArray bmp = data->data("image/bmp");
  ASSERT_EQ(bmp.size(), 14 + 56);
  EXPECT_EQ(bmp.left(2), QByteArray("BM"));
}

TEST(Windows, HandleMessageFlipsYAndStopsWhileTheInteractorIsDisabled)
{
  App();
  vtkNew<vtkPlatformRenderWindow> window;
  vtkNew<vtkPlatformRenderWindowInteractor> interactor;
  interactor->SetRenderWindow(window);
  interactor->SetSize(100, 80);
  interactor->Enable();
  std::vector<unsigned long> events;
  std::vector<std::pair<int, int>> positions;
  vtkNew<vtkCallbackCommand> observer;
  struct Seen
  {
    std::vector<unsigned long>* Events;
    std::vector<std::pair<int, int>>* Positions;
  } seen{ &events, &positions };
  observer->SetClientData(&seen);
  observer->SetCallback(
    [](vtkObject* caller, unsigned long event, void* client, void*)
    {
      auto* s = static_cast<Seen*>(client);
      auto* iren = static_cast<vtkRenderWindowInteractor*>(caller);
      s->Events->push_back(event);
      s->Positions->emplace_back(iren->GetEventPosition()[0], iren->GetEventPosition()[1]);
    });
  for (unsigned long e : { vtkCommand::LeftButtonPressEvent, vtkCommand::RightButtonReleaseEvent,
         vtkCommand::MouseMoveEvent, vtkCommand::TimerEvent, vtkCommand::EnterEvent })
  {
    interactor->AddObserver(e, observer);
  }

  EXPECT_EQ(
    vtkHandleMessage2(nullptr, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 20), interactor), 0);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], vtkCommand::LeftButtonPressEvent);
  EXPECT_EQ(positions[0], std::make_pair(10, 59)); // 80 - 20 - 1
  EXPECT_EQ(interactor->GetControlKey(), 0);

  vtkHandleMessage2(nullptr, WM_MOUSEMOVE, MK_CONTROL, MAKELPARAM(0, 79), interactor);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1], vtkCommand::EnterEvent);
  EXPECT_EQ(events[2], vtkCommand::MouseMoveEvent);
  EXPECT_EQ(positions[2], std::make_pair(0, 0));
  EXPECT_EQ(interactor->GetControlKey(), 1);

  vtkHandleMessage2(nullptr, WM_RBUTTONUP, 0, MAKELPARAM(5, 5), interactor);
  vtkHandleMessage2(nullptr, WM_TIMER, 0, 0, interactor);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[3], vtkCommand::RightButtonReleaseEvent);
  EXPECT_EQ(events[4], vtkCommand::TimerEvent);

  interactor->Disable();
  vtkHandleMessage2(nullptr, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1), interactor);
  vtkHandleMessage2(nullptr, WM_TIMER, 0, 0, interactor);
  EXPECT_EQ(events.size(), 5u);
  // Other messages are the window's.
  EXPECT_EQ(vtkHandleMessage2(nullptr, WM_USER, 0, 0, interactor), 0);
}

namespace
{
class Base : public CCmdTarget
{
public:
  std::vector<std::string> Calls;
  Base()
  {
    this->MapCommand(1, CommandHandler([this] { this->Calls.push_back("base 1"); }));
    this->MapCommand(2, CommandHandler([this] { this->Calls.push_back("base 2"); }));
    this->MapCommandRange(100, 110, [this](UINT id) { this->Calls.push_back(std::to_string(id)); });
  }
};
class Derived : public Base
{
public:
  Derived()
  {
    this->MapCommand(2, CommandHandler([this] { this->Calls.push_back("derived 2"); }));
  }
};
}

TEST(Windows, ADerivedTableReplacesItsBasesEntryAndRangesCoverTheirEnds)
{
  Derived d;
  for (UINT id : { 1u, 2u, 100u, 110u, 111u, 99u })
  {
    d.OnCmdMsg(id, CN_COMMAND, nullptr);
  }
  EXPECT_EQ(d.Calls, (std::vector<std::string>{ "base 1", "derived 2", "100", "110" }));
  EXPECT_TRUE(d.OnCmdMsg(105, CN_QUERY_HANDLER, nullptr));
  EXPECT_FALSE(d.OnCmdMsg(105, CN_UPDATE_COMMAND_UI, nullptr)) << "no enabling handler listed";
  EXPECT_EQ(d.Calls.size(), 4u) << "a query runs nothing";
}
