"""The installed Python package against independent results.

    python3 python_checks.py <data dir> <work dir>

<work dir> holds leg-warped.vtk (written by examples/warp_leg.py from the sample) and leg.trc
(written by the installed Pravik from the same landmarks, radius 0.25). <data dir> is the
source tree's data/; the pages beside it (README.md, docs/python.md) hold the snippets run
here as written.
"""
import os
import pathlib
import pydoc
import re
import subprocess
import sys
import warnings

import numpy
import vtk
from vtk.util.numpy_support import vtk_to_numpy

import quorvel

data, work = (pathlib.Path(a) for a in sys.argv[1:3])
failures = []


def check(condition, message):
    print(("ok   " if condition else "FAIL ") + message)
    if not condition:
        failures.append(message)


def points_of(polydata):
    return vtk_to_numpy(polydata.GetPoints().GetData()).astype(numpy.float64)


def read_model(path):
    reader = vtk.vtkPolyDataReader()
    reader.SetFileName(str(path))
    reader.Update()
    return reader.GetOutput()


landmarks = numpy.loadtxt(data / "leg.dat")
source, target = landmarks[:, :3], landmarks[:, 3:]
radius = 0.25

# The example's deformed leg equals the leg moved by Pravik's coefficient file, read back
# through the package (the file's six decimals allow small differences).
model = read_model(data / "leg.vtk")
warp = vtk.vtkTransformPolyDataFilter()
warp.SetTransform(quorvel.read_transform(work / "leg.trc"))
warp.SetInputData(model)
warp.Update()
example = points_of(read_model(work / "leg-warped.vtk"))
pravik = points_of(warp.GetOutput())
moved = numpy.abs(example - points_of(model)).max()
check(example.shape == pravik.shape and numpy.abs(example - pravik).max() < 1e-4,
      "example's leg = leg moved by Pravik's .trc (%.2g apart; the leg moved up to %.2f)"
      % (numpy.abs(example - pravik).max(), moved))
check(moved > 0.1, "the example deformed the leg")

# From vtkPoints (the example passed numpy arrays): landmarks land on their targets.
fit = quorvel.vtkLandmarkSplineFit()
fit.SetSourceLandmarks(quorvel.as_points(source))
fit.SetTargetLandmarks(quorvel.as_points(target))
fit.SetRadius(radius)
check(fit.Fit() == 1, "fit from vtkPoints")
out = vtk.vtkPoints()
fit.GetTransform().TransformPoints(quorvel.as_points(source), out)
check(numpy.abs(vtk_to_numpy(out.GetData()) - target).max() < 1e-4,
      "every source landmark is carried onto its target")

# Statistics: neighbour counts against a brute-force count, stage times consistent.
distances = numpy.linalg.norm(source[:, None, :] - source[None, :, :], axis=2)
neighbours = (distances <= numpy.float32(radius)).sum(axis=1) - 1
check((fit.GetMinimumNeighbors(), fit.GetMaximumNeighbors()) ==
      (neighbours.min(), neighbours.max())
      and abs(fit.GetMeanNeighbors() - neighbours.mean()) < 0.5,
      "neighbour counts %d..%d, mean %.1f" % (fit.GetMinimumNeighbors(),
                                              fit.GetMaximumNeighbors(), fit.GetMeanNeighbors()))
stages = [fit.GetInputTime(), fit.GetOrderingTime(), fit.GetAssemblyTime(),
          fit.GetFactorizationTime(), fit.GetSolveTime()]
check(min(stages) >= 0 and 0 < sum(stages) <= fit.GetTotalTime(),
      "stage times %s within the total %.4f s" % (["%.4f" % s for s in stages],
                                                 fit.GetTotalTime()))

# A .trc written from Python reads back as the same deformation.
written = work / "python.trc"
check(fit.WriteCoefficientFile(str(written)) == 1, "coefficient file written")
again = vtk.vtkPoints()
quorvel.read_transform(written).TransformPoints(quorvel.as_points(source), again)
check(numpy.abs(vtk_to_numpy(again.GetData()) - target).max() < 1e-4,
      "the written file carries the landmarks onto their targets")

