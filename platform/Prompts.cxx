#include "Prompts.h"

#include "Dialog.h"
#include "Resources.h"
#include "Wnd.h"
#include "WndInternal.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

#include <atomic>

namespace
{
std::atomic<CPromptResponder*> Responder{ nullptr };

QWidget* ParentWidget(CWnd* parent)
{
  if (parent && parent->GetWidget())
  {
    return parent->GetWidget();
  }
  return QApplication::activeWindow();
}

std::string AppTitle()
{
  std::string title = CResources::Get().LoadString(AFX_IDS_APP_TITLE);
  return title.empty() ? QCoreApplication::applicationName().toStdString() : title;
}

// "*.BMP" matches "x.bmp" too, as it does on a file system that ignores case.
QString QtPatterns(const std::string& patterns)
{
  QStringList list;
  for (const QString& p : QString::fromStdString(patterns).split(';', Qt::SkipEmptyParts))
  {
    const QString t = p.trimmed();
    list << t;
    if (t.toLower() != t)
    {
      list << t.toLower();
    }
    else if (t.toUpper() != t)
    {
      list << t.toUpper();
    }
  }
  return list.join(' ');
}
}

//------------------------------------------------------------------------------
CPromptResponder* SetPromptResponder(CPromptResponder* responder)
{
  return Responder.exchange(responder);
}

//------------------------------------------------------------------------------
CPromptResponder* GetPromptResponder()
{
  return Responder.load();
}

//------------------------------------------------------------------------------
CScriptedPrompts::CScriptedPrompts()
  : Previous(SetPromptResponder(this))
{
}

//------------------------------------------------------------------------------
CScriptedPrompts::~CScriptedPrompts()
{
  SetPromptResponder(this->Previous);
}

void CScriptedPrompts::AnswerFile(const std::string& path)
{
  this->FileAnswers.push_back(FileDialogAnswer{ true, path });
}

void CScriptedPrompts::CancelFile()
{
  this->FileAnswers.push_back(FileDialogAnswer{ false, std::string() });
}

void CScriptedPrompts::AnswerColor(COLORREF color)
{
  this->ColorAnswers.push_back(ColorDialogAnswer{ true, color });
}

void CScriptedPrompts::CancelColor()
{
  this->ColorAnswers.push_back(ColorDialogAnswer{ false, 0 });
}

void CScriptedPrompts::AnswerMessage(int button)
{
  this->MessageAnswers.push_back(button);
}

void CScriptedPrompts::AnswerDialog(std::function<void(CDialog&)> script)
{
  this->DialogScripts.push_back(std::move(script));
}

//------------------------------------------------------------------------------
FileDialogAnswer CScriptedPrompts::FileDialog(const FileDialogRequest& request)
{
  this->FileRequests.push_back(request);
  if (this->FileAnswers.empty())
  {
    ++this->Unanswered;
    return FileDialogAnswer{};
  }
  FileDialogAnswer answer = this->FileAnswers.front();
  this->FileAnswers.pop_front();
  return answer;
}

//------------------------------------------------------------------------------
ColorDialogAnswer CScriptedPrompts::ColorDialog(const ColorDialogRequest& request)
{
  this->ColorRequests.push_back(request);
  if (this->ColorAnswers.empty())
  {
    ++this->Unanswered;
    return ColorDialogAnswer{};
  }
  ColorDialogAnswer answer = this->ColorAnswers.front();
  this->ColorAnswers.pop_front();
  return answer;
}

//------------------------------------------------------------------------------
int CScriptedPrompts::MessageBox(const MessageBoxRequest& request)
{
  this->Messages.push_back(request);
  if (this->MessageAnswers.empty())
  {
    return IDOK;
  }
  const int answer = this->MessageAnswers.front();
  this->MessageAnswers.pop_front();
  return answer;
}

//------------------------------------------------------------------------------
bool CScriptedPrompts::Dialog(CDialog& dialog)
{
  this->Dialogs.push_back(dialog.GetTemplateId());
  if (this->DialogScripts.empty())
  {
    ++this->Unanswered;
    dialog.ClickDlgButton(IDCANCEL);
    return true;
  }
  auto script = std::move(this->DialogScripts.front());
  this->DialogScripts.pop_front();
  script(dialog);
  return true;
}

//------------------------------------------------------------------------------
std::vector<std::pair<std::string, std::string>> CFileDialog::ParseNulFilter(const char* filter)
{
  std::vector<std::pair<std::string, std::string>> pairs;
  if (!filter)
  {
    return pairs;
  }
  const char* p = filter;
  for (int i = 0; i < 64 && *p; ++i)
  {
    std::string description(p);
    p += description.size() + 1;
    std::string pattern(p);
    p += pattern.size() + 1;
    pairs.emplace_back(description, pattern);
    if (pattern.empty())
    {
      break;
    }
  }
  return pairs;
}

//------------------------------------------------------------------------------
std::vector<std::pair<std::string, std::string>> CFileDialog::ParseBarFilter(
  const std::string& filter)
{
  std::vector<std::pair<std::string, std::string>> pairs;
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;)
  {
    const auto bar = filter.find('|', start);
    if (bar == std::string::npos)
    {
      if (start < filter.size())
      {
        parts.push_back(filter.substr(start));
      }
      break;
    }
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2)
  {
    if (parts[i].empty())
    {
      break;
    }
    pairs.emplace_back(parts[i], parts[i + 1]);
  }
  return pairs;
}

