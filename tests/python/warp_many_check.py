"""examples/warp_many.py on a local Dask cluster of two workers against pravik-warp.

    python3 warp_many_check.py <source dir> <pravik-warp>

Makes 20 small meshes with landmark files (uneven sizes, some far from the origin, noisy
landmarks), runs the example on them as Dask tasks, and checks that each output holds exactly
the points that pravik-warp writes from the same coefficient file. Exits 77 (skipped) when
Dask's distributed scheduler is not installed.
"""
import pathlib
import subprocess
import sys
import tempfile

try:
    import distributed  # noqa: F401
except ImportError:
    print("Dask's distributed scheduler is not installed: skipped")
    sys.exit(77)

import numpy
import vtk
from vtk.util.numpy_support import vtk_to_numpy

source_dir, pravik_warp = pathlib.Path(sys.argv[1]), sys.argv[2]
rng = numpy.random.default_rng(11)
failures = []


def check(condition, message):
    print(("ok   " if condition else "FAIL ") + message)
    if not condition:
        failures.append(message)


def points(path):
    reader = vtk.vtkPolyDataReader()
    reader.SetFileName(str(path))
    reader.Update()
    data = reader.GetOutput().GetPoints()
    return None if data is None else vtk_to_numpy(data.GetData())


with tempfile.TemporaryDirectory() as scratch:
    scratch = pathlib.Path(scratch)
    inputs, outputs = scratch / "in", scratch / "out"
    inputs.mkdir()
    radius = 0.6
    for i in range(20):
        sphere = vtk.vtkSphereSource()
        sphere.SetThetaResolution(8 + i)
        sphere.SetPhiResolution(6 + i // 2)
        sphere.SetRadius(0.5 + 0.1 * i)
        # Some far from the origin, where single precision shows.
        sphere.SetCenter(*(rng.random(3) * (1000.0 if i % 4 == 0 else 2.0)))
        sphere.Update()
        writer = vtk.vtkPolyDataWriter()
        writer.SetInputData(sphere.GetOutput())
        writer.SetFileName(str(inputs / ("m%02d.vtk" % i)))
        writer.Write()
        vertices = vtk_to_numpy(sphere.GetOutput().GetPoints().GetData()).astype(float)
        chosen = vertices[rng.choice(len(vertices), min(len(vertices), 12 + i), replace=False)]
        targets = chosen * 1.05 + rng.normal(0.0, 0.01, chosen.shape)
        numpy.savetxt(inputs / ("m%02d.dat" % i), numpy.hstack([chosen, targets]), fmt="%.6f")

    run = subprocess.run([sys.executable, str(source_dir / "examples" / "warp_many.py"),
                          str(inputs), str(radius), str(outputs), "--workers", "2"],
                         capture_output=True, text=True, timeout=600)
    check(run.returncode == 0, "warp_many.py ran on two local workers (status %d): %s"
          % (run.returncode, run.stderr[-500:]))
    check(len(run.stdout.splitlines()) == 20, "20 pairs reported")

    identical = 0
    moved = 0
    for i in range(20):
        name = "m%02d" % i
        by_dask = points(outputs / (name + ".vtk"))
        reference = scratch / (name + "-pravik-warp.vtk")
        warp = subprocess.run([pravik_warp, str(outputs / (name + ".trc")),
                               str(inputs / (name + ".vtk")), str(reference)],
                              capture_output=True, text=True)
        by_warp = points(reference) if warp.returncode == 0 else None
        if by_dask is not None and by_warp is not None and by_dask.shape == by_warp.shape \
                and numpy.array_equal(by_dask, by_warp):
            identical += 1
        else:
            print("  %s differs from pravik-warp's (%s)" % (name, warp.stderr.strip()))
        original = points(inputs / (name + ".vtk"))
        if by_dask is not None and original is not None and \
                numpy.abs(by_dask - original).max() > 1e-3:
            moved += 1
    check(identical == 20, "%d of 20 outputs hold exactly pravik-warp's points" % identical)
    check(moved == 20, "%d of 20 models were deformed" % moved)

sys.exit(1 if failures else 0)
