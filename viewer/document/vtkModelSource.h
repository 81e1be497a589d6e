/**
 * @class   vtkModelSource
 * @brief   the head of the document's display pipeline: hands on the model as it was read
 *
 * The document reads and checks a model file completely before it shows it (see
 * ModelFile.h); this source then gives that model (shallow copied) to the filters after it.
 * Setting another model marks the source modified, so the pipeline re-executes.
 */
#ifndef vtkModelSource_h
#define vtkModelSource_h

#include <vtkPolyDataAlgorithm.h>

class vtkModelSource : public vtkPolyDataAlgorithm
{
public:
  static vtkModelSource* New();
  vtkTypeMacro(vtkModelSource, vtkPolyDataAlgorithm);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  ///@{
  /**
   * The model handed on; none (an empty output) at first.
   */
  void SetModel(vtkPolyData* model);
  vtkGetObjectMacro(Model, vtkPolyData);
  ///@}

protected:
  vtkModelSource();
  ~vtkModelSource() override;

  int RequestData(vtkInformation*, vtkInformationVector**, vtkInformationVector*) override;

  vtkPolyData* Model;

private:
  vtkModelSource(const vtkModelSource&) = delete;
  void operator=(const vtkModelSource&) = delete;
};

#endif
