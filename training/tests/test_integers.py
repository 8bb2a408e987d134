"""The fine-tuning pass against the integer pass: the shares it trains are the shares shipped."""
import numpy as np
import torch

from training import dataset, network, quantise


def test_fine_tuning_gives_the_integer_shares_of_both_views():
    torch.manual_seed(3)
    net = network.CoverageNet((32, 16))
    rng = np.random.default_rng(3)
    density = rng.uniform(0, 1, (3000, 1))
    masks = (rng.uniform(0, 1, (3000, len(dataset.cell_offsets()))) < density).astype(np.uint8)
    as_float = torch.from_numpy(masks).float()
    q = quantise.quantise(net, quantise.activation_ranges(net, as_float))
    trained = network.QuantisedForward(net, q)(as_float)
    shipped = quantise.forward(q, masks)
    assert np.array_equal((trained.detach().numpy() * quantise.SHARE_ONE).round(), shipped)
    # the mean of two views: a mask and its mirror image get one share
    mirrored = masks[:, dataset.transposed_cells(dataset.cell_offsets())]
    assert np.array_equal(quantise.forward(q, mirrored), shipped)
    assert not np.array_equal(quantise.one_view(q, mirrored), quantise.one_view(q, masks))
