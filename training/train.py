"""Trains the coverage network of the high-quality mode and exports it.

    /usr/bin/python3 -m training.train              # the full run: writes
        coverage/coverage_weights.cpp and coverage/tests/coverage_fixture.txt
    /usr/bin/python3 -m training.train --tiny --out-dir DIR    # a quick run, for the tests

Every step is seeded: the same command on the same packages gives the same weights.
"""
import argparse
import multiprocessing
import os
import pickle
import platform
import sys
import time

import numpy as np
import torch

from . import dataset, export, network, quantise
from .scenes import RULES, make_scene

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


# ---- scenes and examples -------------------------------------------------------------------

# The second stage draws the rules that sample each pixel's centre (as vector renderers and most
# drawing programs draw hard edges) twice as often as the first.
CENTRE_SAMPLED = ("vector_cel", "vector_line_art", "vector_gentle", "text_outlines")


def scene_rule(seed, index, focus=False):
    """The rule of scene `index`: drawn by the rules' weights (with focus, the centre-sampled
    rules' doubled), from the scene's own seed."""
    names = sorted(RULES)
    weights = np.array([RULES[n][1] * (2 if focus and n in CENTRE_SAMPLED else 1)
                        for n in names], float)
    rng = np.random.default_rng([seed, index, 0])
    return names[rng.choice(len(names), p=weights / weights.sum())]


def draw_scene(job):
    seed, index, size, focus = job
    rule = scene_rule(seed, index, focus)
    return make_scene(rule, np.random.default_rng([seed, index, 1]), size)


def scene_examples(job):
    scene = draw_scene(job)
    return scene.rule, dataset.examples(scene.aliased, scene.truth)


def gather(seed, count, size, workers, focus=False):
    jobs = [(seed, i, size, focus) for i in range(count)]
    with multiprocessing.Pool(workers) as pool:
        parts = pool.map(scene_examples, jobs, chunksize=4)
    names = ["masks", "valid", "colours", "truth"]
    arrays = {n: np.concatenate([p[1][k] for p in parts]) for k, n in enumerate(names)}
    rules = [p[0] for p in parts]
    return arrays, rules


# ---- training ------------------------------------------------------------------------------



def batch_loss(model, data, index, symmetry=None):
    masks = network.unpack(data["masks"][index])                    # [B, 9, cells]
    valid = data["valid"][index]
    if symmetry is not None:
        masks = masks[..., symmetry]
    shares = torch.zeros(valid.shape)
    shares[valid] = model(masks[valid])
    blended = network.blend(shares, valid, data["colours"][index])
    return ((blended - data["truth"][index]) ** 2).mean()