# The sparse solve on request: the same deformation within the solve's accuracy.
sparse = quorvel.fit(source, target, radius, sparse=True)
moved_sparse = vtk.vtkPoints()
sparse.GetTransform().TransformPoints(quorvel.as_points(source), moved_sparse)
check(sparse.GetSparseSolveUsed() and not fit.GetSparseSolveUsed()
      and numpy.abs(vtk_to_numpy(moved_sparse.GetData()) - target).max() < 1e-4,
      "sparse=True solves by conjugate gradients and carries the landmarks onto their targets")

# The solver and the smoothing by keyword: the envelope gives exactly the default fit's
# coefficients on this small set (auto chooses it); smoothing moves the spline off the
# landmarks by the distance the fit reports; an unknown solver raises.
envelope = quorvel.fit(source, target, radius, solver="envelope")
chosen = quorvel.fit(source, target, radius)
by_envelope = vtk.vtkPoints()
by_choice = vtk.vtkPoints()
envelope.GetTransform().TransformPoints(model.GetPoints(), by_envelope)
chosen.GetTransform().TransformPoints(model.GetPoints(), by_choice)
check(numpy.array_equal(vtk_to_numpy(by_envelope.GetData()), vtk_to_numpy(by_choice.GetData())),
      "solver='envelope' deforms the sample exactly as the default choice")
smooth = quorvel.fit(source, target, radius, solver="sparse", smoothing=0.05)
moved_smooth = vtk.vtkPoints()
smooth.GetTransform().TransformPoints(quorvel.as_points(source), moved_smooth)
apart = numpy.linalg.norm(vtk_to_numpy(moved_smooth.GetData()) - target, axis=1).max()
check(smooth.GetSparseSolveUsed() and smooth.GetLandmarkMaximumDistance() > 0
      and abs(apart - smooth.GetLandmarkMaximumDistance()) < 1e-4,
      "smoothing=0.05 passes the landmarks %.3g apart (reported %.3g)"
      % (apart, smooth.GetLandmarkMaximumDistance()))
stages = []
watched = quorvel.vtkLandmarkSplineFit()
watched.SetSourceLandmarks(quorvel.as_points(source))
watched.SetTargetLandmarks(quorvel.as_points(target))
watched.SetRadius(radius)
for event in ("StartEvent", "ProgressEvent", "EndEvent"):
    watched.AddObserver(event, lambda caller, name: stages.append((name, caller.GetStage())))
check(watched.Fit() == 1 and stages[0][0] == "StartEvent" and stages[-1][0] == "EndEvent"
      and any(stage == "envelope factorisation" for _, stage in stages),
      "a fit fires Start, Progress (with its stage) and End events")
try:
    quorvel.fit(source, target, radius, solver="fast")
    check(False, "an unknown solver refused")
except ValueError as error:
    check("solver" in str(error), "an unknown solver refused: %s" % error)

# The guide help(quorvel) shows: what the package does, its functions, precision and limits,
# and an example that runs as written.
guide = " ".join(pydoc.render_doc(quorvel, renderer=pydoc.plaintext).split())
for phrase in ["deformation", "fit(source, target, radius", "read_transform(path)",
               "as_points(array)", "single-precision", "keeps its place", "Example"]:
    check(phrase in guide, "help(quorvel) says %r" % phrase)
example = quorvel.__doc__.split("Example (the bundled sample):\n", 1)[-1]
os.chdir(data.parent)
namespace = {}
exec(compile("\n".join(line[4:] for line in example.splitlines()), "help(quorvel)", "exec"),
     namespace)
check(namespace["warp"].GetOutput().GetNumberOfPoints() == model.GetNumberOfPoints(),
      "the example of help(quorvel) deforms the leg")

