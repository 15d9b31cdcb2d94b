#!/usr/bin/env python3
"""Writes the seed corpus of the vocoder fuzzer into tests/fuzz/corpus/.

Each seed is a small host session in the fuzzer's input layout (see vocoder_fuzzer.cpp): a
byte of floating-point mode, then calls. Run it again after changing the layout; the fuzzer
itself only reads the files.
"""

import os
import struct

# Opcodes of the effect record's dispatcher.
OPEN, CLOSE, SET_PROGRAM, GET_PROGRAM, SET_PROGRAM_NAME, GET_PROGRAM_NAME = range(6)
GET_PARAM_LABEL, GET_PARAM_DISPLAY, GET_PARAM_NAME, GET_VU, SET_SAMPLE_RATE = range(6, 11)
SET_BLOCK_SIZE, MAINS_CHANGED = 11, 12
EDIT_GET_RECT, EDIT_OPEN, EDIT_CLOSE, EDIT_DRAW, EDIT_MOUSE = range(13, 18)
EDIT_KEY, EDIT_IDLE, EDIT_TOP, EDIT_SLEEP, IDENTIFY = range(18, 23)

# Wirings of the processing buffers.
SEPARATE, IN_PLACE, CROSSED, SHARED_INPUT, SHARED_OUTPUT, ONE_BUFFER, NULL_ARRAY, NULL_CHANNEL = range(8)

NAN = float("nan")
INF = float("inf")


def mode(rounding=0, flush_to_zero=False, denormals_are_zero=False):
    return bytes([rounding | (4 if flush_to_zero else 0) | (8 if denormals_are_zero else 0)])


def f(value):
    """A float operand as raw bits."""
    return bytes([0x80]) + struct.pack("<f", value)


def f_bits(bits):
    return bytes([0x80]) + struct.pack("<I", bits)


def index(i):
    if -2 <= i <= 9:
        return bytes([i + 2])
    return bytes([192]) + struct.pack("<i", i)


def dispatch(opcode, idx=0, value=0, opt=0.0, ptr=0, text=None, given=b""):
    """ptr: 0 null, 1 a buffer of exactly the size the call may use, 2 a roomy buffer."""
    if 0 <= opcode <= 22:
        head = bytes([0, opcode])
    else:
        head = bytes([7]) + struct.pack("<h", opcode)
    body = index(idx) + index(value) + f(opt) + bytes([ptr])
    if ptr == 1 and opcode == SET_PROGRAM_NAME:
        raw = text.encode("latin-1")
        body += bytes([len(raw)]) + bytes(c - 1 for c in raw)
    elif ptr == 2:
        body += bytes([len(given)]) + given
    return head + body


def set_parameter(i, value):
    return bytes([1]) + index(i) + f(value)


def get_parameter(i):
    return bytes([2]) + index(i)


def all_parameters(values):
    return bytes([6]) + b"".join(f(v) for v in values)


def toggle_editor():
    return bytes([5])


def frames(n):
    if n == -(2**31):
        return bytes([6, 1])
    if n < 0:
        return bytes([5]) + struct.pack("<H", -1 - n)
    if n <= 3000:
        return bytes([1]) + struct.pack("<H", n)
    return bytes([4]) + struct.pack("<H", n)


def silence():
    return bytes([0])


def constant(value):
    return bytes([1]) + f(value)


def noise(seed, amplitude, sprinkled=()):
    out = bytes([2]) + struct.pack("<I", seed) + f(amplitude) + bytes([len(sprinkled)])
    for at, value in sprinkled:
        out += struct.pack("<H", at) + f(value)
    return out


def sine(step, amplitude):
    return bytes([3, step]) + f(amplitude)


def pattern(values):
    return bytes([4, len(values) - 1]) + b"".join(f(v) for v in values)


def processing(replacing, n, wiring, fill1, fill2, which=0):
    return bytes([3 if replacing else 4]) + frames(n) + bytes([wiring, which]) + fill1 + fill2


