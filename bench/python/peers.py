#!/usr/bin/env python3
"""Fit + warp from Python: this library against vtkThinPlateSplineTransform and SciPy.

    python3 bench/python/peers.py [--sizes 1000,10000,100000] [--points 1000000]
                                  [--limit 300] [--neighbours 30]

Landmarks lie on the unit sphere (a Fibonacci lattice); each target is its source moved by a
smooth displacement of up to 0.05. The radius gives each landmark about --neighbours others
within it. Each method fits the landmarks and then warps --points points spread over a
sphere of radius 1.01 (the model), in a child process of its own that is stopped after
--limit processor seconds (the machine may be shared, so wall-clock times vary with its
load). A size is not tried when the method's previous size did not finish or its time,
scaled by the method's order of growth, predicts more than twice the limit; the table says
which. fit, warp and their sum are processor seconds of all threads (the shape transform
warps on every core, BLAS may use several); the ratio is the sum against this library's at
the same size; the wall-clock sum follows. "error" is the largest distance between a warped
source landmark and its target.

Needs the package quorvel on the Python path (the build tree's lib/python3/dist-packages or
an installed one), VTK's Python package and SciPy.
"""
import argparse
import math
import multiprocessing
import os
import signal
import sys
import time

import numpy


def sphere(n, radius=1.0):
    """n points of a Fibonacci lattice on a sphere."""
    i = numpy.arange(n, dtype=numpy.float64) + 0.5
    z = 1.0 - 2.0 * i / n
    r = numpy.sqrt(1.0 - z * z)
    phi = math.pi * (3.0 - math.sqrt(5.0)) * i
    return radius * numpy.column_stack((r * numpy.cos(phi), r * numpy.sin(phi), z))


def landmarks(n):
    source = sphere(n)
    x, y, z = source.T
    shift = 0.05 * numpy.column_stack((numpy.sin(2 * y), numpy.cos(3 * z) * x, numpy.sin(x + z)))
    # The fit works in single precision: give every method the same (float) values.
    source = source.astype(numpy.float32).astype(numpy.float64)
    target = (source + shift).astype(numpy.float32).astype(numpy.float64)
    return source, target


def radius_for(n, neighbours):
    # A cap of chord radius r holds the share r^2/4 of the unit sphere.
    return 2.0 * math.sqrt(neighbours / n)


def now():
    """Wall-clock and processor seconds (all threads of the process)."""
    return numpy.array([time.perf_counter(), time.process_time()])


def to_vtk_points(array):
    import vtk
    from vtk.util.numpy_support import numpy_to_vtk

    points = vtk.vtkPoints()
    points.SetData(numpy_to_vtk(numpy.ascontiguousarray(array), deep=True))
    return points


def from_vtk_points(points):
    from vtk.util.numpy_support import vtk_to_numpy

    return vtk_to_numpy(points.GetData()).astype(numpy.float64)


def run_quorvel(source, target, model, radius):
    import vtk
    import quorvel

    model_points = to_vtk_points(model.astype(numpy.float32))
    start = now()
    fit = quorvel.fit(source, target, radius)
    fitted = now()
    transform = fit.GetTransform()
    out = vtk.vtkPoints()
    transform.TransformPoints(model_points, out)
    warped = now()
    check = vtk.vtkPoints()
    transform.TransformPoints(to_vtk_points(source.astype(numpy.float32)), check)
    note = "mean %.1f neighbours; stages: ordering %.3f, factorisation %.3f" % (
        fit.GetMeanNeighbors(), fit.GetOrderingTime(), fit.GetFactorizationTime())
    return fitted - start, warped - fitted, from_vtk_points(check) - target, note


def run_vtk_tps(source, target, model, radius):
    import vtk

    model_points = to_vtk_points(model)
    start = now()
    tps = vtk.vtkThinPlateSplineTransform()
    tps.SetSourceLandmarks(to_vtk_points(source))
    tps.SetTargetLandmarks(to_vtk_points(target))
    tps.SetBasisToR()  # the thin-plate spline of three dimensions
    tps.Update()
    fitted = now()
    out = vtk.vtkPoints()
    tps.TransformPoints(model_points, out)
    warped = now()
    check = vtk.vtkPoints()
    tps.TransformPoints(to_vtk_points(source), check)
    return fitted - start, warped - fitted, from_vtk_points(check) - target, "kernel r"


