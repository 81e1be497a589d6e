// The view's landmark editing commands: the modes, Delete, Undo and Redo (the work is the
// LandmarkEditor's).
#include "CHaldenView.h"

#include "CHaldenDoc.h"
#include "LandmarkEditor.h"
#include "Resources.h"

//------------------------------------------------------------------------------
void CHaldenView::MapEditingCommands()
{
  this->Editor = std::make_unique<LandmarkEditor>(*this);
  using Mode = LandmarkEditor::Mode;
  LandmarkEditor* editor = this->Editor.get();
  // A mode's command again leaves editing.
  auto toggle = [editor](Mode mode)
  { editor->SetMode(editor->GetMode() == mode ? Mode::Off : mode); };
  auto modeUI = [editor](Mode mode, CCmdUI* ui)
  {
    ui->Enable(editor->CanEdit());
    ui->SetCheck(editor->GetMode() == mode ? 1 : 0);
  };
  this->MapCommand(ID_EDIT_SOURCES, CommandHandler([toggle] { toggle(Mode::Sources); }));
  this->MapCommandUI(
    ID_EDIT_SOURCES, UpdateHandler([modeUI](CCmdUI* ui) { modeUI(Mode::Sources, ui); }));
  this->MapCommand(ID_EDIT_TARGETS, CommandHandler([toggle] { toggle(Mode::Targets); }));
  this->MapCommandUI(
    ID_EDIT_TARGETS, UpdateHandler([modeUI](CCmdUI* ui) { modeUI(Mode::Targets, ui); }));
  this->MapCommand(ID_STOP_EDITING, CommandHandler([editor] { editor->SetMode(Mode::Off); }));
  this->MapCommandUI(ID_STOP_EDITING,
    UpdateHandler([editor](CCmdUI* ui) { ui->Enable(editor->GetMode() != Mode::Off); }));

  this->MapCommand(ID_LANDMARK_DELETE, CommandHandler([editor] { editor->DeleteSelected(); }));
  this->MapCommandUI(ID_LANDMARK_DELETE,
    UpdateHandler([editor](CCmdUI* ui)
      { ui->Enable(editor->GetMode() != Mode::Off && editor->GetSelected() >= 0); }));
  this->MapCommand(ID_EDIT_UNDO, CommandHandler([editor] { editor->Undo(); }));
  this->MapCommand(ID_LANDMARK_REDO, CommandHandler([editor] { editor->Redo(); }));
  auto document = [this] { return dynamic_cast<CHaldenDoc*>(this->GetDocument()); };
  this->MapCommandUI(ID_EDIT_UNDO,
    UpdateHandler(
      [document](CCmdUI* ui) { ui->Enable(document() && document()->LandmarkUndo.CanUndo()); }));
  this->MapCommandUI(ID_LANDMARK_REDO,
    UpdateHandler(
      [document](CCmdUI* ui) { ui->Enable(document() && document()->LandmarkUndo.CanRedo()); }));
}