SEEDS = {
    "defaults_block": mode()
    + processing(True, 512, SEPARATE, noise(1, 0.5), sine(20, 0.8))
    + b"".join(get_parameter(i) for i in range(8))
    + dispatch(EDIT_IDLE),
    "automation_and_refresh": mode()
    + all_parameters([0.8, 0.6, 0.2, 0.5, 0.3, 0.7, 0.0, 1.0])
    + dispatch(EDIT_IDLE)
    + dispatch(EDIT_IDLE)
    + set_parameter(7, 0.0)
    + set_parameter(6, 0.5)
    + processing(True, 256, SEPARATE, sine(7, 0.3), noise(9, 1.0))
    + dispatch(EDIT_IDLE)
    + dispatch(GET_PROGRAM),
    "programs_and_names": mode()
    + dispatch(SET_PROGRAM_NAME, ptr=1, text="A name far longer than any program name")
    + dispatch(GET_PROGRAM_NAME, ptr=1)
    + dispatch(SET_PROGRAM, value=1)
    + dispatch(GET_PROGRAM_NAME, ptr=2)
    + dispatch(SET_PROGRAM_NAME, ptr=2, given=b"Second\0")
    + set_parameter(2, 1.5)
    + dispatch(SET_PROGRAM, value=-1)
    + dispatch(SET_PROGRAM, value=2)
    + dispatch(SET_PROGRAM, value=0)
    + get_parameter(2)
    + dispatch(GET_PROGRAM)
    + dispatch(GET_PARAM_LABEL, idx=3, ptr=1)
    + dispatch(GET_PARAM_DISPLAY, idx=9, ptr=2)
    + dispatch(GET_PARAM_NAME, idx=-1, ptr=1)
    + dispatch(23)
    + dispatch(-1)
    + dispatch(IDENTIFY),
    "hostile_values": mode(rounding=3, flush_to_zero=True, denormals_are_zero=True)
    + all_parameters([NAN, INF, 1e30, -1.0, -INF, NAN, -0.0, 1.0])
    + processing(True, 3001, IN_PLACE, noise(3, 1.0, [(0, NAN), (1500, INF), (3000, 1e-40)]),
                 pattern([1e-45, -INF, 3.0e38, NAN]))
    + set_parameter(3, -0.0018140589)
    + processing(True, 700, SEPARATE, noise(4, 1e30), constant(INF))
    + processing(False, -5, SEPARATE, silence(), silence())
    + processing(True, -(2**31), SEPARATE, silence(), silence())
    + get_parameter(8)
    + get_parameter(-1)
    + dispatch(SET_SAMPLE_RATE, opt=NAN)
    + dispatch(SET_BLOCK_SIZE, value=-(2**31))
    + dispatch(MAINS_CHANGED, value=-1),
    "long_blocks": mode()
    + set_parameter(7, 0.999)
    + processing(True, 7000, CROSSED, sine(3, 0.5), noise(5, 0.5))
    + set_parameter(7, 1.0)
    + set_parameter(4, 1.0)
    + processing(False, 3000, SHARED_OUTPUT, sine(11, 0.1), sine(13, 0.2))
    + processing(True, 6001, ONE_BUFFER, sine(17, 0.7), silence())
    + processing(True, 2999, SHARED_INPUT, noise(6, 0.25), silence()),
    "editor_opcodes": mode()
    + b"".join(dispatch(op, idx=5, value=7, ptr=2) for op in range(EDIT_GET_RECT, EDIT_SLEEP + 1))
    + toggle_editor()
    + b"".join(dispatch(op, idx=5, value=7, ptr=1) for op in range(EDIT_GET_RECT, EDIT_SLEEP + 1))
    + toggle_editor()
    + set_parameter(0, 0.25)
    + dispatch(EDIT_IDLE)
    + dispatch(EDIT_IDLE),
    "close_midway": mode(rounding=1)
    + processing(True, 100, SEPARATE, noise(7, 0.5), noise(8, 0.5))
    + dispatch(CLOSE)
    + set_parameter(5, 0.9)
    + processing(True, 100, SEPARATE, noise(7, 0.5), noise(8, 0.5))
    + dispatch(OPEN),
    "null_pointers": mode()
    + processing(True, 64, NULL_ARRAY, noise(1, 1.0), noise(2, 1.0), which=0)
    + processing(True, 64, NULL_ARRAY, noise(1, 1.0), noise(2, 1.0), which=1)
    + b"".join(processing(r, 64, NULL_CHANNEL, silence(), silence(), which=w)
               for r in (True, False) for w in range(4))
    + b"".join(dispatch(op, ptr=0) for op in (SET_PROGRAM_NAME, GET_PROGRAM_NAME, GET_PARAM_LABEL,
                                              GET_PARAM_DISPLAY, GET_PARAM_NAME, EDIT_GET_RECT,
                                              EDIT_OPEN, EDIT_DRAW)),
}


def main():
    directory = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(directory, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(directory, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
