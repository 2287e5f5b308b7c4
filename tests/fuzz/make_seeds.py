#!/usr/bin/env python3
"""Writes the seed corpora of the three fuzz harnesses into corpus/<harness>/.

Each seed is a short, meaningful session in the harness's input layout (little-endian
fields, read by FuzzInput): what a host typically does, the corner values each operation
must survive, and the traffic around speaker layouts. libFuzzer mutates from these.

Usage: tests/fuzz/make_seeds.py   (rewrites the committed seed files in place)
"""
import math
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent


def u8(v):
    return struct.pack("<B", v & 0xFF)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def i32(v):
    return struct.pack("<i", v)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def f32(v):
    return struct.pack("<f", v)


def f32_bits(bits):
    return u32(bits)


# --- dispatcher: one step is [kind][fields...] -------------------------------------------
# kind 0: request  codeChoice, mode, index, value, opt, offset, textLength, text
# kind 2: write    indexChoice, f32
# kind 3: read     indexChoice
# kind 4: process  mode (1 double, 2 in place, 4 scale follows), frames + 8, [scale]

def request(code, index=0, value=0, opt=0.0, text=b"", offset=0, small_opt=False):
    """A request with a small index (-1..8), the value as a 32-bit field and a float opt."""
    assert -5 <= code <= 84
    mode = 0b1100  # index: small choice; value: 32-bit field
    if small_opt:
        mode |= 0x40
    out = u8(0) + u8(code + 5) + u8(mode) + u8(index + 1) + i32(value)
    out += u8(int(opt)) if small_opt else f32(opt)
    return out + u8(offset) + u8(len(text)) + text


def write_param(index, value_bytes):
    return u8(2) + u8(index + 1) + value_bytes


def read_param(index):
    return u8(3) + u8(index + 1)


def process(frames, double=False, in_place=False, scale=None):
    mode = (1 if double else 0) | (2 if in_place else 0) | (4 if scale is not None else 0)
    out = u8(4) + u8(mode) + u8(frames + 8)
    return out + (f32(scale) if scale is not None else b"")


def dispatch_seeds():
    seeds = {}
    host = [request(0), request(10, opt=48000.0), request(11, value=512), request(12, value=1)]
    for index in range(7):
        host += [request(8, index), request(7, index), request(6, index)]
    host += [request(5), request(4, text=b"Bright"), request(5), request(45), request(47), request(48),
             request(49), request(51, text=b"bypass"), request(58), request(22), request(26, 3)]
    host += [write_param(1, f32(1.0)), write_param(4, f32(0.75)), write_param(3, f32(0.5)),
             process(64), process(64, double=True), process(17, in_place=True), read_param(1),
             request(7, 1), request(12, value=0)]
    seeds["host-session"] = b"".join(host)

    speakers = [request(42), request(69), request(23), request(23, index=1), request(24, value=100),
                request(69), request(42, value=7)]
    seeds["speaker-and-chunk-requests"] = b"".join(speakers)

    extremes = []
    for index, bits in [(0, 0x7FC00000), (2, 0x7F800000), (3, 0xFF800000), (5, 0x80000000),
                        (6, 0x00000001), (0, 0x7149F2CA), (1, 0x3F000000), (4, 0x3F000001)]:
        extremes += [write_param(index, f32_bits(bits)), request(7, index), read_param(index)]
    extremes += [process(-5), process(0), process(64, scale=1e30), process(33, double=True, scale=float("nan")),
                 request(7, 7), request(7, -1), request(8, 9), write_param(7, f32(0.3)), read_param(-1)]
    seeds["parameter-extremes"] = b"".join(extremes)

    every = []
    for code in range(-5, 85):
        every.append(request(code, index=code % 9 - 1, value=code * 3, opt=-1.0, small_opt=True,
                             text=b"receiveVstMidiEvent", offset=code % 40))
        if code % 10 == 0:
            every.append(process(code % 64 + 1, double=code % 20 == 0))
    seeds["every-code"] = b"".join(every)

    # Wave positions around the counter's wrap: 361 frames and beyond.
    wrap = [write_param(1, f32(1.0)), write_param(4, f32(1.0))]
    wrap += [process(64)] * 5 + [process(41, double=True), process(1), process(64, in_place=True)]
    seeds["counter-wrap"] = b"".join(wrap)
    return seeds


# --- formatting: one step is [operation][32-bit value][maxLength] --------------------------
DECIBELS, HERTZ, MILLISECONDS, FLOAT, INTEGER, SAMPLE_RATE = range(6)


def fmt(op, value_bytes, max_length):
    return u8(op) + value_bytes + u8(max_length)


