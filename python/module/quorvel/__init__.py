"""Landmark spline deformation for VTK pipelines.

vtkLandmarkSplineFit fits the compactly supported radial-basis spline of Pravik to landmark
pairs held in memory and hands it out as a vtkShapeTransform (GetTransform()), ready for
vtkTransformPolyDataFilter; it also writes and reads transform coefficient files (".trc").
fit() takes the landmarks as vtkPoints or as numpy arrays of shape (n, 3).
"""

from .QuorvelDeformation import vtkLandmarkSplineFit, vtkShapeTransform

__all__ = ["vtkLandmarkSplineFit", "vtkShapeTransform", "as_points", "fit", "read_transform"]


def as_points(points):
    """A vtkPoints from a vtkPoints (returned as it is) or an array-like of shape (n, 3)."""
    from vtkmodules.vtkCommonCore import vtkPoints

    if isinstance(points, vtkPoints):
        return points
    import numpy
    from vtkmodules.util.numpy_support import numpy_to_vtk

    array = numpy.ascontiguousarray(points, dtype=numpy.float64)
    if array.ndim != 2 or array.shape[1] != 3:
        raise ValueError("landmarks must have the shape (n, 3), not %s" % (array.shape,))
    result = vtkPoints()
    result.SetDataTypeToDouble()
    result.SetData(numpy_to_vtk(array, deep=True))
    return result


def fit(source, target, radius, sparse=False):
    """Fits the spline that carries each source landmark onto its target.

    source, target: vtkPoints or arrays of shape (n, 3), row i of one matching row i of the
    other; radius: the support radius; sparse: solve by conjugate gradients even where the
    envelope factorisation fits (much faster from about 10,000 landmarks; coefficients within
    about 1e-5 of the envelope's instead of exactly Pravik's). Returns the vtkLandmarkSplineFit
    (its GetTransform() is the deformation, its Get...Neighbors() and Get...Time() the
    statistics). Raises ValueError with the reason when the landmarks cannot be fitted.
    """
    result = vtkLandmarkSplineFit()
    result.SetSparseSolve(bool(sparse))
    result.SetSourceLandmarks(as_points(source))
    result.SetTargetLandmarks(as_points(target))
    result.SetRadius(float(radius))
    if not result.Fit():
        raise ValueError(result.GetErrorMessage())
    return result


def read_transform(path):
    """The vtkShapeTransform of a transform coefficient file (".trc"); raises ValueError."""
    loaded = vtkLandmarkSplineFit()
    if not loaded.ReadCoefficientFile(str(path)):
        raise ValueError(loaded.GetErrorMessage())
    return loaded.GetTransform()
