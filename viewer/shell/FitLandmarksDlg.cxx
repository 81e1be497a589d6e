#include "FitLandmarksDlg.h"

#include "DialogFont.h"
#include "FieldNumber.h"
#include "LandmarkNeighbours.h"
#include "LandmarkPairs.h"
#include "NumberText.h"
#include "resource.h"

#include <QLabel>
#include <QLineEdit>

#include <charconv>
#include <cmath>

//------------------------------------------------------------------------------
CFitLandmarksDlg::CFitLandmarksDlg(const LandmarkPairs& pairs, LandmarkNeighbours& neighbours,
  double radius, double smoothing, CWnd* parent)
  : CDialog(IDD_FIT_LANDMARKS, parent)
  , Radius(radius)
  , Smoothing(smoothing)
  , RadiusField(radius > 0.0 ? RadiusText(radius) : std::string())
  , Pairs(pairs)
  , Neighbours(neighbours)
{
  NumberText::AppendShortest(this->SmoothingField, smoothing);
  this->MapCommand(IDC_FIT_SUGGEST, &CFitLandmarksDlg::OnSuggest);
}

//------------------------------------------------------------------------------
BOOL CFitLandmarksDlg::OnInitDialog()
{
  CDialog::OnInitDialog();
  ApplyTemplateFont(*this);
  if (CWnd* label = this->GetDlgItem(IDC_FIT_NEIGHBOURS))
  {
    if (auto* text = qobject_cast<QLabel*>(label->GetWidget()))
    {
      text->setWordWrap(true);
    }
  }
  if (CWnd* field = this->GetDlgItem(IDC_FIT_RADIUS))
  {
    if (auto* edit = qobject_cast<QLineEdit*>(field->GetWidget()))
    {
      QObject::connect(edit, &QLineEdit::textChanged, edit, [this] { this->ShowStatistics(); });
    }
  }
  this->ShowStatistics();
  return TRUE;
}

//------------------------------------------------------------------------------
void CFitLandmarksDlg::DoDataExchange(CDataExchange* pDX)
{
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_FIT_RADIUS, this->RadiusField);
  DDX_Text(pDX, IDC_FIT_SMOOTHING, this->SmoothingField);
}

//------------------------------------------------------------------------------
std::string CFitLandmarksDlg::RadiusText(double radius)
{
  char buffer[64];
  const std::to_chars_result r =
    std::to_chars(buffer, buffer + sizeof buffer, radius, std::chars_format::general, 3);
  return std::string(buffer, r.ptr);
}

//------------------------------------------------------------------------------
std::string CFitLandmarksDlg::StatisticsText(const NeighbourStatistics& counts, vtkIdType pairs)
{
  std::string text =
    "Other landmarks within the radius: fewest " + std::to_string(counts.Fewest) + ", mean ";
  NumberText::AppendShortest(text, std::round(counts.Mean * 10.0) / 10.0);
  text += ", most " + std::to_string(counts.Most) +
    "; landmarks with none: " + std::to_string(counts.Lonely) + ".";
  if (counts.Counted < pairs)
  {
    text += " (Counted on " + std::to_string(counts.Counted) + " of the " + std::to_string(pairs) +
      " landmarks.)";
  }
  return text;
}

//------------------------------------------------------------------------------
void CFitLandmarksDlg::ShowStatistics()
{
  const vtkIdType n = this->Pairs.GetCount();
  double radius = 0.0;
  std::string text;
  if (n == 0)
  {
    text = "No landmarks are loaded (File > Load > Landmarks).";
  }
  else if (!ReadFieldNumber(this->GetDlgItemText(IDC_FIT_RADIUS), radius) || !(radius > 0.0))
  {
    const double suggested = this->Neighbours.Suggest(this->Pairs);
    text = "The radius is a positive number" +
      (suggested > 0.0 ? ", such as " + RadiusText(suggested) + "." : std::string("."));
  }
  else
  {
    text = StatisticsText(this->Neighbours.Count(this->Pairs, radius), n);
  }
  this->SetDlgItemText(IDC_FIT_NEIGHBOURS, text);
}

//------------------------------------------------------------------------------
void CFitLandmarksDlg::OnSuggest()
{
  const double radius = this->Neighbours.Suggest(this->Pairs);
  if (radius > 0.0)
  {
    this->SetDlgItemText(IDC_FIT_RADIUS, RadiusText(radius));
  }
}

//------------------------------------------------------------------------------
void CFitLandmarksDlg::OnOK()
{
  double radius = 0.0;
  double smoothing = 0.0;
  if (!ReadFieldNumber(this->GetDlgItemText(IDC_FIT_RADIUS), radius) || !(radius > 0.0) ||
    !std::isfinite(radius))
  {
    this->MessageBox("The radius must be a positive number, such as 0.5.");
    return;
  }
  if (!ReadFieldNumber(this->GetDlgItemText(IDC_FIT_SMOOTHING), smoothing) || !(smoothing >= 0.0) ||
    !std::isfinite(smoothing))
  {
    this->MessageBox("The smoothing must be 0 or a positive number, such as 0.01.");
    return;
  }
  CDialog::OnOK();
  this->Radius = radius;
  this->Smoothing = smoothing;
}
