/**
 * @class TargetModel
 * @brief A second model shown beside the deformed one: the specimen the landmarks' targets
 * are placed on. Read through the same reader and checks as Open Model (any format it
 * reads), drawn translucent in a colour of its own so the deformed model stays visible
 * through it, and pickable so that a click can place a target on its surface.
 */
#ifndef TargetModel_h
#define TargetModel_h

#include <string>

class vtkActor;
class vtkPolyData;

class TargetModel
{
public:
  TargetModel();
  ~TargetModel();
  TargetModel(const TargetModel&) = delete;
  TargetModel& operator=(const TargetModel&) = delete;

  /// Reads the model; on failure (false, reason set) the target model stays as it was.
  bool Load(const std::string& path, std::string& reason);
  /// Forgets the target model.
  void Clear();
  /// Whether a target model is loaded.
  bool IsLoaded() const { return !this->FileName.empty(); }
  /// The file it came from, empty when none is loaded.
  const std::string& GetFileName() const { return this->FileName; }
  /// The actor that shows it (always the same object).
  vtkActor* GetActor() const { return this->Actor; }
  /// The surface as read (empty before a load).
  vtkPolyData* GetSurface() const { return this->Surface; }

private:
  std::string FileName;
  vtkPolyData* Surface;
  vtkActor* Actor;
};

#endif