# The Python snippets of the README and of docs/python.md, as written, in a folder with the
# sample: the .trc they write is Pravik's, byte for byte.
snippets = work / "snippets"
snippets.mkdir()
(snippets / "data").symlink_to(data)
os.chdir(snippets)
for page in [data.parent / "README.md", data.parent / "docs" / "python.md"]:
    blocks = re.findall(r"^```python\n(.*?)^```", page.read_text(encoding="utf-8"), re.S | re.M)
    check(len(blocks) == 1, "%s shows one Python snippet" % page.name)
    for block in blocks:
        (snippets / "leg.trc").unlink(missing_ok=True)
        exec(compile(block, str(page), "exec"), {})
        check((snippets / "leg.trc").read_bytes() == (work / "leg.trc").read_bytes(),
              "the snippet of %s writes Pravik's leg.trc" % page.name)

# Landmarks that cannot be fitted raise with the reason.
try:
    quorvel.fit(source[[0, 0, 1, 2, 3]], target[:5], radius)
    check(False, "coincident landmarks refused")
except ValueError as error:
    check("share one source position" in str(error), "coincident landmarks refused: %s" % error)

# Fits that cannot be made are refused with a reason that says why, not returned as results.
for what, args, reason in [
        ("an empty set", (numpy.zeros((0, 3)), numpy.zeros((0, 3)), radius), "No landmarks to fit"),
        ("a radius beyond single precision", (source, target, 1e39), "too large for the solver"),
        ("a radius of 0", (source, target, 0.0), "must be a positive number")]:
    try:
        quorvel.fit(*args)
        check(False, "%s refused" % what)
    except ValueError as error:
        check(reason in str(error), "%s refused: %s" % (what, error))

# Landmarks on a plane: fitted, with one Python warning instead of a printed line.
flat = source.copy()
flat[:, 2] = 0.5
with warnings.catch_warnings(record=True) as caught:
    warnings.simplefilter("always")
    quorvel.fit(flat, flat + 0.01, radius)
check(len(caught) == 1 and issubclass(caught[0].category, RuntimeWarning)
      and "do not span three dimensions" in str(caught[0].message)
      and caught[0].filename == __file__,
      "a flat set warns once, from the caller's line: %s" % [str(w.message) for w in caught])

# numpy in and out: transform_points gives what TransformPoint gives, row for row, for any
# input type, on the sample leg and on points beyond every landmark's reach.
transform = quorvel.read_transform(work / "leg.trc")
transform.SetFactor(1.0)
leg = points_of(model)
rng = numpy.random.default_rng(7)
probes = numpy.vstack([leg, leg.min(0) - 0.5 + (numpy.ptp(leg, axis=0) + 1.0) * rng.random((3000, 3))])
moved = quorvel.transform_points(transform, probes)
one_by_one = numpy.array([transform.TransformPoint(p) for p in probes.tolist()])
check(moved.dtype == numpy.float64 and moved.shape == probes.shape
      and numpy.array_equal(moved, one_by_one),
      "transform_points = TransformPoint row for row (%d points)" % len(probes))
as_float = probes.astype(numpy.float32)
check(numpy.array_equal(quorvel.transform_points(transform, as_float),
                        numpy.array([transform.TransformPoint(p) for p in
                                     as_float.astype(numpy.float64).tolist()])),
      "float32 points are taken as they are")
check(quorvel.transform_points(transform, numpy.zeros((0, 3))).shape == (0, 3),
      "no points in, none out")
for bad in (numpy.zeros((4, 2)), numpy.zeros(3)):
    try:
        quorvel.transform_points(transform, bad)
        check(False, "shape %s refused" % (bad.shape,))
    except ValueError as error:
        check("(n, 3)" in str(error), "shape %s refused: %s" % (bad.shape, error))

# Jacobian determinants: the derivative's, 1 beyond reach; the sample's full deformation folds.
det = quorvel.jacobian_determinants(transform, probes)
sample = rng.choice(len(probes), 500, replace=False)
by_derivative = []
for i in sample:
    out, derivative = [0.0] * 3, [[0.0] * 3 for _ in range(3)]
    transform.InternalTransformDerivative(probes[i].tolist(), out, derivative)
    by_derivative.append(numpy.linalg.det(numpy.array(derivative)))