//------------------------------------------------------------------------------
CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName,
  DWORD flags, const char* filter, CWnd* parent)
  : Open(openFileDialog != FALSE)
  , Parent(parent)
{
  this->m_ofn.Flags = flags;
  if (defaultExtension)
  {
    this->m_ofn.lpstrDefExt = defaultExtension;
    if (!this->m_ofn.lpstrDefExt.empty() && this->m_ofn.lpstrDefExt[0] == '.')
    {
      this->m_ofn.lpstrDefExt.erase(0, 1);
    }
  }
  if (fileName)
  {
    this->m_ofn.lpstrFile = fileName;
  }
  if (filter)
  {
    this->Filters = ParseBarFilter(filter);
  }
}

//------------------------------------------------------------------------------
int CFileDialog::DoModal()
{
  FileDialogRequest request;
  request.Open = this->Open;
  request.Title = this->m_ofn.lpstrTitle;
  request.Filters =
    this->m_ofn.lpstrFilter ? ParseNulFilter(this->m_ofn.lpstrFilter) : this->Filters;
  request.DefaultExtension = this->m_ofn.lpstrDefExt;
  request.InitialName = this->m_ofn.lpstrFile;
  request.Flags = this->m_ofn.Flags;

  if (CPromptResponder* responder = GetPromptResponder())
  {
    const FileDialogAnswer answer = responder->FileDialog(request);
    if (!answer.Confirmed)
    {
      return IDCANCEL;
    }
    this->m_ofn.lpstrFile = answer.Path;
    return IDOK;
  }

  platform_detail::EnsureApplication();
  QFileDialog dialog(ParentWidget(this->Parent), QString::fromStdString(request.Title));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(request.Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(request.Open && (request.Flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                                         : QFileDialog::AnyFile);
  dialog.setOption(
    QFileDialog::DontConfirmOverwrite, request.Open || !(request.Flags & OFN_OVERWRITEPROMPT));
  QStringList filters;
  for (const auto& f : request.Filters)
  {
    filters << QString::fromStdString(f.first) + " (" + QtPatterns(f.second) + ")";
  }
  if (!filters.isEmpty())
  {
    dialog.setNameFilters(filters);
  }
  if (!request.DefaultExtension.empty())
  {
    dialog.setDefaultSuffix(QString::fromStdString(request.DefaultExtension));
  }
  if (!request.InitialName.empty())
  {
    dialog.selectFile(QString::fromStdString(request.InitialName));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
  {
    return IDCANCEL;
  }
  this->m_ofn.lpstrFile = dialog.selectedFiles().front().toStdString();
  return IDOK;
}

//------------------------------------------------------------------------------
CColorDialog::CColorDialog(COLORREF initial, DWORD flags, CWnd* parent)
  : Parent(parent)
{
  this->m_cc.Flags = flags | CC_RGBINIT;
  this->m_cc.rgbResult = initial;
}

//------------------------------------------------------------------------------
int CColorDialog::DoModal()
{
  ColorDialogRequest request;
  request.Initial = this->m_cc.rgbResult;
  request.Flags = this->m_cc.Flags;
  if (CPromptResponder* responder = GetPromptResponder())
  {
    const ColorDialogAnswer answer = responder->ColorDialog(request);
    if (!answer.Confirmed)
    {
      return IDCANCEL;
    }
    this->m_cc.rgbResult = answer.Color;
    return IDOK;
  }
  platform_detail::EnsureApplication();
  const QColor initial(
    GetRValue(request.Initial), GetGValue(request.Initial), GetBValue(request.Initial));
  QColorDialog dialog(initial, ParentWidget(this->Parent));
  dialog.setOption(QColorDialog::DontUseNativeDialog, true);
  if (dialog.exec() != QDialog::Accepted)
  {
    return IDCANCEL;
  }
  const QColor chosen = dialog.selectedColor();
  this->m_cc.rgbResult = RGB(static_cast<unsigned>(chosen.red()),
    static_cast<unsigned>(chosen.green()), static_cast<unsigned>(chosen.blue()));
  return IDOK;
}

//------------------------------------------------------------------------------
int platform_detail::ShowMessageBox(QWidget* parent, const MessageBoxRequest& request)
{
  platform_detail::EnsureApplication();
  const QString caption =
    QString::fromStdString(request.Caption.empty() ? AppTitle() : request.Caption);
  const QString text = QString::fromStdString(request.Text);
  const UINT buttons = request.Type & 0x0F;
  if (buttons == MB_YESNO)
  {
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) ==
        QMessageBox::Yes
      ? IDYES
      : IDNO;
  }
  if (buttons == MB_YESNOCANCEL)
  {
    const auto pressed = QMessageBox::question(parent, caption, text,
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
    return pressed == QMessageBox::Yes ? IDYES : pressed == QMessageBox::No ? IDNO : IDCANCEL;
  }
  if (buttons == MB_OKCANCEL)
  {
    return QMessageBox::warning(parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
        QMessageBox::Ok
      ? IDOK
      : IDCANCEL;
  }
  QMessageBox::warning(parent, caption, text, QMessageBox::Ok);
  return IDOK;
}

//------------------------------------------------------------------------------
int AfxMessageBox(const std::string& text, UINT type)
{
  MessageBoxRequest request;
  request.Text = text;
  request.Caption = AppTitle();
  request.Type = type;
  if (CPromptResponder* responder = GetPromptResponder())
  {
    return responder->MessageBox(request);
  }
  return platform_detail::ShowMessageBox(QApplication::activeWindow(), request);
}
