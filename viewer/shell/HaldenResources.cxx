#include "HaldenResources.h"

#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "Pictures.h"
#include "Resources.h"
#include "resource.h"
#include "vtkMFCDoc.h"
#include "vtkRecordPlayView.h"

namespace
{
void LoadStrings(CResources& res)
{
  // Title, no document name, new-file name "Hald", no filter, the registry type.
  res.Strings[IDR_MAINFRAME] = "Halden\n\nHald\n\n\nHalden.Document\nHald Document";
  res.Strings[AFX_IDS_APP_TITLE] = "Halden";
  res.Strings[AFX_IDS_IDLEMESSAGE] = "Ready";
  // Status-bar prompt before "\n", tooltip after it; the toolbar's commands have none.
  res.Strings[ID_FILE_OPEN] = "Open an existing model file\nOpen";
  res.Strings[ID_SAVE_MODEL] = "Save model file\nSave";
  res.Strings[ID_LOAD_BACKGROUND] = "Load an existing background image";
  res.Strings[ID_LOAD_TEXTURE] = "Load an existing texture file";
  res.Strings[ID_LOAD_TRANSFORM] = "Load an existing transformation file";
  res.Strings[ID_PLAY] = "Play";
  res.Strings[ID_PAUSE] = "Pause play, record or transformation";
  res.Strings[ID_STOP] = "Stop play or record";
  res.Strings[ID_RECORD] = "Record";
  res.Strings[ID_BODY_COLOR] = "Update/Change Body Color";
  res.Strings[ID_OPTIONS] = "Show Options dialog box";
  // Commands beyond the first version's.
  res.Strings[ID_CLOSE_TRANSFORM] = "Remove the loaded transformation\nClose Transform";
  res.Strings[ID_SET_BLEND] = "Pause at a chosen blend from 0 to 1\nSet Blend";
  res.Strings[ID_VIEW_RESET_CAMERA] = "Back to the view the model opened with\nReset Camera";
  res.Strings[ID_VIEW_FRONT] = "Look at the model from the front (along -z)\nFront";
  res.Strings[ID_VIEW_BACK] = "Look at the model from the back (along +z)\nBack";
  res.Strings[ID_VIEW_LEFT] = "Look at the model from the left (along +x)\nLeft";
  res.Strings[ID_VIEW_RIGHT] = "Look at the model from the right (along -x)\nRight";
  res.Strings[ID_VIEW_TOP] = "Look at the model from above (along -y)\nTop";
  res.Strings[ID_VIEW_BOTTOM] = "Look at the model from below (along +y)\nBottom";
  res.Strings[ID_VIEW_AXES] = "Show or hide the orientation marker\nOrientation Axes";
  res.Strings[ID_LOAD_LANDMARKS] = "Load a landmark file to show on the model\nLoad Landmarks";
  res.Strings[ID_VIEW_LANDMARKS] = "Show or hide the landmarks\nLandmarks";
  res.Strings[ID_EDIT_SOURCES] =
    "Place and move landmark sources on the model as loaded\nEdit Sources";
  res.Strings[ID_EDIT_TARGETS] =
    "Move landmark targets on the deformed model or onto the target model\nEdit Targets";
  res.Strings[ID_STOP_EDITING] = "Back to turning the camera with the mouse\nStop Editing";
  res.Strings[ID_LANDMARK_DELETE] = "Remove the selected landmark pair\nDelete Pair";
  res.Strings[ID_EDIT_UNDO] = "Take back the last landmark edit\nUndo";
  res.Strings[ID_LANDMARK_REDO] = "Do again the landmark edit taken back\nRedo";
  res.Strings[ID_SAVE_LANDMARKS] = "Save the landmarks as a landmark file\nSave Landmarks";
  res.Strings[ID_LOAD_POINTS] =
    "Load points (three numbers a line) that the deformation carries along\nLoad Points";
  res.Strings[ID_SAVE_POINTS] =
    "Save the loaded points where the deformation shown takes them\nSave Points";
  res.Strings[ID_LOAD_TARGET_MODEL] =
    "Show a second model to place the landmarks' targets on\nLoad Target Model";
  res.Strings[ID_FIT_LANDMARKS] =
    "Fit a transform to the landmarks, with a radius and smoothing\nFit Landmarks";
  res.Strings[ID_SAVE_TRANSFORM] = "Save the transform in force as a .trc file\nSave Transform";
  res.Strings[ID_COLOUR_PLAIN] = "Show the body in its own colour\nPlain";
  res.Strings[ID_COLOUR_DISPLACEMENT] =
    "Colour the body by how far each point has moved at the blend shown\nDisplacement";
  res.Strings[ID_COLOUR_STRETCH] = "Colour the body by how the deformation stretches, squeezes "
                                   "or folds space at the blend shown\nStretch";
}

void LoadMenu(CResources& res)
{
  using M = MenuItem;
  res.Menus[IDR_MAINFRAME] = {
    M::Sub("&File",
      {
        M::Item("&Open Model...\tCtrl+O", ID_FILE_OPEN),
        // The label names Ctrl-S, but no accelerator exists for it.
        M::Item("&Save Model...\tCtrl-S", ID_SAVE_MODEL),
        M::Item("Save Land&marks...", ID_SAVE_LANDMARKS),
        M::Item("Save &Points...", ID_SAVE_POINTS),
        M::Sub("&Load",
          {
            M::Item("&Background...", ID_LOAD_BACKGROUND),
            M::Item("T&exture...", ID_LOAD_TEXTURE),
            M::Item("&Transform...", ID_LOAD_TRANSFORM),
            M::Item("&Landmarks...\tCtrl+L", ID_LOAD_LANDMARKS),
            M::Item("&Points...", ID_LOAD_POINTS),
            M::Item("Target &Model...", ID_LOAD_TARGET_MODEL),
          }),
        M::Item("&Close Transform\tCtrl+Shift+T", ID_CLOSE_TRANSFORM),
        M::Item("Save T&ransform...", ID_SAVE_TRANSFORM),
        M::Sep(),
        M::Item("Recent File", ID_FILE_MRU_FILE1, true),
        M::Sep(),
        M::Item("E&xit", ID_APP_EXIT),
      }),
    M::Sub("&Edit",
      {
        M::Item("&Copy\tCtrl+C", ID_EDIT_COPY),
        M::Sep(),
        M::Item("&Undo Landmark Edit\tCtrl+Z", ID_EDIT_UNDO),
        M::Item("&Redo Landmark Edit\tCtrl+Shift+Z", ID_LANDMARK_REDO),
      }),
    M::Sub("&Play",
      {
        M::Item("&Play\tCtrl-P", ID_PLAY),
        M::Item("P&ause\tSpace", ID_PAUSE),
        M::Item("&Stop\tCtrl-Break", ID_STOP),
        M::Sep(),
        M::Item("&Record\tCtrl-R", ID_RECORD),
      }),
    M::Sub("&View",
      {
        M::Item("&Toolbar", ID_VIEW_TOOLBAR),
        M::Item("&Status Bar", ID_VIEW_STATUS_BAR),
        M::Sep(),
        M::Item("Body Color", ID_BODY_COLOR),
        M::Item("&Options...", ID_OPTIONS),
        M::Sep(),
        M::Item("&Reset Camera\tHome", ID_VIEW_RESET_CAMERA),
        M::Sub("Standard &Views",
          {
            M::Item("&Front\tCtrl+1", ID_VIEW_FRONT),
            M::Item("&Back\tCtrl+2", ID_VIEW_BACK),
            M::Item("&Left\tCtrl+3", ID_VIEW_LEFT),
            M::Item("&Right\tCtrl+4", ID_VIEW_RIGHT),
            M::Item("&Top\tCtrl+5", ID_VIEW_TOP),
            M::Item("B&ottom\tCtrl+6", ID_VIEW_BOTTOM),
          }),
        M::Item("Orientation &Axes\tCtrl+M", ID_VIEW_AXES),
        M::Item("&Landmarks\tL", ID_VIEW_LANDMARKS),
        M::Sub("&Colour",
          {
            M::Item("&Plain", ID_COLOUR_PLAIN),
            M::Item("&Displacement", ID_COLOUR_DISPLACEMENT),
            M::Item("&Stretch", ID_COLOUR_STRETCH),
          }),
      }),
    M::Sub("Land&marks",
      {
        M::Item("Edit &Sources", ID_EDIT_SOURCES),
        M::Item("Edit &Targets", ID_EDIT_TARGETS),
        M::Item("Stop &Editing\tEsc", ID_STOP_EDITING),
        M::Sep(),
        M::Item("&Delete Pair\tDel", ID_LANDMARK_DELETE),
      }),
    M::Sub("&Deformation",
      {
        M::Item("Set &Blend...\tCtrl+B", ID_SET_BLEND),
        M::Item("&Fit Landmarks...", ID_FIT_LANDMARKS),
      }),
    M::Sub("&Help", { M::Item("&About Halden...", ID_APP_ABOUT) }),
  };
}

void LoadAccelerators(CResources& res)
{
  // Table order; the entries whose commands nobody handles do nothing.
  constexpr BYTE Ctrl = FVIRTKEY | FCONTROL | FNOINVERT;
  constexpr BYTE Shift = FVIRTKEY | FSHIFT | FNOINVERT;
  constexpr BYTE Alt = FVIRTKEY | FALT | FNOINVERT;
  constexpr BYTE Plain = FVIRTKEY | FNOINVERT;
  res.Accelerators[IDR_MAINFRAME] = {
    { Ctrl, 'C', ID_EDIT_COPY },
    { Ctrl, 'F', ID_FIND },
    { Ctrl, 'N', ID_FILE_NEW },
    { Ctrl, 'O', ID_FILE_OPEN },
    { Ctrl, 'P', ID_PLAY },
    { Ctrl, 'R', ID_RECORD },
    { Ctrl, 'V', ID_EDIT_PASTE },
    { Alt, VK_BACK, ID_EDIT_UNDO },
    { Ctrl, VK_CANCEL, ID_STOP },
    { Shift, VK_DELETE, ID_EDIT_CUT },
    { Plain, VK_F6, ID_NEXT_PANE },
    { Shift, VK_F6, ID_PREV_PANE },
    { Ctrl, VK_INSERT, ID_EDIT_COPY },
    { Shift, VK_INSERT, ID_EDIT_PASTE },
    { Plain, VK_SPACE, ID_PAUSE },
    { Ctrl, 'X', ID_EDIT_CUT },
    { Ctrl, 'Z', ID_EDIT_UNDO },
    // Beyond the first version's table, on keys it leaves free.
    { Plain, VK_HOME, ID_VIEW_RESET_CAMERA },
    { Ctrl, '1', ID_VIEW_FRONT },
    { Ctrl, '2', ID_VIEW_BACK },
    { Ctrl, '3', ID_VIEW_LEFT },
    { Ctrl, '4', ID_VIEW_RIGHT },
    { Ctrl, '5', ID_VIEW_TOP },
    { Ctrl, '6', ID_VIEW_BOTTOM },
    { Ctrl, 'M', ID_VIEW_AXES },
    { Ctrl, 'B', ID_SET_BLEND },
    { static_cast<BYTE>(Ctrl | FSHIFT), 'T', ID_CLOSE_TRANSFORM },
    { Ctrl, 'L', ID_LOAD_LANDMARKS },
    { Plain, 'L', ID_VIEW_LANDMARKS },
    { static_cast<BYTE>(Ctrl | FSHIFT), 'Z', ID_LANDMARK_REDO },
    { Plain, VK_DELETE, ID_LANDMARK_DELETE },
    { Plain, VK_ESCAPE, ID_STOP_EDITING },
  };
}

void LoadToolbar(CResources& res)
{
  ToolbarResource toolbar = DrawPlaybarButtons();
  toolbar.Buttons = { ID_PLAY, ID_PAUSE, ID_STOP, ID_SEPARATOR, ID_RECORD };
  res.Toolbars[IDR_PLAYBAR] = toolbar;
}

void LoadDialogs(CResources& res)
{
  using C = DialogControl;
  auto control = [](C::Kind kind, int id, const char* text, int x, int y, int w, int h)
  {
    C c;
    c.Type = kind;
    c.Id = id;
    c.Text = text;
    c.X = x;
    c.Y = y;
    c.Width = w;
    c.Height = h;
    return c;
  };

  DialogTemplate about;
  about.Title = "About...";
  about.Width = 87;
  about.Height = 122;
  about.FontName = "MS Sans Serif";
  about.FontSize = 8;
  C picture = control(C::Picture, -1, "", 7, 20, 73, 76);
  picture.BitmapId = IDB_ABOUT;
  about.Controls = {
    control(C::CenteredLabel, -1, "Halden Version 1.0", 7, 7, 73, 8),
    picture,
    control(C::DefPushButton, IDOK, "OK", 18, 101, 50, 14),
  };
  res.Dialogs[IDD_ABOUTBOX] = about;

  // Template order is the tab order. Each radio button is a group of its own.
  DialogTemplate options;
  options.Title = "Dialog";
  options.Width = 186;
  options.Height = 94;
  options.FontName = "MS Sans Serif";
  options.FontSize = 8;
  C realtime = control(C::RadioButton, IDC_REALTIME, "Realtime", 9, 36, 43, 10);
  realtime.Group = true;
  C savePpm = control(C::RadioButton, IDC_SAVEPPM, "Save PPM", 9, 49, 50, 10);
  savePpm.Group = true;
  options.Controls = {
    control(C::PushButton, IDOK, "OK", 69, 73, 50, 14),
    control(C::PushButton, IDCANCEL, "Cancel", 129, 73, 50, 14),
    control(C::DefPushButton, IDC_APPLY, "Apply", 7, 73, 50, 14),
    control(C::Trackbar, IDC_SPEED, "", 7, 22, 105, 11),
    control(C::Trackbar, IDC_INTERVAL, "", 7, 8, 106, 11),
    control(C::Label, -1, "Timer Interval", 115, 9, 44, 8),
    control(C::Label, -1, "Transform Speed", 115, 23, 55, 8),
    realtime,
    savePpm,
    control(C::Edit, IDC_PREFIX, "", 59, 47, 106, 14),
    control(C::PushButton, IDC_BROWSE, "...", 165, 47, 12, 14),
    // Beyond the first version's dialog, in room it leaves free.
    control(C::CheckBox, IDC_TEXTURE_AS_LOADED, "Texture moves with surface", 59, 36, 120, 10),
    control(C::Label, IDC_OPTION_VALUES, "", 7, 62, 172, 9),
  };
  res.Dialogs[IDD_OPTIONS] = options;

  DialogTemplate blend;
  blend.Title = "Set Blend";
  blend.Width = 150;
  blend.Height = 50;
  blend.FontName = "MS Sans Serif";
  blend.FontSize = 8;
  blend.Controls = {
    control(C::Label, -1, "Blend (0 to 1):", 7, 9, 60, 8),
    control(C::Edit, IDC_BLEND, "", 70, 7, 73, 14),
    control(C::DefPushButton, IDOK, "OK", 19, 29, 50, 14),
    control(C::PushButton, IDCANCEL, "Cancel", 81, 29, 50, 14),
  };
  res.Dialogs[IDD_SET_BLEND] = blend;

  DialogTemplate fit;
  fit.Title = "Fit Landmarks";
  fit.Width = 250;
  fit.Height = 92;
  fit.FontName = "MS Sans Serif";
  fit.FontSize = 8;
  fit.Controls = {
    control(C::Label, -1, "Radius:", 7, 9, 50, 8),
    control(C::Edit, IDC_FIT_RADIUS, "", 60, 7, 100, 14),
    control(C::PushButton, IDC_FIT_SUGGEST, "Suggest", 166, 7, 50, 14),
    control(C::Label, -1, "Smoothing:", 7, 27, 50, 8),
    control(C::Edit, IDC_FIT_SMOOTHING, "", 60, 25, 100, 14),
    control(C::Label, IDC_FIT_NEIGHBOURS, "", 7, 45, 236, 20),
    control(C::DefPushButton, IDOK, "OK", 69, 71, 50, 14),
    control(C::PushButton, IDCANCEL, "Cancel", 131, 71, 50, 14),
  };
  res.Dialogs[IDD_FIT_LANDMARKS] = fit;

  res.Bitmaps[IDB_ABOUT] = DrawAboutPicture();
}
}

//------------------------------------------------------------------------------
void LoadHaldenResources()
{
  CResources& res = CResources::Get();
  LoadStrings(res);
  LoadMenu(res);
  LoadAccelerators(res);
  LoadToolbar(res);
  LoadDialogs(res);
}
