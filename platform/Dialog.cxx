#include "Dialog.h"

#include "Prompts.h"
#include "Resources.h"
#include "WndInternal.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <cmath>

namespace
{
// Dialog units of an 8-point system font in pixels, as Windows lays dialogs out.
constexpr double UnitX = 1.5;
constexpr double UnitY = 1.625;

QRect Pixels(int x, int y, int w, int h)
{
  return QRect(static_cast<int>(std::lround(x * UnitX)), static_cast<int>(std::lround(y * UnitY)),
    static_cast<int>(std::lround(w * UnitX)), static_cast<int>(std::lround(h * UnitY)));
}

// The dialog's window: Escape and the close box act as Cancel through the dialog's
// command table, and nothing closes the window but EndDialog.
class DialogWidget : public QDialog
{
public:
  DialogWidget(CDialog* owner, QWidget* parent)
    : QDialog(parent)
    , Owner(owner)
  {
  }
  void reject() override { this->Owner->SendMessage(WM_COMMAND, IDCANCEL, 0); }
  void accept() override { this->Owner->SendMessage(WM_COMMAND, IDOK, 0); }
  void closeEvent(QCloseEvent* event) override
  {
    event->ignore();
    this->reject();
  }
  void Finish(int result) { this->QDialog::done(result); }

private:
  CDialog* Owner;
};

// A control's window: attached to the control's widget, owned by the dialog.
class ControlWnd : public CWnd
{
public:
  ControlWnd(QWidget* widget, CWnd* parent, UINT id, DialogControl::Kind kind)
    : Kind(kind)
  {
    this->Attach(widget, parent, id);
  }
  ~ControlWnd() override { this->Detach(); }
  DialogControl::Kind Kind;
  bool Group = false;
};
}

//------------------------------------------------------------------------------
struct CDialog::DialogInternals
{
  DialogWidget* Widget = nullptr;
  std::map<int, std::unique_ptr<ControlWnd>> Controls;
  std::vector<int> Order; // control identifiers in template order
  bool Running = false;
};

//------------------------------------------------------------------------------
CDialog::CDialog(UINT templateId, CWnd* parent)
  : Dialog(new DialogInternals)
  , TemplateId(templateId)
  , ParentWnd(parent)
{
  this->MapCommand(IDOK, CommandHandler([this] { this->OnOK(); }));
  this->MapCommand(IDCANCEL, CommandHandler([this] { this->OnCancel(); }));
}

//------------------------------------------------------------------------------
CDialog::~CDialog()
{
  this->DestroyControls();
  this->DestroyWindow();
}

//------------------------------------------------------------------------------
QWidget* CDialog::CreateWidget(const CREATESTRUCT&, QWidget* parent)
{
  this->Dialog->Widget = new DialogWidget(this, parent);
  return this->Dialog->Widget;
}

