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

Classes: vtkLandmarkSplineFit (the fit), vtkShapeTransform (the deformation; SetFactor
blends between no deformation, 0, and the full one, 1; GetInverse() inverts it by Newton's
method).

Precision and limits:
    * The fit is Pravik's, with a single-precision factor: landmarks land on their targets
      within single-precision rounding, not exactly, and the ".trc" file is Pravik's byte
      for byte. sparse=True solves by conjugate gradients in double precision instead (much
      faster from about 10,000 landmarks; coefficients within about 1e-5 of the envelope's).
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
