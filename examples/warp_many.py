#!/usr/bin/env python3
"""Fits and warps a folder of (model, landmarks) pairs as Dask tasks.

    python3 examples/warp_many.py <folder> <radius> <output folder> [--scheduler ADDRESS]
                                  [--workers N]

Every NAME.vtk in <folder> that has a landmark file NAME.dat beside it (six numbers a line:
source x y z, target x y z, as Pravik reads them) is one task: fit the landmarks with the
given radius, write the coefficient file <output folder>/NAME.trc, and write the model moved
by that file at factor 1 as <output folder>/NAME.vtk, point for point what
`pravik-warp NAME.trc NAME.vtk out.vtk` writes.

Without --scheduler the tasks run on a local cluster of N worker processes (default 2) on
this machine. With --scheduler tcp://host:8786 they go to a running Dask scheduler: the
folders must then be on storage that every worker sees under the same path, and every worker
needs the package quorvel on its Python path. Needs Dask's distributed scheduler (Debian:
python3-distributed).
"""
import argparse
import pathlib
import sys


def warp_one(model_path, landmark_path, radius, output_folder):
    """One pair: returns (name, number of points) or raises with the reason."""
    import numpy
    import vtk

    import quorvel

    name = pathlib.Path(model_path).stem
    output_folder = pathlib.Path(output_folder)
    landmarks = numpy.loadtxt(landmark_path, ndmin=2)
    if landmarks.shape[1] != 6:
        raise ValueError("%s: a landmark line holds six numbers" % landmark_path)
    fit = quorvel.fit(landmarks[:, :3], landmarks[:, 3:], radius)
    trc = output_folder / (name + ".trc")
    if not fit.WriteCoefficientFile(str(trc)):
        raise ValueError("%s: %s" % (trc, fit.GetErrorMessage()))
    # The file's coefficients, as pravik-warp applies them.
    transform = quorvel.read_transform(trc)
    transform.SetFactor(1.0)
    reader = vtk.vtkPolyDataReader()
    reader.SetFileName(str(model_path))
    warp = vtk.vtkTransformPolyDataFilter()
    warp.SetTransform(transform)
    warp.SetInputConnection(reader.GetOutputPort())
    writer = vtk.vtkPolyDataWriter()
    writer.SetInputConnection(warp.GetOutputPort())
    writer.SetFileName(str(output_folder / (name + ".vtk")))
    if not writer.Write():
        raise ValueError("cannot write %s" % writer.GetFileName())
    return name, warp.GetOutput().GetNumberOfPoints()


def pairs(folder):
    for model in sorted(pathlib.Path(folder).glob("*.vtk")):
        landmarks = model.with_suffix(".dat")
        if landmarks.exists():
            yield model, landmarks


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("folder")
    parser.add_argument("radius", type=float)
    parser.add_argument("output")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=2, help="local worker processes")
    args = parser.parse_args(argv)

    from dask.distributed import Client, LocalCluster

    output = pathlib.Path(args.output).resolve()
    output.mkdir(parents=True, exist_ok=True)
    work = list(pairs(args.folder))
    if not work:
        sys.exit("no NAME.vtk with a NAME.dat beside it in %s" % args.folder)
    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1,
                               processes=True, dashboard_address=None)
        client = Client(cluster)
    try:
        futures = [client.submit(warp_one, str(m.resolve()), str(d.resolve()), args.radius,
                                 str(output), pure=False) for m, d in work]
        failed = 0
        for future, (model, _) in zip(futures, work):
            try:
                name, points = future.result()
                print("%s: %d points" % (name, points))
            except Exception as error:  # one pair's failure does not stop the others
                failed += 1
                print("%s: %s" % (model.name, error), file=sys.stderr)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
