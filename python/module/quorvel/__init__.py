"""Landmark spline deformation for VTK pipelines.

Give pairs of landmarks (where points of a model are, and where they should go) and a
support radius; quorvel fits the smooth deformation that carries every source landmark onto
its target and hands it out as a VTK transform, ready for vtkTransformPolyDataFilter. It is
the fit of the program Pravik and the deformation of the viewer Halden, in memory.

Functions:
    fit(source, target, radius, solver="auto", smoothing=0.0)
        Fits the spline; source and target are numpy arrays of shape (n, 3) or vtkPoints.
        Returns a vtkLandmarkSplineFit: GetTransform() is the deformation (a
        vtkShapeTransform), WriteCoefficientFile(path) writes Pravik's ".trc" file,
        Get...Neighbors() and Get...Time() describe the fit. Raises ValueError with the
        reason when the landmarks cannot be fitted.
    read_transform(path)
        The vtkShapeTransform of a ".trc" file written by Pravik or by fit(); raises
        ValueError with the reason when the file is refused.
    as_points(array)
        A vtkPoints from an array of shape (n, 3).
    transform_points(transform, points)
        An (n, 3) array of points in, the (n, 3) float64 array of where the transform takes
        them out, computed on all cores.
    jacobian_determinants(transform, points)
        The Jacobian determinant of the deformation at each point: 0 or below where it
        folds space.
    fit_arrays(fit)
        A fit's radius, landmarks, ordering and coefficients as numpy arrays.

Classes: vtkLandmarkSplineFit (the fit), vtkShapeTransform (the deformation; SetFactor
blends between no deformation, 0, and the full one, 1; GetInverse() inverts it by Newton's
method).

Precision and limits:
    * The fit is Pravik's, with a single-precision factor: landmarks land on their targets
      within single-precision rounding, not exactly, and the ".trc" file is Pravik's byte
      for byte with solver="envelope". solver="sparse" solves by preconditioned conjugate
      gradients in double precision instead (much faster from about 10,000 landmarks);
      "auto" (the default) takes whichever is predicted to be faster.
    * Each landmark reaches as far as the radius: a point beyond every landmark's reach keeps
      its place. Give each landmark a few dozen others within the radius (about 30).
    * Two landmarks at one source position cannot be fitted.
    * The package prints nothing: failures raise ValueError with the reason, and what the
      library warns about (landmarks that do not span space, say) comes as a Python warning
      (RuntimeWarning).

Example (the bundled sample):
    import numpy, vtk, quorvel
    landmarks = numpy.loadtxt("data/leg.dat")    # source x y z, target x y z
    fit = quorvel.fit(landmarks[:, :3], landmarks[:, 3:], 0.25)
    reader = vtk.vtkPolyDataReader()
    reader.SetFileName("data/leg.vtk")
    warp = vtk.vtkTransformPolyDataFilter()
    warp.SetTransform(fit.GetTransform())
    warp.SetInputConnection(reader.GetOutputPort())
    warp.Update()                                 # warp.GetOutput(): the deformed leg
"""

import re
import warnings

from .QuorvelDeformation import vtkLandmarkSplineFit, vtkShapeTransform

__all__ = ["vtkLandmarkSplineFit", "vtkShapeTransform", "as_points", "fit", "fit_arrays",
           "jacobian_determinants", "read_transform", "transform_points"]


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


# "Warning: In file.cxx, line 12\nvtkLandmarkSplineFit (0x55d0): the landmarks ..." -> the sentence.
_VTK_PREFIX = re.compile(r"^(?:[A-Za-z ]+: In [^\n]*\n)?(?:\w+ \(0?x?[0-9a-fA-F]*\): )?")


def _sentence(text):
    return _VTK_PREFIX.sub("", text or "").strip()


class _Reports:
    """While active, the errors and warnings an object reports to VTK are heard here instead
    of reaching VTK's output window: errors are kept (the caller raises), warnings are issued
    as Python warnings from the caller's caller."""

    def __init__(self, obj):
        self.obj = obj
        self.errors = []
        self.tags = []

    def __enter__(self):
        from vtkmodules.util.misc import calldata_type
        from vtkmodules.util.vtkConstants import VTK_STRING

        @calldata_type(VTK_STRING)
        def on_error(caller, event, text):
            self.errors.append(_sentence(text))

        @calldata_type(VTK_STRING)
        def on_warning(caller, event, text):
            # The warning points at the line that called fit() or read_transform().
            warnings.warn(_sentence(text), RuntimeWarning, stacklevel=3)

        self.tags = [self.obj.AddObserver("ErrorEvent", on_error),
                     self.obj.AddObserver("WarningEvent", on_warning)]
        return self

    def __exit__(self, *exception):
        for tag in self.tags:
            self.obj.RemoveObserver(tag)
        return False


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
    statistics). Raises ValueError with the reason when the landmarks cannot be fitted (no
    landmarks, a radius that is not a positive single-precision number, landmarks too close
    to be told apart, ...); warns (RuntimeWarning) when the affine part is fitted within the
    directions that landmarks on a plane or a line span.
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
    with _Reports(result):
        fitted = result.Fit()
    if not fitted:
        raise ValueError(result.GetErrorMessage())
    return result


