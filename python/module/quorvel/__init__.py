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


_SOLVERS = {"auto": 0, "envelope": 1, "sparse": 2}


def fit(source, target, radius, sparse=False, solver="auto", smoothing=0.0):
    """Fits the spline that carries each source landmark onto its target.

    source, target: vtkPoints or arrays of shape (n, 3), row i of one matching row i of the
    other; radius: the support radius; solver: "auto" (the faster method by prediction, as
    Pravik chooses), "envelope" (exactly the coefficients of the first versions of Pravik) or
    "sparse" (preconditioned conjugate gradients); sparse=True is the older spelling of
    solver="sparse". smoothing: S >= 0 for noisy landmarks (the kernel system Phi + S*I; 0,
    the default, interpolates). Returns the vtkLandmarkSplineFit (its GetTransform() is the
    deformation, its Get...Neighbors(), Get...Time() and GetLandmark...Distance() the
    statistics). Raises ValueError with the reason when the landmarks cannot be fitted.
    """
    if solver not in _SOLVERS:
        raise ValueError("solver must be one of %s, not %r" % (", ".join(_SOLVERS), solver))
    smoothing = float(smoothing)
    if not smoothing >= 0.0 or smoothing == float("inf"):
        raise ValueError("smoothing must be a finite number >= 0, not %r" % smoothing)
    result = vtkLandmarkSplineFit()
    result.SetSolver(_SOLVERS["sparse"] if sparse else _SOLVERS[solver])
    result.SetSmoothing(smoothing)
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