//------------------------------------------------------------------------------
void CDialog::CreateControls()
{
  const DialogTemplate& t = CResources::Get().Dialogs.at(this->TemplateId);
  QDialog* dlg = this->Dialog->Widget;
  dlg->setWindowTitle(QString::fromStdString(t.Title));
  const QRect size = Pixels(0, 0, t.Width, t.Height);
  dlg->setFixedSize(size.width(), size.height());
  for (const DialogControl& c : t.Controls)
  {
    QWidget* w = nullptr;
    switch (c.Type)
    {
      case DialogControl::PushButton:
      case DialogControl::DefPushButton:
      {
        auto* b = new QPushButton(QString::fromStdString(c.Text), dlg);
        b->setAutoDefault(false);
        b->setDefault(c.Type == DialogControl::DefPushButton);
        const int id = c.Id;
        QObject::connect(b, &QPushButton::clicked, [this, id] { this->ClickDlgButton(id); });
        w = b;
        break;
      }
      case DialogControl::Label:
      case DialogControl::CenteredLabel:
      {
        auto* l = new QLabel(QString::fromStdString(c.Text), dlg);
        l->setAlignment(c.Type == DialogControl::CenteredLabel ? Qt::AlignHCenter | Qt::AlignTop
                                                               : Qt::AlignLeft | Qt::AlignTop);
        w = l;
        break;
      }
      case DialogControl::Edit:
        w = new QLineEdit(dlg);
        break;
      case DialogControl::Trackbar:
      {
        auto* s = new QSlider(Qt::Horizontal, dlg);
        s->setRange(c.Min, c.Max);
        s->setTickPosition(QSlider::NoTicks);
        w = s;
        break;
      }
      case DialogControl::RadioButton:
      case DialogControl::CheckBox:
      {
        QAbstractButton* b;
        if (c.Type == DialogControl::RadioButton)
        {
          auto* r = new QRadioButton(QString::fromStdString(c.Text), dlg);
          // Groups are the template's, not Qt's: each button is checked only by a click on
          // it or by the program.
          r->setAutoExclusive(false);
          b = r;
        }
        else
        {
          b = new QCheckBox(QString::fromStdString(c.Text), dlg);
        }
        const int id = c.Id;
        // A click is the dialog's to interpret (ClickDlgButton checks a radio button).
        QObject::connect(b, &QAbstractButton::clicked,
          [this, b, id](bool)
          {
            b->setChecked(!b->isChecked());
            this->ClickDlgButton(id);
          });
        w = b;
        break;
      }
      case DialogControl::Picture:
      {
        auto* l = new QLabel(dlg);
        auto it = CResources::Get().Bitmaps.find(c.BitmapId);
        if (it != CResources::Get().Bitmaps.end())
        {
          const BitmapResource& bmp = it->second;
          const int h = static_cast<int>(bmp.Rows.size());
          const int wdt = h ? static_cast<int>(bmp.Rows[0].size()) : 0;
          QImage image(wdt, h, QImage::Format_ARGB32);
          image.fill(Qt::transparent);
          for (int y = 0; y < h; ++y)
          {
            for (int x = 0; x < wdt && x < static_cast<int>(bmp.Rows[y].size()); ++x)
            {
              auto p = bmp.Palette.find(bmp.Rows[y][x]);
              if (p != bmp.Palette.end())
              {
                image.setPixel(
                  x, y, qRgb(GetRValue(p->second), GetGValue(p->second), GetBValue(p->second)));
              }
            }
          }
          l->setPixmap(QPixmap::fromImage(image));
        }
        l->setAlignment(Qt::AlignCenter);
        w = l;
        break;
      }
    }
    w->setGeometry(Pixels(c.X, c.Y, c.Width, c.Height));
    if (c.Id >= 0)
    {
      auto control = std::make_unique<ControlWnd>(w, this, static_cast<UINT>(c.Id), c.Type);
      control->Group = c.Group;
      this->Dialog->Order.push_back(c.Id);
      this->Dialog->Controls[c.Id] = std::move(control);
    }
  }
}

//------------------------------------------------------------------------------
void CDialog::DestroyControls()
{
  this->Dialog->Controls.clear();
  this->Dialog->Order.clear();
}

//------------------------------------------------------------------------------
int CDialog::DoModal()
{
  if (!CResources::Get().Dialogs.count(this->TemplateId) || this->Dialog->Running)
  {
    return -1;
  }
  const RECT rect{ 0, 0, 0, 0 };
  if (!this->Create(nullptr, nullptr, 0, rect, this->ParentWnd, 0))
  {
    return -1;
  }
  this->CreateControls();
  this->Result = IDCANCEL;
  this->Ended = false;
  this->Dialog->Running = true;
  this->OnInitDialog();

  CPromptResponder* responder = GetPromptResponder();
  if (!this->Ended && responder)
  {
    // Shown, not run: the script works the real controls and ends the dialog itself.
    this->Dialog->Widget->show();
    if (!responder->Dialog(*this))
    {
      this->Dialog->Widget->hide();
      responder = nullptr;
    }
  }
  if (!this->Ended && !responder)
  {
    this->Dialog->Widget->exec();
  }
  if (!this->Ended)
  {
    // A script that left the dialog open: it ends as if cancelled.
    this->OnCancel();
  }
  this->Dialog->Running = false;
  this->DestroyControls();
  this->Dialog->Widget = nullptr;
  this->DestroyWindow();
  return this->Result;
}

