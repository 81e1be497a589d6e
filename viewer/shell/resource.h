/**
 * @file resource.h
 * @brief Identifiers of Halden's own resources: the main frame's menu, accelerators and
 * strings, the toolbar, the dialogs with their controls and the About picture.
 *
 * Commands handled by the document and the views are named where their handlers live
 * (vtkMFCDoc.h, CHaldenDoc.h, vtkRecordPlayView.h, CHaldenView.h); the framework's own
 * commands and strings are in Resources.h.
 */
#ifndef Halden_resource_h
#define Halden_resource_h

#include "win32.h"

/// Menu, accelerator table and document template string of the main frame.
constexpr UINT IDR_MAINFRAME = 128;
/// The Play / Pause / Stop / Record toolbar.
constexpr UINT IDR_PLAYBAR = 130;
/// The About box and its picture.
constexpr UINT IDD_ABOUTBOX = 100;
constexpr UINT IDB_ABOUT = 135;
/// The options dialog and its controls.
constexpr UINT IDD_OPTIONS = 132;
constexpr int IDC_APPLY = 3;
constexpr int IDC_SPEED = 1001;
constexpr int IDC_INTERVAL = 1002;
constexpr int IDC_REALTIME = 1003;
constexpr int IDC_SAVEPPM = 1004;
constexpr int IDC_PREFIX = 1005;
constexpr int IDC_BROWSE = 1006;
/// Deformation > Set Blend: the dialog and its field.
constexpr UINT ID_SET_BLEND = 32818;
constexpr UINT IDD_SET_BLEND = 140;
constexpr int IDC_BLEND = 1101;
/// Options: where texture coordinates come from, and the sliders' values.
constexpr int IDC_TEXTURE_AS_LOADED = 1007;
constexpr int IDC_OPTION_VALUES = 1008;
/// Ctrl+F sends this command; no class handles it, so the key does nothing.
constexpr UINT ID_FIND = 32798;
/// Deformation > Fit Landmarks: the dialog, its fields, the Suggest button and the
/// neighbour statistics.
constexpr UINT IDD_FIT_LANDMARKS = 33060;
constexpr int IDC_FIT_RADIUS = 33061;
constexpr int IDC_FIT_SMOOTHING = 33062;
constexpr int IDC_FIT_SUGGEST = 33063;
constexpr int IDC_FIT_NEIGHBOURS = 33064;

#endif