def read_transform(path):
    """The vtkShapeTransform of a transform coefficient file (".trc"); raises ValueError."""
    loaded = vtkLandmarkSplineFit()
    with _Reports(loaded):
        read = loaded.ReadCoefficientFile(str(path))
    if not read:
        raise ValueError(loaded.GetErrorMessage())
    return loaded.GetTransform()


def _point_array(points):
    """A vtkDoubleArray over the rows of an array-like of shape (n, 3), and the numpy array it
    shares its memory with (the caller keeps both while the VTK array is in use)."""
    import numpy
    from vtkmodules.util.numpy_support import numpy_to_vtk

    array = numpy.ascontiguousarray(points, dtype=numpy.float64)
    if array.ndim != 2 or array.shape[1] != 3:
        raise ValueError("points must have the shape (n, 3), not %s" % (array.shape,))
    if len(array) == 0:
        from vtkmodules.vtkCommonCore import vtkDoubleArray

        empty = vtkDoubleArray()
        empty.SetNumberOfComponents(3)
        return empty, array
    return numpy_to_vtk(array, deep=False), array


def _as_numpy(vtk_array, shape):
    import numpy
    from vtkmodules.util.numpy_support import vtk_to_numpy

    if vtk_array.GetNumberOfTuples() == 0:
        return numpy.zeros(tuple(0 if n < 0 else n for n in shape), dtype=numpy.float64)
    return numpy.array(vtk_to_numpy(vtk_array), copy=True).reshape(shape)


def transform_points(transform, points):
    """The points moved by a vtkShapeTransform: an array of shape (n, 3) in (any numeric
    type), a new float64 array of shape (n, 3) out, each row what transform.TransformPoint
    gives for it, computed on all cores (transform.SetNumberOfThreads limits them). The
    transform's warnings (an inverse not found) come as a RuntimeWarning."""
    from vtkmodules.vtkCommonCore import vtkDoubleArray

    source, keep = _point_array(points)
    out = vtkDoubleArray()
    with _Reports(transform) as reports:
        transform.TransformPointArray(source, out)
    if reports.errors:
        raise ValueError(reports.errors[0])
    del keep
    return _as_numpy(out, (-1, 3))


def jacobian_determinants(transform, points):
    """The determinant of the deformation's derivative at each point (an array of shape
    (n, 3) in, a float64 array of n values out). Where it is 0 or below the deformation folds
    space; 1 where no landmark is within reach (unless the transform's AffineEverywhere is on)."""
    from vtkmodules.vtkCommonCore import vtkDoubleArray

    source, keep = _point_array(points)
    out = vtkDoubleArray()
    with _Reports(transform) as reports:
        transform.JacobianDeterminants(source, out)
    if reports.errors:
        raise ValueError(reports.errors[0])
    del keep
    return _as_numpy(out, (-1,))


def fit_arrays(fit):
    """A fit's parameters as numpy arrays, for inspection and storage without a ".trc":
    a dict of "radius" (float), "landmarks" (N, 3) (the source positions, in the order given),
    "ordering" (N,) int (landmark k's kernel weight is row ordering[k] of the coefficients) and
    "coefficients" (N + 4, 3) float64 (per axis x, y, z: the N kernel weights in the fitter's
    order, then the constant term and the x, y, z factors). fit is a vtkLandmarkSplineFit or
    a vtkShapeTransform; raises ValueError when it holds no fitted spline."""
    import numpy
    from vtkmodules.util.numpy_support import vtk_to_numpy
    from vtkmodules.vtkCommonCore import vtkDoubleArray, vtkIntArray

    transform = fit.GetTransform() if isinstance(fit, vtkLandmarkSplineFit) else fit
    if not transform.GetInitialized() or transform.GetPointArray() is None:
        raise ValueError("there is no fitted spline")
    coefficients = vtkDoubleArray()
    ordering = vtkIntArray()
    transform.GetCoefficients(coefficients)
    transform.GetOrdering(ordering)
    landmarks = transform.GetPointArray()
    n = landmarks.GetNumberOfPoints()
    return {
        "radius": float(transform.GetRadius()),
        "landmarks": (numpy.array(vtk_to_numpy(landmarks.GetData()), dtype=numpy.float64)
                      .reshape(-1, 3) if n else numpy.zeros((0, 3))),
        "ordering": (numpy.array(vtk_to_numpy(ordering), dtype=numpy.int64) if n
                     else numpy.zeros(0, dtype=numpy.int64)),
        "coefficients": _as_numpy(coefficients, (-1, 3)),
    }