def run_scipy(source, target, model, radius, neighbors=None):
    from scipy.interpolate import RBFInterpolator

    start = now()
    rbf = RBFInterpolator(source, target - source, kernel="thin_plate_spline",
                          neighbors=neighbors)
    fitted = now()
    model + rbf(model)
    warped = now()
    error = source + rbf(source) - target
    return fitted - start, warped - fitted, error, "kernel r^2 log r"


METHODS = {
    # name: (function, extra arguments, growth of the time with the landmark count)
    "quorvel (this library)": (run_quorvel, {}, 1.5),
    "vtkThinPlateSplineTransform": (run_vtk_tps, {}, 3.0),
    "SciPy RBFInterpolator": (run_scipy, {}, 3.0),
    "SciPy RBFInterpolator, neighbors=30": (run_scipy, {"neighbors": 30}, 1.0),
}


def child(name, n, points, neighbours, limit, queue):
    import resource

    import scipy.interpolate  # noqa: F401  (imports are not timed)
    import vtk  # noqa: F401
    import quorvel  # noqa: F401

    # The machine may be shared: the limit counts processor seconds, not the wall clock.
    resource.setrlimit(resource.RLIMIT_CPU, (int(limit), int(limit) + 1))
    function, extra, _ = METHODS[name]
    source, target = landmarks(n)
    model = sphere(points, 1.01)
    fit, warp, error, note = function(source, target, model, radius_for(n, neighbours), **extra)
    queue.put((fit, warp, float(numpy.abs(error).max()), note))


def measure(name, n, points, neighbours, limit):
    """(fit, warp, error, note) with fit and warp as [wall, processor] seconds; None when the
    run reached the limit; a sentence when it failed otherwise."""
    queue = multiprocessing.Queue()
    process = multiprocessing.Process(target=child,
                                      args=(name, n, points, neighbours, limit, queue))
    process.start()
    process.join()
    if process.exitcode == -signal.SIGXCPU or process.exitcode == -signal.SIGKILL:
        return None
    if process.exitcode != 0 or queue.empty():
        return "failed (exit status %s)" % process.exitcode
    return queue.get()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--sizes", default="1000,10000,100000")
    parser.add_argument("--points", type=int, default=1000000)
    parser.add_argument("--limit", type=float, default=300.0)
    parser.add_argument("--neighbours", type=float, default=30.0)
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]

    print("Fit of N sphere landmarks (about %g neighbours within the radius) + warp of %d points;"
          % (args.neighbours, args.points))
    print("limit %g s per run; %d processors, load average %.1f" % (
        args.limit, os.cpu_count(), os.getloadavg()[0]))
    print()
    print("| landmarks | method | fit | warp | fit + warp | ratio | wall: fit + warp | error | note |")
    print("|---|---|---|---|---|---|---|---|---|")
    ours = {}
    first = next(iter(METHODS))
    failed = False
    for name, (_, _, growth) in METHODS.items():
        previous = None
        for n in sizes:
            if previous is not None:
                if not isinstance(previous[1], tuple):
                    print("| %d | %s | - | - | not tried: %s | | | | |" % (n, name, previous[1]))
                    previous = (n, "a smaller size was not tried")
                    continue
                predicted = previous[1][0] * (n / previous[0]) ** growth
                predicted += previous[1][1] * (n / previous[0])  # the warp grows at most as N
                if predicted > 2 * args.limit:
                    print("| %d | %s | - | - | not tried: predicted %.0f s | | | | |"
                          % (n, name, predicted))
                    previous = (n, "a smaller size was predicted beyond the limit")
                    continue
            result = measure(name, n, args.points, args.neighbours, args.limit)
            if result is None:
                print("| %d | %s | - | - | did not finish in %g s | | | | |"
                      % (n, name, args.limit))
                previous = (n, "a smaller size did not finish")
            elif isinstance(result, str):
                print("| %d | %s | - | - | %s | | | | |" % (n, name, result))
                previous = (n, result)
                failed = True
            else:
                fit, warp, error, note = result
                cpu = fit[1] + warp[1]
                if name == first:
                    ours[n] = cpu
                ratio = "%.1f x" % (cpu / ours[n]) if n in ours else ""
                print("| %d | %s | %.3f | %.3f | %.3f | %s | %.3f | %.1e | %s |"
                      % (n, name, fit[1], warp[1], cpu, ratio, fit[0] + warp[0], error, note))
                previous = (n, (fit[1], warp[1]))
            sys.stdout.flush()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