//------------------------------------------------------------------------------
bool CDialog::IsRunning() const
{
  return this->Dialog->Running && !this->Ended;
}

//------------------------------------------------------------------------------
BOOL CDialog::OnInitDialog()
{
  this->UpdateData(FALSE);
  return TRUE;
}

//------------------------------------------------------------------------------
void CDialog::OnOK()
{
  if (!this->UpdateData(TRUE))
  {
    return;
  }
  this->EndDialog(IDOK);
}

//------------------------------------------------------------------------------
void CDialog::OnCancel()
{
  this->EndDialog(IDCANCEL);
}

//------------------------------------------------------------------------------
void CDialog::DoDataExchange(CDataExchange*) {}

//------------------------------------------------------------------------------
BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
  if (!this->Dialog->Running)
  {
    return FALSE;
  }
  CDataExchange dx(this, saveAndValidate);
  this->DoDataExchange(&dx);
  return TRUE;
}

//------------------------------------------------------------------------------
void CDialog::EndDialog(int result)
{
  this->Result = result;
  this->Ended = true;
  if (this->Dialog->Widget && this->Dialog->Widget->isVisible())
  {
    this->Dialog->Widget->Finish(result);
  }
}

//------------------------------------------------------------------------------
LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  if (message == WM_CLOSE)
  {
    // The close box acts as Cancel.
    return this->SendMessage(WM_COMMAND, IDCANCEL, 0);
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

//------------------------------------------------------------------------------
BOOL CDialog::OnCommand(WPARAM wParam, LPARAM)
{
  return this->OnCmdMsg(LOWORD(wParam), CN_COMMAND, nullptr);
}

//------------------------------------------------------------------------------
CWnd* CDialog::GetDlgItem(int id) const
{
  auto it = this->Dialog->Controls.find(id);
  return it == this->Dialog->Controls.end() ? nullptr : it->second.get();
}

//------------------------------------------------------------------------------
void CDialog::CheckDlgButton(int id, UINT check)
{
  if (CWnd* c = this->GetDlgItem(id))
  {
    if (auto* b = qobject_cast<QAbstractButton*>(c->GetWidget()))
    {
      b->setChecked(check == BST_CHECKED);
    }
  }
}

//------------------------------------------------------------------------------
UINT CDialog::IsDlgButtonChecked(int id) const
{
  if (CWnd* c = this->GetDlgItem(id))
  {
    if (auto* b = qobject_cast<QAbstractButton*>(c->GetWidget()))
    {
      return b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    }
  }
  return BST_UNCHECKED;
}

//------------------------------------------------------------------------------
void CDialog::SetDlgItemText(int id, const std::string& text)
{
  if (CWnd* c = this->GetDlgItem(id))
  {
    QWidget* w = c->GetWidget();
    if (auto* e = qobject_cast<QLineEdit*>(w))
    {
      e->setText(QString::fromStdString(text));
    }
    else if (auto* l = qobject_cast<QLabel*>(w))
    {
      l->setText(QString::fromStdString(text));
    }
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
    {
      b->setText(QString::fromStdString(text));
    }
  }
}

//------------------------------------------------------------------------------
std::string CDialog::GetDlgItemText(int id) const
{
  if (CWnd* c = this->GetDlgItem(id))
  {
    QWidget* w = c->GetWidget();
    if (auto* e = qobject_cast<QLineEdit*>(w))
    {
      return e->text().toStdString();
    }
    if (auto* l = qobject_cast<QLabel*>(w))
    {
      return l->text().toStdString();
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w))
    {
      return b->text().toStdString();
    }
  }
  return std::string();
}

