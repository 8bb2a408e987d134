"""Smooths the frames of a shot on several threads with tovrin, the way a pipeline script would.

    python3 smooth_shot.py shot/*.png --out-dir smoothed/ --smooth-range 8 --workers 4

tovrin.smooth releases the GIL during the pass, so a ThreadPoolExecutor keeps every core busy
without separate processes. Each frame is smoothed on one thread (threads=1): the frames are
the parallel work. Reads and writes 8- and 16-bit PNGs with the small pngio module beside this
file; a real pipeline would use its own image library.
"""

import argparse
import concurrent.futures
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pngio  # noqa: E402
import tovrin  # noqa: E402


def smooth_file(source, target, smooth_range=0, key=None):
    image = pngio.read_png(source)
    pngio.write_png(target, tovrin.smooth(image, smooth_range, key, threads=1))
    return target


def smooth_shot(frames, out_dir, smooth_range=0, key=None, workers=None):
    """Smooths every frame file into out_dir under its own name; returns the written paths in
    frame order. The first failure is raised once the other frames are done."""
    os.makedirs(out_dir, exist_ok=True)
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        jobs = [pool.submit(smooth_file, frame, os.path.join(out_dir, os.path.basename(frame)),
                            smooth_range, key)
                for frame in frames]
        return [job.result() for job in jobs]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("frames", nargs="+")
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("--smooth-range", type=int, default=0)
    parser.add_argument("--key", help="R,G,B in 8-bit units")
    parser.add_argument("--workers", type=int)
    args = parser.parse_args()
    key = tuple(int(v) for v in args.key.split(",")) if args.key else None
    for path in smooth_shot(args.frames, args.out_dir, args.smooth_range, key, args.workers):
        print(path)


if __name__ == "__main__":
    main()
