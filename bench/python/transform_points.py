#!/usr/bin/env python3
"""quorvel.transform_points against a Python loop of TransformPoint calls.

    python3 bench/python/transform_points.py [points [landmarks.dat [model.vtk]]]

Fits the sample (radius 0.25, factor 1), moves random points in the model's bounding box
(default a million) both ways, prints both times and whether the results are identical, and
how many of the model's vertices the deformation folds at. Needs quorvel on the Python path.
"""
import pathlib
import sys
import time

import numpy
import vtk
from vtk.util.numpy_support import vtk_to_numpy

import quorvel

data = pathlib.Path(__file__).resolve().parents[2] / "data"
arguments = sys.argv[1:] + [None] * 3
n = int(arguments[0] or 1000000)
landmarks = numpy.loadtxt(arguments[1] or data / "leg.dat", ndmin=2)
reader = vtk.vtkPolyDataReader()
reader.SetFileName(str(arguments[2] or data / "leg.vtk"))
reader.Update()
model = vtk_to_numpy(reader.GetOutput().GetPoints().GetData()).astype(numpy.float64)

transform = quorvel.fit(landmarks[:, :3], landmarks[:, 3:], 0.25).GetTransform()
transform.SetFactor(1.0)
low, high = model.min(0), model.max(0)
points = low + (high - low) * numpy.random.default_rng(5).random((n, 3))

start = time.perf_counter()
moved = quorvel.transform_points(transform, points)
helper = time.perf_counter() - start
single = transform.TransformPoint
start = time.perf_counter()
looped = numpy.array([single(p) for p in points.tolist()])
loop = time.perf_counter() - start
print("%d points: transform_points %.3f s, TransformPoint loop %.3f s (%.2f us a point), "
      "%.1f times faster, identical: %s"
      % (n, helper, loop, loop / n * 1e6, loop / helper, numpy.array_equal(moved, looped)))
folds = int((quorvel.jacobian_determinants(transform, model) <= 0).sum())
print("the deformation folds at %d of %d model vertices" % (folds, len(model)))