//------------------------------------------------------------------------------
void CDialog::SetSliderPos(int id, int position)
{
  if (CWnd* c = this->GetDlgItem(id))
  {
    if (auto* s = qobject_cast<QSlider*>(c->GetWidget()))
    {
      s->setValue(position);
    }
  }
}

//------------------------------------------------------------------------------
int CDialog::GetSliderPos(int id) const
{
  if (CWnd* c = this->GetDlgItem(id))
  {
    if (auto* s = qobject_cast<QSlider*>(c->GetWidget()))
    {
      return s->value();
    }
  }
  return 0;
}

//------------------------------------------------------------------------------
void CDialog::ClickDlgButton(int id)
{
  CWnd* c = this->GetDlgItem(id);
  if (c)
  {
    QWidget* w = c->GetWidget();
    if (!w->isEnabled())
    {
      return;
    }
    if (auto* r = qobject_cast<QRadioButton*>(w))
    {
      r->setChecked(true);
    }
    else if (auto* b = qobject_cast<QCheckBox*>(w))
    {
      b->setChecked(!b->isChecked());
    }
  }
  else if (id != IDOK && id != IDCANCEL)
  {
    return;
  }
  this->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), 0), 0);
}

//------------------------------------------------------------------------------
// Data exchange.
namespace
{
template <class T>
T* ControlOf(CDataExchange* pDX, int id)
{
  CWnd* c = pDX->m_pDlgWnd->GetDlgItem(id);
  return c ? qobject_cast<T*>(c->GetWidget()) : nullptr;
}
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value)
{
  if (auto* e = ControlOf<QLineEdit>(pDX, id))
  {
    if (pDX->m_bSaveAndValidate)
    {
      value = e->text().toStdString();
    }
    else
    {
      e->setText(QString::fromStdString(value));
    }
  }
}

void DDX_Slider(CDataExchange* pDX, int id, int& value)
{
  if (auto* s = ControlOf<QSlider>(pDX, id))
  {
    if (pDX->m_bSaveAndValidate)
    {
      value = s->value();
    }
    else
    {
      s->setValue(value);
    }
  }
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
  if (auto* b = ControlOf<QAbstractButton>(pDX, id))
  {
    if (pDX->m_bSaveAndValidate)
    {
      value = b->isChecked() ? BST_CHECKED : BST_UNCHECKED;
    }
    else
    {
      b->setChecked(value == BST_CHECKED);
    }
  }
}

void DDX_Radio(CDataExchange* pDX, int id, int& value)
{
  // The group: the template's radio buttons from id on, up to the next that starts a group.
  const DialogTemplate& t = CResources::Get().Dialogs.at(pDX->m_pDlgWnd->GetTemplateId());
  std::vector<QRadioButton*> group;
  bool inGroup = false;
  for (const DialogControl& c : t.Controls)
  {
    if (!inGroup)
    {
      inGroup = c.Id == id;
    }
    else if (c.Type != DialogControl::RadioButton || c.Group)
    {
      break;
    }
    if (inGroup)
    {
      if (c.Type != DialogControl::RadioButton)
      {
        break;
      }
      if (auto* r = ControlOf<QRadioButton>(pDX, c.Id))
      {
        group.push_back(r);
      }
    }
  }
  if (pDX->m_bSaveAndValidate)
  {
    value = -1;
    for (std::size_t i = 0; i < group.size(); ++i)
    {
      if (group[i]->isChecked())
      {
        value = static_cast<int>(i);
        break;
      }
    }
  }
  else
  {
    for (std::size_t i = 0; i < group.size(); ++i)
    {
      group[i]->setChecked(static_cast<int>(i) == value);
    }
  }
}
