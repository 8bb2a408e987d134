"""The coverage network and the blend it feeds.

For one pixel and one candidate colour, the network reads the colour's binary mask in the
window and gives a score; the sigmoid of the score is the colour's estimated share of the pixel.
The shares of a pixel's candidates are normalised and the pixel becomes their blend in
premultiplied RGBA.
"""
import torch
from torch import nn

from . import dataset

HIDDEN = (64, 32)


class CoverageNet(nn.Module):
    def __init__(self, hidden=HIDDEN):
        super().__init__()
        sizes = (dataset.WINDOW * dataset.WINDOW,) + tuple(hidden) + (1,)
        self.layers = nn.ModuleList(nn.Linear(a, b) for a, b in zip(sizes, sizes[1:]))

    def forward(self, masks):
        x = masks
        for layer in self.layers[:-1]:
            x = torch.relu(layer(x))
        return self.layers[-1](x).squeeze(-1)


def blend(scores, valid, colours):
    """scores [N, 9], valid [N, 9] bool, colours [N, 9, 4] -> premultiplied blend [N, 4]."""
    share = torch.sigmoid(scores) * valid
    weight = share / share.sum(1, keepdim=True).clamp_min(1e-6)
    return (weight.unsqueeze(-1) * colours).sum(1)


def unpack(packed):
    """Packed mask bits [..., 16] uint8 -> float masks [..., 121]."""
    bits = torch.from_numpy(packed) if not torch.is_tensor(packed) else packed
    shifts = torch.arange(7, -1, -1, dtype=torch.uint8)
    m = (bits.unsqueeze(-1) >> shifts) & 1
    m = m.reshape(*bits.shape[:-1], -1)[..., :dataset.WINDOW * dataset.WINDOW]
    return m.float()
