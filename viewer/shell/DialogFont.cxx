#include "DialogFont.h"

#include "Dialog.h"
#include "Resources.h"

#include <QFont>
#include <QWidget>

//------------------------------------------------------------------------------
void ApplyTemplateFont(CDialog& dialog)
{
  QWidget* window = dialog.GetWidget();
  const auto& dialogs = CResources::Get().Dialogs;
  auto it = dialogs.find(dialog.GetTemplateId());
  if (!window || it == dialogs.end())
  {
    return;
  }
  // The template's face when the system has it; otherwise fontconfig's nearest sans face,
  // condensed. An 8-point template gets the 10-pixel size whose line is 13 pixels.
  QFont font(QString::fromStdString(it->second.FontName));
  font.setStyleHint(QFont::SansSerif);
  font.setStretch(QFont::SemiCondensed);
  font.setPixelSize(it->second.FontSize * 5 / 4);
  window->setFont(font);
}
