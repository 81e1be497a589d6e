#!/usr/bin/env python3
"""Fits the bundled sample's landmarks and writes the deformed leg.

    python3 examples/warp_leg.py [landmarks.dat [radius [model.vtk [output.vtk]]]]

Defaults: data/leg.dat, radius 0.25, data/leg.vtk, leg-warped.vtk. Needs the installed
package `quorvel` on the Python path (see docs/python.md).
"""
import pathlib
import sys

import numpy
import vtk

import quorvel

data = pathlib.Path(__file__).resolve().parent.parent / "data"
arguments = sys.argv[1:] + [None] * 4
landmark_file = arguments[0] or data / "leg.dat"
radius = float(arguments[1] or 0.25)
model_file = arguments[2] or data / "leg.vtk"
output_file = arguments[3] or "leg-warped.vtk"

# Six numbers a line: source x y z, target x y z.
landmarks = numpy.loadtxt(landmark_file, ndmin=2)
fit = quorvel.fit(landmarks[:, :3], landmarks[:, 3:], radius)
print(
    "%d landmarks, %d to %d neighbours within %g (%.1f on average), fitted in %.3f s"
    % (fit.GetNumberOfLandmarks(), fit.GetMinimumNeighbors(), fit.GetMaximumNeighbors(),
       radius, fit.GetMeanNeighbors(), fit.GetTotalTime()))

reader = vtk.vtkPolyDataReader()
reader.SetFileName(str(model_file))
warp = vtk.vtkTransformPolyDataFilter()
warp.SetTransform(fit.GetTransform())
warp.SetInputConnection(reader.GetOutputPort())
writer = vtk.vtkPolyDataWriter()
writer.SetInputConnection(warp.GetOutputPort())
writer.SetFileName(str(output_file))
if not writer.Write():
    sys.exit("cannot write %s" % output_file)
print("wrote %s (%d points)" % (output_file, warp.GetOutput().GetNumberOfPoints()))
