"""The network in integers: int8 weights, int32 accumulators and biases, uint8 activations,
each layer's rescale a right shift that rounds half up, and a table from score to share. `forward`
and `smooth` are the reference the C++ pass must equal bit for bit.
"""
from dataclasses import dataclass, field

import numpy as np
import torch

from . import dataset, network

ACTIVATION_MAX = 255        # activations are uint8
SCORE_INDEX_LIMIT = 512     # the rescaled score indexes the share table from -512 to 512
SCORE_RANGE = 4.0           # ... which covers -4..4 of the real score, past the shares' clamps
SHARE_ONE = 1 << 15         # a colour's share of the pixel: 0..32768


@dataclass
class Layer:
    weights: np.ndarray     # int8 [outputs, inputs]
    bias: np.ndarray        # int32 [outputs]
    shift: int              # rescale of the accumulator: (acc + 2^(shift-1)) >> shift


@dataclass
class QuantisedNet:
    layers: list = field(default_factory=list)
    shares: np.ndarray = None    # uint16 [2 * SCORE_INDEX_LIMIT + 1], 0..SHARE_ONE
    steps: list = field(default_factory=list)   # the real value of one step of each layer's output


def activation_ranges(net, masks, quantile=0.9995):
    """Per hidden layer: the activation value that maps to ACTIVATION_MAX."""
    tops = []
    x = masks
    with torch.no_grad():
        for layer in net.layers[:-1]:
            x = torch.relu(layer(x))
            tops.append(max(float(torch.quantile(x.flatten()[:1_000_000], quantile)), 1e-3))
    return tops


def _steps(w, input_step, wanted_step):
    """Weight step and shift: output step = weight step * input step * 2^shift lands at or just
    below wanted_step while the weights fit in int8."""
    smallest = max(np.abs(w).max() / 127.0, 1e-12)
    shift = int(np.floor(np.log2(wanted_step / (smallest * input_step))))
    shift = max(shift, 1)
    return wanted_step / (input_step * 2 ** shift), shift


def quantise(net, tops):
    """Chooses each layer's steps and shift from its weights and activation range, then rounds
    the weights onto them."""
    steps, shifts = [], []
    input_step = 1.0                  # masks are exactly 0 or 1
    layers = list(net.layers)
    for i, layer in enumerate(layers):
        w = layer.weight.detach().double().numpy()
        last = i == len(layers) - 1
        wanted = (SCORE_RANGE / SCORE_INDEX_LIMIT) if last else tops[i] / ACTIVATION_MAX
        w_step, shift = _steps(w, input_step, wanted)
        input_step = w_step * input_step * 2 ** shift
        steps.append(input_step)
        shifts.append(shift)
    z = np.arange(-SCORE_INDEX_LIMIT, SCORE_INDEX_LIMIT + 1) * steps[-1]
    table = np.round(network.share_of_score(torch.from_numpy(z)).numpy() * SHARE_ONE)
    table = table.astype(np.uint16)
    plan = QuantisedNet(layers=[Layer(None, None, s) for s in shifts], shares=table, steps=steps)
    return requantise(net, plan)


def requantise(net, plan):
    """The network's current weights rounded onto the fixed steps and shifts of plan."""
    q = QuantisedNet(shares=plan.shares, steps=list(plan.steps))
    input_step = 1.0
    for layer, planned, step in zip(net.layers, plan.layers, plan.steps):
        acc_step = step / 2 ** planned.shift
        w_step = acc_step / input_step
        w = layer.weight.detach().double().numpy()
        b = layer.bias.detach().double().numpy()
        weights = np.clip(np.round(w / w_step), -127, 127).astype(np.int8)
        bias = np.round(b / acc_step)
        assert np.abs(bias).max() < 2 ** 20, "bias beyond the accumulator's room"
        q.layers.append(Layer(weights, bias.astype(np.int32), planned.shift))
        input_step = step
    return q


def rescale(acc, shift):
    return (acc + (1 << (shift - 1))) >> shift


def forward(q, masks):
    """masks: uint8/bool [N, cells] of 0/1 -> shares int64 [N] in 0..SHARE_ONE: the mean of the
    network's shares for the mask and for its mirror image across the diagonal, rounded half up
    (the two views halve the error either makes alone)."""
    mirrored = masks[:, dataset.transposed_cells(dataset.cell_offsets())]
    return (one_view(q, masks) + one_view(q, mirrored) + 1) >> 1


def one_view(q, masks):
    """The network's share for each mask as it stands."""
    x = masks.astype(np.int64)
    for layer in q.layers[:-1]:
        acc = x @ layer.weights.T.astype(np.int64) + layer.bias
        x = np.clip(rescale(acc, layer.shift), 0, ACTIVATION_MAX)
    last = q.layers[-1]
    acc = (x @ last.weights.T.astype(np.int64) + last.bias)[:, 0]
    index = np.clip(rescale(acc, last.shift), -SCORE_INDEX_LIMIT, SCORE_INDEX_LIMIT)
    return q.shares[index + SCORE_INDEX_LIMIT].astype(np.int64)


def blend(shares, valid, rgba):
    """The pixel from its candidates, in integers as the C++ pass blends: shares [N, 9],
    valid [N, 9], rgba int64 [N, 9, 4] straight samples -> [N, 4], with -1 rows where the pixel
    stays as it is."""
    s = np.where(valid, shares, 0).astype(np.int64)
    a = rgba[..., 3]
    total = s.sum(1)
    weight = s * a
    alpha = weight.sum(1)
    colour = (weight[..., None] * rgba[..., :3]).sum(1)
    out = np.full((len(s), 4), -1, np.int64)
    ok = (total > 0) & (alpha > 0)
    out[ok, 3] = (2 * alpha[ok] + total[ok]) // (2 * total[ok])
    out[ok, :3] = (2 * colour[ok] + alpha[ok, None]) // (2 * alpha[ok, None])
    return out


def smooth(q, image):
    """The whole high-quality pass on an RGBA image of 8-bit samples or 16-bit samples in the
    engine's units (smooth range 0, no key): this program's own reference of the C++ pass."""
    packed, valid, _, _, (ys, xs) = dataset.examples(image, None, with_positions=True)
    cand = dataset.candidate_samples(image, ys, xs)
    out = image.copy()
    for i in range(0, len(ys), 50_000):
        sl = slice(i, i + 50_000)
        masks = np.unpackbits(packed[sl], axis=-1)[..., :len(dataset.cell_offsets())]
        n = masks.shape[0]
        shares = forward(q, masks.reshape(n * dataset.MAX_CANDIDATES, -1)).reshape(n, -1)
        result = blend(shares, valid[sl], cand[sl])
        keep = result[:, 0] >= 0
        out[ys[sl][keep], xs[sl][keep]] = result[keep].astype(image.dtype)
    return out
