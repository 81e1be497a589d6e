#!/usr/bin/env python3
"""Why smoothing stops short of SciPy's thin-plate spline: the same data as smoothing.py, the
same smoothed system (kernel matrix + S*I, affine part unpenalised) solved densely in numpy,
with this library's kernel (1 - r/R)^2 and, for comparison only, Wendland's twice
differentiable kernel (1 - r/R)^4 (4 r/R + 1), over radii and S.

    python3 bench/python/smoothing_kernels.py [--tested N]

--tested N evaluates the fits at the first N of the other vertices only (a quick run; the
figures of the documentation are for all of them).

The first kernel's rows reproduce what quorvel.fit gives (smoothing.py); the second is not
something this library can write: a coefficient file's spline is evaluated with the first.
"""
import argparse
import sys

import numpy
from scipy.spatial.distance import cdist

import smoothing

KERNELS = {
    "(1-r)^2, this library": lambda r: numpy.where(r < 1, (1 - r) ** 2, 0.0),
    "(1-r)^4 (4r+1), Wendland": lambda r: numpy.where(r < 1, (1 - r) ** 4 * (4 * r + 1), 0.0),
}


def moved(kernel, source, target, radius, s, points):
    n = len(source)
    matrix = kernel(cdist(source, source) / radius) + s * numpy.eye(n)
    affine = numpy.hstack([numpy.ones((n, 1)), source])
    system = numpy.block([[matrix, affine], [affine.T, numpy.zeros((4, 4))]])
    c = numpy.linalg.solve(system, numpy.vstack([target - source, numpy.zeros((4, 3))]))
    distances = cdist(points, source)
    d = kernel(distances / radius) @ c[:n] + numpy.hstack(
        [numpy.ones((len(points), 1)), points]) @ c[n:]
    d[~(distances <= radius).any(axis=1)] = 0.0  # beyond every landmark's reach: unmoved
    return points + d


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tested", type=int, default=None)
    args = parser.parse_args()
    vertices = smoothing.leg_vertices()
    random = numpy.random.default_rng(1)
    chosen = random.choice(len(vertices), 500, replace=False)
    rest = numpy.setdiff1d(numpy.arange(len(vertices)), chosen)[:args.tested]
    source = vertices[chosen]
    target = smoothing.displaced(source) + random.normal(0.0, 0.003, source.shape)
    tests = vertices[rest]
    expected = smoothing.displaced(tests)
    values = numpy.geomspace(0.01, 3.0, 13)
    print("%-26s %7s %9s %12s" % ("kernel", "R", "best S", "RMS error"))
    for name, kernel in KERNELS.items():
        for radius in (0.393, 0.6, 1.0, 1.5, 2.0, 3.0):
            rms = [smoothing.errors(moved(kernel, source, target, radius, s, tests), expected)[0]
                   for s in values]
            k = int(numpy.argmin(rms))
            print("%-26s %7.3g %9.3g %12.3e" % (name, radius, values[k], rms[k]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
