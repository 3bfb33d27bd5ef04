#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<name>/ (the
target fuzz_<name>; the replay target keeps its own hand-made seeds).

Small, well-formed inputs (and a few broken ones) that take each reader down
its main paths; the fuzzer mutates from there. Run again after a format change.
"""
import os
import struct
from datetime import date

HERE = os.path.dirname(os.path.abspath(__file__))
DAY = float((date(2026, 12, 7) - date(1899, 12, 30)).days)
SECOND = 1.0 / 86400


def hdr(t, when):
    return bytes([t]) + struct.pack("<d", when)


def start(when=DAY + 8 * 3600 * SECOND):
    return hdr(100, when)


def sw_settings(when, kind=0x40, block=bytes([0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xAA, 0x03, 0x12, 0x5A])):
    return hdr(1, when) + bytes([kind]) + block


def tc_settings(when, kind=0x00):
    block = bytes((i * 37 + 11) & 0xFF for i in range(64)) + bytes(6)
    return hdr(1, when) + bytes([kind]) + block


def state(when, rec):
    return hdr(2, when) + bytes(rec)


def states(t0, n, step=SECOND, couple=0):
    out = b""
    for i in range(n):
        rec = [0] * 12
        rec[3 * couple] = (1 << (i % 8)) if i % 3 else 0
        rec[3 * couple + 1] = 0xFF if i % 5 == 0 else 0
        rec[3 * couple + 2] = [0x00, 0x02, 0x40, 0x10, 0x08, 0x81, 0x01, 0x24][i % 8]
        out += state(t0 + i * step, rec)
    return out


def recordings():
    t = DAY + 8 * 3600 * SECOND
    sw = start(t) + sw_settings(t) + states(t + SECOND, 40) + start(t + 60 * SECOND)
    tc = start(t) + tc_settings(t) + states(t + SECOND, 30, couple=2) + start(t + 60 * SECOND)
    two_days = (start(t) + sw_settings(t) + states(t, 10, step=0.3) +
                tc_settings(t + 4) + states(t + 4, 10, step=600 * SECOND) + start(t + 5))
    return {
        "sw_hub": sw,
        "tc_hub": tc,
        "two_days": two_days,
        "cut_short": sw[: len(sw) - 25],
        "unknown_type": start(t) + sw_settings(t) + states(t, 3) + hdr(7, t) + states(t, 2),
        "no_start": states(t, 4),
        "reconnects": start(t) + sw_settings(t) + states(t, 5) + sw_settings(t + 10 * SECOND, 0x41) +
                      states(t + 10 * SECOND, 5) + tc_settings(t + 20 * SECOND),
    }


def chunk(b):
    assert len(b) < 256
    return bytes([len(b)]) + b


def hublink_inputs():
    sw_answer = bytes([0x83, 0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xAA, 0x03, 0x12, 0x5A])
    tc_answer = bytes([0x83, 0x00]) + bytes((i * 37 + 11) & 0xFF for i in range(64))

    def stream(n, length=12):
        out = b""
        for i in range(n):
            out += bytes([0x82]) + bytes(((i * 13 + j) & 0xFF) for j in range(length))
        return out

    silent = chunk(b"")
    return {
        # stop (silent), stop, settings answer, then the stream in chunks
        "sw_stream": silent + silent + chunk(sw_answer) + chunk(stream(6)) + chunk(stream(6)) + chunk(stream(3)),
        "tc_stream": silent + silent + chunk(tc_answer) + chunk(stream(8)) + chunk(stream(8)),
        "wrong_echo": silent + silent + chunk(bytes([0x84, 0x40]) + sw_answer[2:]) + silent + silent + chunk(sw_answer),
        "garbage_then_ok": silent + silent + chunk(bytes(range(0x10, 0x40))) + silent + silent +
                           chunk(sw_answer) + chunk(stream(6)),
        "stall": silent + silent + chunk(sw_answer) + chunk(stream(2)) + silent + silent + silent +
                 chunk(sw_answer) + chunk(stream(6)),
    }


def testlink_inputs():
    def ops(*o):
        return bytes([len(o)]) + bytes(o)

    connect = chunk(bytes([0x85, 0x21])) + chunk(bytes([0x02, 0x21])) + chunk(bytes([0xFF, 0x21]))
    return {
        "connect_outputs": ops(0, 1, 8, 9, 10) + connect + chunk(b"\x21") + chunk(b"\x22") +
                           chunk(bytes([0x0F, 0x21])) + chunk(bytes([0x05, 0x21])) + chunk(b"\x21"),
        "refused": ops(11, 11) + chunk(bytes([0x05, 0x22])) + chunk(b"\x21") + connect,
        "testing_pending": ops(8, 8, 10) + connect + chunk(bytes([0x00, 0x22])) + chunk(bytes([0x3C, 0x21])) + chunk(b"\x21"),
        "silent": ops(3),
        "bad_answer": ops(2, 11) + connect + chunk(b"\x99") + chunk(b"\x21"),
    }


def settings_inputs():
    sw_block = bytes([0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xAA, 0x03, 0x12, 0x5A])
    tc_block = bytes((i * 37 + 11) & 0xFF for i in range(64)) + bytes(6)
    rec = bytes([0x0F, 0xF0, 0x02, 0x00, 0x00, 0x81, 0xFF, 0x01, 0x40, 0x00, 0x00, 0x10])
    return {
        "sw": bytes([0, 0x40]) + sw_block + bytes([2]) + rec + bytes([4]),
        "sw_compact": bytes([8, 0x41]) + sw_block + bytes([10]) + rec + bytes([3, 14]) + bytes([2]) + rec,
        "tc": bytes([1, 0x00]) + tc_block + bytes([2]) + rec + bytes([20]),
        "tc_then_sw": bytes([1, 0x02]) + tc_block + bytes([3, 20, 0, 0x40]) + sw_block + bytes([2]) + rec + bytes([4]),
        "zoom": bytes([3, 10, 3, 29, 3, 200, 2]) + rec,
    }


def crc32(b):
    import zlib
    return zlib.crc32(b) & 0xFFFFFFFF


def outbox_entry(kind, seq, payload=b""):
    body = bytes([kind]) + struct.pack("<Q", seq) + payload
    return struct.pack("<II", len(body), crc32(body)) + body


def outbox_inputs():
    ev = lambda s: outbox_entry(1, s, b'{"v":1,"seq":%d,"time":"2026-12-08T03:12:45.120Z","barrier":1,"element":"alarm","on":true}' % s)
    journal = b"HUBOUTB1" + ev(1) + ev(2) + outbox_entry(2, 1) + ev(3)
    return {
        "three_events": journal,
        "torn_tail": journal[:-7],
        "compacted": b"HUBOUTB1" + ev(7) + outbox_entry(2, 7) + ev(9) + outbox_entry(3, 12),
        "empty": b"",
        "header_only": b"HUBOUTB1",
        "ack": b'{"v":1,"seq":3,"by":"op","note":"seen","time":"2026-12-08T03:12:45.120Z"}',
    }


def room_inputs():
    def msg(kind, site, payload):
        return bytes([(site << 3) | kind, len(payload)]) + payload
    def event(seq, barrier=1, element=1, on=1):
        return bytes([0x80 | 4, 6, 0, seq, 120, barrier, element, on])
    status = msg(0, 0, b'{"v":1,"state":"online","program":"hubmonitor","since":"2026-12-08T03:12:45.120Z"}')
    state = msg(3, 1, b'{"v":1,"record":"000000000000000000000000","time":"2026-12-08T03:12:45.120Z","seq":3}')
    return {
        "in-order": status + event(1) + event(2, 2, 3) + event(3, 4, 6, 0),
        "gap-then-fill": event(1) + event(4) + bytes([0x38, 0]) + event(2) + event(3) + event(4),
        "state-ahead": state + event(1) + event(2) + event(3),
        "garbage": msg(2, 2, b'{"v":1,"kind":64,"block":"zz"}') + msg(4, 3, b'{"v":1,"seq":1}'),
    }


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def main():
    recs = recordings()
    for name, data in recs.items():
        write("export", name, data)
        write("dayscan", name, data)
    for (name, data), params in zip(recs.items(), [(0x00, 8), (0x06, 9), (0x0B, 8), (0x01, 8), (0x05, 8), (0x00, 0), (0x0B, 8)]):
        write("activity", name, bytes(params) + data)
    # Intermediate files drawn directly.
    slots = b"".join(struct.pack("<d", DAY + i * 0.001389) + bytes([i & 0xFF, (i * 7) & 0xFF, [0, 2, 0x40, 0x81][i % 4]])
                     for i in range(800))
    write("activity", "chart_direct", bytes([0x80, 0]) + slots)
    write("activity", "chart_direct_short", bytes([0x85, 0]) + slots[: 11 * 30 + 5])
    for (name, data), codes in zip(recs.items(), [(0, 8), (8, 0), (12, 3), (4, 14), (20, 9), (1, 1), (14, 12)]):
        write("changes", name, bytes(codes) + data)
    for name, data in hublink_inputs().items():
        write("hublink", name, data)
    for name, data in testlink_inputs().items():
        write("testlink", name, data)
    for name, data in settings_inputs().items():
        write("settings", name, data)
    for name, data in outbox_inputs().items():
        write("outbox", name, data)
    for name, data in room_inputs().items():
        write("room", name, data)
    # The player: a first byte for the index's granularity and the positions,
    # then a recording; one of several acquisitions with the clock going back.
    for (name, data), knob in zip(recs.items(), [0x00, 0x15, 0x2A, 0x3F, 0x81, 0x96, 0xEB]):
        write("player", name, bytes([knob]) + data)
    t = DAY + 3 * 3600 * SECOND
    second = (start(t) + sw_settings(t) + states(t, 20) + start(t + 30 * SECOND) + start(t - 60 * SECOND)
              + tc_settings(t - 59 * SECOND) + states(t - 58 * SECOND, 20, couple=1) + start(t))
    write("player", "acquisitions", bytes([0x45]) + second)


if __name__ == "__main__":
    main()
