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
import sys

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

sys.exit(1 if failures else 0)