def format_seeds():
    floats = [0.0, 0.5, -0.5, 0.7, 123.456, 1234567.0, -123456.0, 99999999.0, 100000000.0, -9999999.0,
              -10000000.0, 12345678.0, -1234567.0, 1e-45, -1e-45, 1e-38, 0.999999, 9999999.5]
    special_bits = [0x7FC00000, 0xFFC00000, 0x7F800000, 0xFF800000, 0x80000000, 0x00000001, 0x7F7FFFFF]
    integers = [0, 5, -42, 99999999, 100000000, -123456789, -1000000000, -2147483648, 2147483647, 12345]
    seeds = {}
    seeds["floats"] = b"".join(fmt(FLOAT, f32(v), n) for v in floats for n in (64, 8, 4, 0))
    seeds["float-bits"] = b"".join(fmt(op, f32_bits(b), n) for b in special_bits
                                   for op in (FLOAT, DECIBELS, HERTZ, MILLISECONDS) for n in (64, 3))
    seeds["integers"] = b"".join(fmt(INTEGER, i32(v), n) for v in integers for n in (64, 10, 3, 1, 0))
    levels = [1.0, 10.0, 0.0, -1.0, 0.5, 1e-30, 3.4e38]
    seeds["levels-and-times"] = b"".join(
        [fmt(DECIBELS, f32(v), 64) for v in levels]
        + [fmt(HERTZ, f32(v), 64) for v in (441.0, 0.0, 1.0, -1.0, 1e-40)]
        + [fmt(MILLISECONDS, f32(v), 64) for v in (441.0, 44100.0, -3.0)]
        + [fmt(SAMPLE_RATE, f32(0.0), 0), fmt(HERTZ, f32(441.0), 64), fmt(MILLISECONDS, f32(441.0), 64),
           fmt(SAMPLE_RATE, f32(96000.0), 0), fmt(MILLISECONDS, f32(96.0), 12)])
    return seeds


# --- speaker layouts: one step is [operation][fields...] ----------------------------------
ALLOC, FREE, MATCH, COPY, BUILD = range(5)


def alloc(slot, count):
    if count < 0:
        return u8(ALLOC) + u8(slot) + u8(255) + u8(-1 - count)
    return u8(ALLOC) + u8(slot) + u8(0) + u16(count)


def free(slot):
    return u8(FREE) + u8(slot)


def match(slot, source_choice):
    return u8(MATCH) + u8(slot) + u8(source_choice)


def copy(to_choice, to_position, from_choice, from_position):
    return u8(COPY) + u8(to_choice) + u16(to_position) + u8(from_choice) + u16(from_position)


def speaker(name_length, first, type_code, floats=(1.0, -0.5, 0.0, 2.0), reserved=7):
    return b"".join(f32(v) for v in floats) + u8(name_length) + u8(first) + i32(type_code) + u8(reserved)


def build(source, type_code, speakers):
    return u8(BUILD) + u8(source) + u8(len(speakers)) + i32(type_code) + b"".join(speakers)


def speaker_seeds():
    seeds = {}
    six = [speaker(5, 0, 1), speaker(63, 1, 2), speaker(64, 2, 3), speaker(0, 3, -1),
           speaker(10, 4, 0x7FFFFFFF, floats=(math.inf, -math.inf, 1e-45, -0.0)), speaker(1, 5, 6)]
    seeds["match-six"] = b"".join([build(0, 0x2A, six), match(0, 0), match(1, 128), match(1, 1),
                                   copy(0, 2, 1, 5), free(0), match(2, 250), free(1), free(2)])
    seeds["alloc-free"] = b"".join([alloc(0, 0), alloc(0, 2), alloc(1, 512), free(1), free(1), alloc(2, -1),
                                    alloc(3, 7), copy(3, 1, 100, 0), copy(3, 6, 3, 1), free(3)])
    seeds["copies"] = b"".join([build(1, -5, [speaker(64, 9, 4), speaker(2, 8, 5)]), alloc(0, 3),
                                copy(0, 0, 101, 0), copy(0, 1, 201, 1), copy(0, 2, 0, 0), copy(0, 0, 255, 0),
                                copy(150, 0, 201, 0), copy(250, 0, 0, 0), copy(0, 0, 250, 0)])
    return seeds


def write(harness, seeds):
    directory = HERE / "corpus" / harness
    directory.mkdir(parents=True, exist_ok=True)
    for name, data in seeds.items():
        (directory / f"seed-{name}").write_bytes(data)


if __name__ == "__main__":
    write("dispatch", dispatch_seeds())
    write("format", format_seeds())
    write("speaker_layout", speaker_seeds())