def fit(model, parameters, data, epochs, rate, batch, seed, log):
    generator = torch.Generator().manual_seed(seed)
    symmetries = torch.from_numpy(dataset.symmetries(dataset.cell_offsets()))
    count = len(data["truth"])
    steps = epochs * ((count + batch - 1) // batch)
    optimiser = torch.optim.Adam(parameters, lr=rate)
    schedule = torch.optim.lr_scheduler.OneCycleLR(optimiser, max_lr=rate, total_steps=steps)
    for epoch in range(epochs):
        start, total, batches = time.time(), 0.0, 0
        order = torch.randperm(count, generator=generator)
        for first in range(0, count, batch):
            index = order[first:first + batch]
            symmetry = symmetries[int(torch.randint(8, (), generator=generator))]
            loss = batch_loss(model, data, index, symmetry)
            optimiser.zero_grad()
            loss.backward()
            optimiser.step()
            schedule.step()
            total, batches = total + loss.item(), batches + 1
        log(f"  epoch {epoch + 1}/{epochs}: loss {total / batches:.6f} ({time.time() - start:.0f} s)")


def to_tensors(arrays):
    return {"masks": torch.from_numpy(arrays["masks"]), "valid": torch.from_numpy(arrays["valid"]),
            "colours": torch.from_numpy(arrays["colours"]),
            "truth": torch.from_numpy(arrays["truth"])}


# ---- measuring -----------------------------------------------------------------------------

def edge_mask(aliased, radius=2):
    """Pixels within `radius` of a pixel that differs from a side neighbour: where stair-steps
    are, and where the error is measured."""
    keys = dataset.colour_keys(aliased)
    e = np.zeros(keys.shape, bool)
    dx = keys[:, 1:] != keys[:, :-1]
    dy = keys[1:] != keys[:-1]
    e[:, 1:] |= dx
    e[:, :-1] |= dx
    e[1:] |= dy
    e[:-1] |= dy
    p = np.pad(e, radius)
    h, w = e.shape
    return np.any([p[a:a + h, b:b + w] for a in range(2 * radius + 1)
                   for b in range(2 * radius + 1)], axis=0)


def standard_filter():
    """The default mode through the tovrin module, when it is built and importable: the figure
    to beat."""
    try:
        import tovrin
    except ImportError:
        return None
    return lambda image: tovrin.smooth(image)


def measure(q, seed, count, size, workers):
    """Held-out scenes smoothed by the integer pass. Per rule: for scenes to alter, the share of
    the edge error of doing nothing that the pass removes (pooled over the rule's scenes; beside
    it the default mode's when the tovrin module is at hand); for scenes to keep, the PSNR of
    the result against the input."""
    jobs = [(seed, i, size, False) for i in range(count)]
    with multiprocessing.Pool(workers) as pool:
        scenes = pool.map(draw_scene, jobs, chunksize=4)
    standard = standard_filter()
    sums = {}
    for scene in scenes:
        results = {"ours": quantise.smooth(q, scene.aliased)}
        if standard is not None:
            results["standard"] = standard(scene.aliased)
        row = sums.setdefault(scene.rule, {})
        if scene.keep:
            for name, out in results.items():
                error = float(((dataset.premultiplied(out) -
                                dataset.premultiplied(scene.aliased)) ** 2).sum())
                row[name] = row.get(name, 0.0) + error
            row["pixels"] = row.get("pixels", 0) + scene.aliased[..., 0].size
            continue
        mask = edge_mask(scene.aliased)
        row["none"] = row.get("none", 0.0) + float(
            ((dataset.premultiplied(scene.aliased) - scene.truth)[mask] ** 2).sum())
        for name, out in results.items():
            row[name] = row.get(name, 0.0) + float(
                ((dataset.premultiplied(out) - scene.truth)[mask] ** 2).sum())
    figures = {}
    for rule, row in sorted(sums.items()):
        for name in ("ours", "standard"):
            if name not in row:
                continue
            if rule.startswith("keep_"):
                mse = row[name] / (4 * row["pixels"])
                value = 99.0 if mse == 0 else min(99.0, 10 * np.log10(1 / mse))
            else:
                value = 100.0 * (1 - row[name] / row["none"]) if row["none"] > 0 else 0.0
            figures.setdefault(rule, {})[name] = value
    return figures


def summary(figures):
    alter = [v["ours"] for r, v in figures.items() if not r.startswith("keep_")]
    keep = [v["ours"] for r, v in figures.items() if r.startswith("keep_")]
    return (f"edge error removed {np.mean(alter):.1f} % (mean of rules); "
            f"scenes to keep {np.mean(keep):.1f} dB")


# ---- the run -------------------------------------------------------------------------------

def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--scenes", type=int, default=5000)
    parser.add_argument("--held-out", type=int, default=240)
    parser.add_argument("--size", type=int, default=128)
    parser.add_argument("--epochs", type=int, default=12)
    parser.add_argument("--focus-scenes", type=int, default=2500,
                        help="scenes of the second stage, the centre-sampled rules twice as often")
    parser.add_argument("--focus-epochs", type=int, default=3)
    parser.add_argument("--tuning-epochs", type=int, default=1)
    parser.add_argument("--batch", type=int, default=2048)
    parser.add_argument("--rate", type=float, default=3e-3)
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--hidden", default=",".join(map(str, network.HIDDEN)),
                        help="the hidden layers' sizes (coverage_model.h must agree)")
    parser.add_argument("--window-radius", type=int, default=dataset.WINDOW_RADIUS,
                        help="the window's radius in cells (coverage_model.h must agree)")
    parser.add_argument("--out-dir", default=None,
                        help="where to write the weights and fixture (default: the source tree)")
    parser.add_argument("--tiny", action="store_true",
                        help="a run of a few seconds that exercises every step")
    args = parser.parse_args(argv)
    if args.tiny:
        args.scenes, args.focus_scenes, args.held_out, args.size = 16, 8, 8, 64
        args.epochs, args.focus_epochs, args.tuning_epochs = 1, 1, 1
    hidden = tuple(int(h) for h in args.hidden.split(","))
    dataset.WINDOW_RADIUS = args.window_radius
    weights_path = os.path.join(args.out_dir or os.path.join(ROOT, "coverage"),
                                "coverage_weights.cpp")
    fixture_path = os.path.join(args.out_dir or os.path.join(ROOT, "coverage", "tests"),
                                "coverage_fixture.txt")

    def log(text):
        print(text, flush=True)

    started = time.time()
    torch.manual_seed(args.seed)
    torch.set_num_threads(args.workers)
    log(f"drawing {args.scenes} scenes of {args.size} px ...")
    arrays, rules = gather(args.seed, args.scenes, args.size, args.workers)
    log(f"  {len(arrays['truth'])} pixels to learn from ({time.time() - started:.0f} s)")
    data = to_tensors(arrays)

    model = network.CoverageNet(hidden)
    log(f"training for {args.epochs} epochs ...")
    fit(model, model.parameters(), data, args.epochs, args.rate, args.batch, args.seed, log)
    del arrays, data

    log(f"drawing {args.focus_scenes} more scenes, the centre-sampled rules twice as often ...")
    arrays, _ = gather(args.seed + 2000, args.focus_scenes, args.size, args.workers, focus=True)
    data = to_tensors(arrays)
    log(f"training on them for {args.focus_epochs} epochs ...")
    fit(model, model.parameters(), data, args.focus_epochs, args.rate / 3, args.batch,
        args.seed + 2, log)

    valid_masks = network.unpack(arrays["masks"][:200_000])[data["valid"][:200_000]]
    q = quantise.quantise(model, quantise.activation_ranges(model, valid_masks))
    log(f"fine-tuning in integers for {args.tuning_epochs} epochs ...")
    tuned = network.QuantisedForward(model, q)
    fit(tuned, model.parameters(), data, args.tuning_epochs, args.rate / 30, args.batch,
        args.seed + 1, log)
    q = quantise.requantise(model, q)

    log(f"measuring on {args.held_out} held-out scenes ...")
    figures = measure(q, args.seed + 1000, args.held_out, args.size, args.workers)
    for rule, values in figures.items():
        unit = "dB" if rule.startswith("keep_") else "%"
        line = f"  {rule:22s} {values['ours']:6.1f} {unit}"
        if "standard" in values:
            line += f"   (default mode {values['standard']:6.1f} {unit})"
        log(line)
    log("  " + summary(figures))

    minutes = (time.time() - started) / 60
    provenance = (f"window radius {args.window_radius}, hidden {args.hidden}; "
                  f"seed {args.seed}, {args.scenes} + {args.focus_scenes} scenes of "
                  f"{args.size} px, {args.epochs} + {args.focus_epochs} + {args.tuning_epochs} "
                  f"epochs, {minutes:.0f} min; torch {torch.__version__}, "
                  f"numpy {np.__version__}, Python {platform.python_version()}.\n"
                  f"// Held-out scenes: {summary(figures)}.")
    os.makedirs(os.path.dirname(weights_path), exist_ok=True)
    os.makedirs(os.path.dirname(fixture_path), exist_ok=True)
    export.write_cpp(q, weights_path, provenance)
    export.write_fixture(q, fixture_path, np.random.default_rng(args.seed))
    if args.out_dir:
        torch.save(model.state_dict(), os.path.join(args.out_dir, "model.pt"))
        with open(os.path.join(args.out_dir, "quantised.pkl"), "wb") as f:
            pickle.dump(q, f)
    log(f"wrote {weights_path} and {fixture_path} in {minutes:.1f} min")
    return 0


if __name__ == "__main__":
    sys.exit(main())
