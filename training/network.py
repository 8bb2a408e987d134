"""The coverage network and the blend it feeds, in floating point for training and with the
integer pass's rounding for fine-tuning after quantisation.

For one pixel and one candidate colour, the network reads the colour's binary mask in the
cells around the pixel and gives a score; a sigmoid of the score, stretched so that it reaches
0 and 1 and clamped there, is the colour's estimated share of the pixel: a colour that does not
reach the pixel gets a share of exactly 0, and the pixels inside a line or a fill stay exactly as
they are. The shares of a pixel's candidates are normalised and the pixel becomes their blend in
premultiplied RGBA.
"""
import torch
from torch import nn

from . import dataset

HIDDEN = (128, 64)
# The sigmoid's tails below SNAP and above 1 - SNAP become exactly 0 and 1.
SNAP = 0.03


def share_of_score(score):
    """A colour's share for its score: what the integer pass's table holds."""
    return torch.clamp((torch.sigmoid(score) - SNAP) / (1 - 2 * SNAP), 0, 1)


class CoverageNet(nn.Module):
    def __init__(self, hidden=HIDDEN):
        super().__init__()
        sizes = (len(dataset.cell_offsets()),) + tuple(hidden) + (1,)
        self.layers = nn.ModuleList(nn.Linear(a, b) for a, b in zip(sizes, sizes[1:]))

    def forward(self, masks):
        x = masks
        for layer in self.layers[:-1]:
            x = torch.relu(layer(x))
        return share_of_score(self.layers[-1](x).squeeze(-1))


def _straight_through(exact, smooth):
    """exact in the forward pass, the gradient of smooth in the backward pass."""
    return smooth + (exact - smooth).detach()


class QuantisedForward(nn.Module):
    """The integer pass's arithmetic on a float network: weights rounded to their int8 steps,
    accumulators rescaled by a shift that rounds half up, activations clamped to 0..255, the
    share from the score's table, and the mean of the shares of the mask and its mirror image
    across the diagonal. Its shares equal quantise.forward's for the same weights (float32 holds
    every accumulator exactly); gradients pass straight through the rounding."""

    def __init__(self, net, q):
        super().__init__()
        self.net = net
        self.q = q
        self.steps = []            # (weight step, accumulator step) of each layer
        input_step = 1.0
        for layer, step in zip(q.layers, q.steps):
            acc_step = step / 2 ** layer.shift
            self.steps.append((acc_step / input_step, acc_step))
            input_step = step
        self.register_buffer("table", torch.tensor(q.shares.astype("float32")))
        self.mirror = torch.from_numpy(dataset.transposed_cells(dataset.cell_offsets()))

    def forward(self, masks):
        exact, smooth = zip(self.view(masks), self.view(masks[..., self.mirror]))
        one = float(1 << 15)
        mean = torch.floor((exact[0] + exact[1] + 1) / 2) / one
        return _straight_through(mean, (smooth[0] + smooth[1]) / 2)

    def view(self, masks):
        """The share of each mask as it stands: (exact, in table units; smooth, 0..1)."""
        x = masks
        count = len(self.net.layers)
        for i, (layer, ql) in enumerate(zip(self.net.layers, self.q.layers)):
            w_step, acc_step = self.steps[i]
            w = _straight_through(torch.clamp(torch.round(layer.weight / w_step), -127, 127),
                                  layer.weight / w_step)
            b = _straight_through(torch.round(layer.bias / acc_step), layer.bias / acc_step)
            acc = x @ w.T + b
            scale = float(2 ** ql.shift)
            smooth = acc / scale
            exact = torch.floor((acc + scale / 2) / scale)
            if i < count - 1:
                x = _straight_through(torch.clamp(exact, 0, 255), torch.clamp(smooth, 0, 255))
            else:
                limit = (len(self.q.shares) - 1) // 2
                index = torch.clamp(exact, -limit, limit).squeeze(-1)
                real = smooth.squeeze(-1) * self.q.steps[-1]
                return self.table[(index + limit).long()], share_of_score(real)


def blend(shares, valid, colours):
    """shares [N, 9], valid [N, 9] bool, colours [N, 9, 4] -> premultiplied blend [N, 4]. A
    pixel whose candidates all have no share keeps its own colour, the first candidate's, as in
    the integer pass."""
    share = shares * valid
    total = share.sum(1, keepdim=True)
    weight = share / total.clamp_min(1e-6)
    blended = (weight.unsqueeze(-1) * colours).sum(1)
    return torch.where(total > 0, blended, colours[:, 0])


def unpack(packed):
    """Packed mask bits [..., bytes] uint8 -> float masks [..., cells]."""
    bits = torch.from_numpy(packed) if not torch.is_tensor(packed) else packed
    shifts = torch.arange(7, -1, -1, dtype=torch.uint8)
    m = (bits.unsqueeze(-1) >> shifts) & 1
    m = m.reshape(*bits.shape[:-1], -1)[..., :len(dataset.cell_offsets())]
    return m.float()
