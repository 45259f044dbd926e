#!/usr/bin/python3
"""Trains the demo's digit classifier and writes what the demo checks itself against.

Run with Debian's python3 (python3-torch, python3-sklearn):
    /usr/bin/python3 tools/digits/train.py
It writes, next to itself:
    digits.u8        the 1,797 images of 8 x 8 pixels (0..16), 65 bytes each: 64 pixels, then the label
    weights.bin      the trained network (see the layout below)
    reference.bin    torch's float32 logits for the held-out images, 360 x 10, little-endian
    reference.txt    torch's held-out accuracy and the training settings

The split is fixed: the first 1,437 images train, the last 360 are held out.
Training is deterministic (fixed seeds, one thread).

Network (batch normalisation in inference form, its running statistics stored):
    conv 3x3, 1 -> 8 channels, padding 1    -> batch norm -> ReLU -> max pool 2x2
    conv 3x3, 8 -> 16 channels, padding 1   -> ReLU
    flatten (16 x 4 x 4 = 256) -> linear 256 -> 10 -> softmax

weights.bin: the magic "VDNW", a uint32 count of tensors, then per tensor a uint32 element count
followed by that many little-endian float32 values, in this order:
    conv1.weight [8][1][3][3], conv1.bias [8],
    bn.weight [8], bn.bias [8], bn.running_mean [8], bn.running_var [8],
    conv2.weight [16][8][3][3], conv2.bias [16],
    fc.weight [10][256], fc.bias [10]
Batch normalisation uses epsilon 1e-5.
"""
import gzip
import os
import struct

import numpy as np
import torch
import sklearn.datasets

HERE = os.path.dirname(os.path.abspath(__file__))
TRAIN = 1437
EPOCHS = 60


class Net(torch.nn.Module):
    def __init__(self):
        super().__init__()
        self.conv1 = torch.nn.Conv2d(1, 8, 3, padding=1)
        self.bn = torch.nn.BatchNorm2d(8, eps=1e-5)
        self.conv2 = torch.nn.Conv2d(8, 16, 3, padding=1)
        self.fc = torch.nn.Linear(256, 10)

    def forward(self, x):
        x = torch.nn.functional.max_pool2d(torch.relu(self.bn(self.conv1(x))), 2)
        x = torch.relu(self.conv2(x))
        return self.fc(x.flatten(1))


def load_digits():
    path = os.path.join(os.path.dirname(sklearn.datasets.__file__), "data", "digits.csv.gz")
    with gzip.open(path, "rt") as f:
        rows = np.loadtxt(f, delimiter=",", dtype=np.uint8)
    assert rows.shape == (1797, 65)
    return rows


def main():
    torch.manual_seed(0)
    torch.set_num_threads(1)
    torch.use_deterministic_algorithms(True)
    rows = load_digits()
    rows.tofile(os.path.join(HERE, "digits.u8"))

    images = torch.from_numpy(rows[:, :64].astype(np.float32) / 16.0).reshape(-1, 1, 8, 8)
    labels = torch.from_numpy(rows[:, 64].astype(np.int64))
    train_x, train_y = images[:TRAIN], labels[:TRAIN]
    test_x, test_y = images[TRAIN:], labels[TRAIN:]

    net = Net()
    opt = torch.optim.Adam(net.parameters(), lr=3e-3)
    gen = torch.Generator().manual_seed(1)
    for _ in range(EPOCHS):
        net.train()
        order = torch.randperm(TRAIN, generator=gen)
        for start in range(0, TRAIN, 64):
            idx = order[start:start + 64]
            opt.zero_grad()
            loss = torch.nn.functional.cross_entropy(net(train_x[idx]), train_y[idx])
            loss.backward()
            opt.step()

    net.eval()
    with torch.no_grad():
        logits = net(test_x)
    correct = int((logits.argmax(1) == test_y).sum())

    tensors = [net.conv1.weight, net.conv1.bias, net.bn.weight, net.bn.bias, net.bn.running_mean,
               net.bn.running_var, net.conv2.weight, net.conv2.bias, net.fc.weight, net.fc.bias]
    with open(os.path.join(HERE, "weights.bin"), "wb") as f:
        f.write(b"VDNW" + struct.pack("<I", len(tensors)))
        for t in tensors:
            a = t.detach().numpy().astype("<f4").ravel()
            f.write(struct.pack("<I", a.size) + a.tobytes())
    logits.numpy().astype("<f4").tofile(os.path.join(HERE, "reference.bin"))
    with open(os.path.join(HERE, "reference.txt"), "w") as f:
        f.write(f"held_out_images {len(test_y)}\n")
        f.write(f"held_out_correct {correct}\n")
        f.write(f"held_out_accuracy {correct / len(test_y):.6f}\n")
        f.write(f"torch {torch.__version__}\nepochs {EPOCHS}\nseed 0\n")
    print(f"held-out accuracy {correct}/{len(test_y)} = {correct / len(test_y):.4f}")


if __name__ == "__main__":
    main()
