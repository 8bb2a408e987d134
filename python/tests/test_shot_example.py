"""The shot example: frames smoothed on a thread pool give the command line's files."""

import os
import subprocess
import sys

import numpy as np

import pngio
from conftest import EXAMPLES
from line_art import line_art


def test_shot_on_a_thread_pool_gives_the_command_lines_frames(tmp_path, tovrin_smooth):
    frames = []
    for number in range(1, 9):
        frame = tmp_path / f"shot.{number:04d}.png"
        dtype = np.uint16 if number % 2 else np.uint8
        pngio.write_png(frame, line_art(120, 160, 100 + number, dtype, transparent=number > 4))
        frames.append(str(frame))
    example = os.path.join(EXAMPLES, "smooth_shot.py")
    subprocess.run([sys.executable, example, *frames, "--out-dir", str(tmp_path / "py"),
                    "--smooth-range", "8", "--key", "255,255,255", "--workers", "4"],
                   check=True, capture_output=True)
    subprocess.run([tovrin_smooth, *frames, "--out-dir", str(tmp_path / "cli"), "--smooth-range",
                    "8", "--key", "255,255,255"], check=True, capture_output=True)
    for frame in frames:
        name = os.path.basename(frame)
        ours = pngio.read_png(tmp_path / "py" / name)
        np.testing.assert_array_equal(ours, pngio.read_png(tmp_path / "cli" / name), err_msg=name)
        assert not np.array_equal(ours, pngio.read_png(frame)), name
