"""Generates scenes in the training mix and reports how long each rule takes.

    /usr/bin/python3 -m training.scenes [--count 3000] [--size 128] [--seed 0]
"""

import argparse
import time

import numpy as np

from . import RULES, make_scene


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--count", type=int, default=3000)
    ap.add_argument("--size", type=int, default=128)
    ap.add_argument("--seed", type=int, default=0)
    args = ap.parse_args()
    names = list(RULES)
    weights = np.array([RULES[n][1] for n in names])
    rng = np.random.default_rng(args.seed)
    spent = {n: [0, 0.0] for n in names}
    start = time.perf_counter()
    for _ in range(args.count):
        name = names[rng.choice(len(names), p=weights / weights.sum())]
        t = time.perf_counter()
        make_scene(name, rng, args.size)
        spent[name][0] += 1
        spent[name][1] += time.perf_counter() - t
    total = time.perf_counter() - start
    for n in names:
        count, seconds = spent[n]
        print(f"{n:20s} {count:5d} scenes {1000 * seconds / max(count, 1):7.1f} ms each")
    print(f"{args.count} scenes of {args.size} px in {total:.1f} s")


if __name__ == "__main__":
    main()
