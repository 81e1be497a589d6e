/**
 * @class CFitLandmarksDlg
 * @brief Deformation > Fit Landmarks: the support radius and the smoothing of a fit of the
 * document's landmarks (dialog IDD_FIT_LANDMARKS).
 *
 * While the radius is typed the dialog shows how many other landmarks lie within it of each
 * landmark's source: the fewest, the mean and the most, and how many landmarks have none (a
 * radius that joins nearly every landmark to every other is counted on an even sample of a
 * large set, and says so). Suggest fills in the radius that gives about 30 neighbours.
 *
 * OK takes a radius that is a positive number and a smoothing of 0 or more (decimal point in
 * every locale); anything else is named in a message and the dialog stays open.
 */
#ifndef Halden_FitLandmarksDlg_h
#define Halden_FitLandmarksDlg_h

#include "Dialog.h"
#include "NeighbourStatistics.h"

#include <string>

class LandmarkNeighbours;
class LandmarkPairs;

class CFitLandmarksDlg : public CDialog
{
public:
  /// radius and smoothing: the values the fields start with; neighbours counts for pairs.
  CFitLandmarksDlg(const LandmarkPairs& pairs, LandmarkNeighbours& neighbours, double radius,
    double smoothing, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(CDataExchange* pDX) override;
  /// Suggest: the radius that gives about 30 neighbours, in the field.
  void OnSuggest();

  /// The statistics line for counts over a set of `pairs` landmarks.
  static std::string StatisticsText(const NeighbourStatistics& counts, vtkIdType pairs);
  /// A radius as the field shows it: three significant digits.
  static std::string RadiusText(double radius);

  /// The values chosen (after OK) or the starting ones.
  double Radius;
  double Smoothing;
  std::string RadiusField;
  std::string SmoothingField;

private:
  void ShowStatistics();
  const LandmarkPairs& Pairs;
  LandmarkNeighbours& Neighbours;
};

#endif