check(det.shape == (len(probes),)
      and numpy.allclose(det[sample], by_derivative, rtol=1e-9, atol=1e-12),
      "jacobian_determinants = det of the derivative")
folds = int((det[:len(leg)] <= 0).sum())
check(500 < folds < 800, "the sample's full deformation folds at %d of %d vertices"
      % (folds, len(leg)))
beyond = transform.CountBeyondReach(quorvel._point_array(probes)[0])
check(beyond > 0 and (det == 1.0).sum() >= beyond,
      "%d probes beyond every landmark's reach, determinant 1 there" % beyond)

# The affine part everywhere: points beyond reach move as the affine part says.
affine = quorvel.fit_arrays(transform)["coefficients"][-4:]
far = numpy.array([[5.0, 5.0, 5.0], [-4.0, 3.0, 2.0]])
check(numpy.array_equal(quorvel.transform_points(transform, far), far),
      "beyond reach, points keep their place by default")
transform.AffineEverywhereOn()
expected = far - (affine[0] + far @ affine[1:])
check(numpy.allclose(quorvel.transform_points(transform, far), expected, atol=1e-9),
      "AffineEverywhere moves them by the affine part")
transform.AffineEverywhereOff()

# A fit as numpy arrays: the spline evaluated from them by numpy moves points as the package.
arrays = quorvel.fit_arrays(fit)
check(numpy.allclose(arrays["landmarks"], source, atol=1e-6)
      and sorted(arrays["ordering"].tolist()) == list(range(len(source)))
      and arrays["coefficients"].shape == (len(source) + 4, 3),
      "fit_arrays: landmarks, ordering and coefficients of the fit")
weights = arrays["coefficients"][arrays["ordering"]]
R = arrays["radius"]
within = leg[rng.choice(len(leg), 300, replace=False)]
r = numpy.linalg.norm(within[:, None, :] - arrays["landmarks"][None, :, :], axis=2)
phi = numpy.where(r <= R, (1 - r / R) ** 2, 0.0)
c = arrays["coefficients"]
by_numpy = within - (phi @ weights + c[-4] + within @ c[-3:])
fit.GetTransform().SetFactor(1.0)
check(numpy.abs(quorvel.transform_points(fit.GetTransform(), within) - by_numpy).max() < 1e-6,
      "the spline from fit_arrays, evaluated by numpy, moves points as transform_points")
try:
    quorvel.fit_arrays(quorvel.vtkShapeTransform())
    check(False, "an empty transform has no arrays")
except ValueError as error:
    check("no fitted spline" in str(error), "an empty transform has no arrays: %s" % error)

# Nothing reaches the process's standard output (file descriptor 1) or VTK's error lines on
# standard error, however the fits end: a program's own output stays its own.
quiet = """
import sys, warnings, numpy, quorvel
warnings.simplefilter("ignore")
s = numpy.random.default_rng(1).random((40, 3))
for args in [(s[[0, 0, 1, 2]], s[:4], 0.5), (s[:0], s[:0], 0.5), (s, s, 1e39)]:
    try:
        quorvel.fit(*args)
        sys.exit("fitted " + repr(args[2]))
    except ValueError:
        pass
flat = s.copy()
flat[:, 2] = 0
quorvel.fit(flat, flat + 0.01, 0.5)
try:
    quorvel.read_transform("/nonexistent/x.trc")
except ValueError:
    pass
"""
run = subprocess.run([sys.executable, "-c", quiet], capture_output=True, env=os.environ)
check(run.returncode == 0 and run.stdout == b"" and b"vtk" not in run.stderr.lower(),
      "failing and warning fits print nothing (status %d, stdout %r, stderr %r)"
      % (run.returncode, run.stdout[:200], run.stderr[:300]))

sys.exit(1 if failures else 0)
