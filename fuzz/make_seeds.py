#!/usr/bin/env python3
"""Writes the seed inputs of the fuzzers into fuzz/corpus/<harness>/.

Each seed is a small, meaningful run in the input format its harness reads
(see the comment at the top of each fuzz_<harness>.cpp and model_driver.h),
so that the fuzzers start from configured adapters, well-formed command lines
and realistic replies rather than from nothing. Re-run after changing an
input format: python3 fuzz/make_seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u8(v):
    return struct.pack("<B", v & 0xFF)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def write(harness, name, data):
    directory = os.path.join(HERE, "corpus", harness)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------------------
# The adapter model (model_driver.h). Op bytes index each harness's mix.

STREAM_MIX = {"stream_raw": 0, "stream_command": 2, "configure": 5, "receive": 6, "advance": 8,
              "tick": 10, "handles": 11, "sim_request": 12}
CONTROL_MIX = {"sim_raw": 0, "sim_request": 4, "configure": 8, "stream_command": 9, "receive": 10,
               "advance": 11, "tick": 12, "handles": 13}

SIM_LAYOUTS = ["status", "cable", "inject", "modem", "fault", "failrecv", "plugged", "generator", "log", "reset",
               "impairments", "driver_queue"]
RECORD_SIZES = [0, 1, 15, 16, 17, 18, 64, 528, 2000, 13999, 14000, 14001]


def step(kind=0, value=0):
    """A StepTime field: kind 0 no step, 3 a 32-bit step in microseconds."""
    if kind == 0:
        return u8(0)
    if kind == 3:
        return u8(3) + u32(value)
    if kind == 7:
        return u8(7)
    raise ValueError(kind)


class Run:
    def __init__(self, mix, present=0xFF):
        self.mix = mix
        self.data = u8(present) + u16(0)

    def op(self, name, fields):
        self.data += u8(self.mix[name]) + fields
        return self

    def configure(self, adapter, baud=56000, max_frame=2000, percent=50, operational=0x02, modem=0x02,
                  statistics=0x03, enable=True):
        return self.op("configure", u8(adapter) + u32(baud - 1) + u16(max_frame - 1) + u8(percent - 4) +
                       u8(operational) + u8(modem) + u8(statistics) + u8(1 if enable else 0) + step())

    def command(self, adapter, command, payload=b"", same_buffer=False, time=None):
        return self.op("stream_command", u8(adapter) + u8(command) + u16(len(payload)) + payload +
                       u8(1 if same_buffer else 0) + (step(3, time) if time else step()))

    def receive(self, adapter, record_size=14000, first_attempt=True):
        return self.op("receive", u8(adapter) + u8(RECORD_SIZES.index(record_size)) +
                       u8(1 if first_attempt else 0) + step())

    def advance(self, microseconds):
        return self.op("advance", step(3, microseconds))

    def sim(self, layout, request, data=b"", same_buffer=False):
        return self.op("sim_request", u8(SIM_LAYOUTS.index(layout)) + request + u8(1) + data +
                       u8(1 if same_buffer else 0) + step())

    def handles(self, adapter, action):
        return self.op("handles", u8((action << 4) | adapter) + step())


def model_seeds(harness, mix):
    # Loopback: configure, enable, send, the frame comes back.
    run = Run(mix).configure(0).command(0, 0x01, bytes(range(10))).advance(100000).receive(0)
    run.command(0, 0x07).command(0, 0x00, same_buffer=True)
    write(harness, "loopback_send_receive", run.data)

    # Null-modem cable between 0 and 1, traffic both ways, modem lines.
    run = Run(mix, present=0x03).sim("cable", bytes([0, 2, 1])).configure(0).configure(1)
    run.command(0, 0x0B, bytes([0x03])).command(1, 0x0C).command(0, 0x01, b"hello", time=50000)
    run.advance(2000000).receive(1, 17).receive(1, 16).command(1, 0x09)
    write(harness, "null_modem", run.data)

    # A generator filling the receive queue, records of odd sizes, a bridge.
    run = Run(mix).sim("generator", bytes([0, 1]) + u16(300) + u32(0) + u32(20)).configure(0, percent=25)
    run.command(0, 0x11, bytes([1])).receive(0, 16).receive(0, 17).receive(0, 2000).advance(1000000)
    run.receive(0, 64, first_attempt=False).command(0, 0x07)
    write(harness, "generator_bridge", run.data)

    # Injected frames with bad CRC, CRC passing, faults, the log, unplugging.
    run = Run(mix).configure(0, operational=0x03, statistics=0x3F).command(0, 0x22, bytes([1]))
    run.sim("inject", bytes([0, 0x10, 0x01, 0]) + u16(4), data=b"\x7e\x01\xff\x00")
    run.sim("fault", bytes([0, 0x07, 0, 0x7F]) + u32(2)).command(0, 0x07).command(0, 0x07)
    run.handles(0, 0).sim("log", bytes([0])).sim("plugged", bytes([0, 0])).receive(0).command(0, 0x00)
    run.sim("plugged", bytes([0, 1])).handles(0, 1).sim("status", b"").sim("reset", b"")
    write(harness, "inject_fault_log_unplug", run.data)

    # A loopback line that loses every 3rd frame, changes every 2nd, with CRC
    # bytes passed up.
    run = Run(mix).sim("impairments", bytes([0, 0, 0, 0]) + u32(3) + u32(2) + u32(0) + u32(0))
    run.configure(0, operational=0x03)
    for i in range(4):
        run.command(0, 0x01, bytes(range(i, i + 6)))
    run.advance(200000).receive(0).receive(0).sim("status", b"")
    write(harness, "impaired_loopback", run.data)

    # A driver queue of 3 frames and 100 bytes filling behind a receiver that
    # waits, then the adapter's buffers; a disable empties both.
    run = Run(mix).sim("driver_queue", bytes([0, 0, 0, 0]) + u32(3) + u32(100)).configure(0)
    for i in range(6):
        run.sim("inject", bytes([0, 0, 0, 0]) + u16(40), data=bytes(range(i, i + 40)))
    run.receive(0).receive(0).sim("status", b"").command(0, 0x04).sim("status", b"")
    write(harness, "driver_queue", run.data)

    # A block with odd lengths: too short, too long, a wrong output length.
    run = Run(mix).op("stream_raw" if "stream_raw" in mix else "sim_raw",
                      u8(0) + u8(0) + bytes([0, 0x07, 0x20, 0x00]) + bytes(12) + u8(2) + u16(40) + u8(0) + u8(0) +
                      bytes(8) + step())
    write(harness, "odd_lengths", run.data)


# ---------------------------------------------------------------------------
# qz6sim's command line: the small buffer's capacity, then the words.

SIM_COMMAND_LINES = {
    "status": ["status"],
    "status_all": ["status", "--all"],
    "cable_null": ["cable", "0", "null", "KORQZ6C1"],
    "inject_hex": ["inject", "2", "--hex", "7E 01 FF"],
    "inject_text": ["inject", "KORQZ6C7", "--bits", "0x10", "--bad-crc", "--abort", "--text", "hi"],
    "modem": ["modem", "1", "high", "0"],
    "fault": ["fault", "0", "READ_STATISTICS", "3", "code", "0x7F"],
    "failrecv": ["failrecv", "3", "0x10"],
    "gen": ["gen", "1", "13984", "70", "500"],
    "log": ["log", "0", "5"],
    "help": ["help"],
    "bad_adapter": ["unplug", "KORQZ6C9"],
    "impair": ["impair", "1", "--drop", "10", "--corrupt", "0x5", "--crc-error", "7", "--abort", "9"],
    "impair_off": ["impair", "KORQZ6C1", "off"],
    "replay": ["replay", "0", "line.pcapng", "--speed", "2.5", "--all"],
    "replay_rate": ["replay", "0", "old.pcap", "--rate", "200"],
    "queue": ["queue", "1", "100", "1000"],
    "queue_default": ["queue", "KORQZ6C1", "default"],
    "status_json": ["status", "1", "--json"],
    "counters": ["counters", "KORQZ6C1", "--reset"],
    "wait": ["wait", "1", "rx_frames", ">=", "1000", "--timeout", "2.5"],
    "configure": ["configure", "0", "--baud", "64000"],
    "comms": ["comms", "0", "on"],
    "send_hex": ["send", "0", "7E", "01 FF", "--count", "3"],
    "send_length": ["send", "1", "--length", "64", "--count", "100", "--rate", "500"],
}


def sim_args_seeds():
    for i, (name, words) in enumerate(SIM_COMMAND_LINES.items()):
        capacity = [0, 1, 17, 64, 200, 255][i % 6]
        write("sim_args", name, u8(capacity) + b"\0".join(w.encode() for w in words))


# ---------------------------------------------------------------------------
# qz6sim's reply texts.

def sim_text_seeds():
    # Status of two present adapters, one configured and enabled.
    adapter = bytearray(200)
    adapter[0:4] = bytes([1, 1, 1, 1])
    adapter[4:16] = u32(0x360) + u32(0xD0000) + u32(5)
    adapter[16:38] = u32(56000) + u16(2000) + u16(50) + u16(2) + u16(2) + u16(3) + u32(14745600) + u16(16) + u16(16)
    status = u32(123456) + b"2.14".ljust(16, b"\0") + bytes(adapter) * 2
    write("sim_text", "status", u8(200) + u8(1) + u8(0) + u8(0) + u32(0) + u8(0) + bytes(16) + status)
    # A log of three requests.
    def entry(sequence, code, command, data_length, outcome):
        return (u32(sequence) + u32(sequence * 10) + u32(code) + u32(16 + data_length) + u32(528) + u8(command) +
                u8(0) + u16(data_length) + u8(outcome) + bytes(range(8)))
    log = u32(3) + entry(1, 1, 0, 0, 0) + entry(2, 0x00220028, 0x07, 0, 0) + entry(3, 0x0022002E, 0x01, 20, 1)
    write("sim_text", "log", u8(120) + u8(2) + u8(0) + u8(0) + u32(2) + u8(8) + bytes(16) + log)
    write("sim_text", "inject_result", u8(16) + u8(3) + u8(0) + u8(1) + u32(0) + u8(2) + bytes(16) + u8(2))
    write("sim_text", "fault_done", u8(255) + u8(0) + u8(0) + u8(0) + u32(0) + u8(4) +
          bytes([0, 7, 0, 0x7F]) + u32(3) + bytes(8))


# ---------------------------------------------------------------------------
# Capture files: mode byte 0 and a file for the reader, 1 and a script for
# the writer (fuzz_capture_file.cpp).

def pcapng_block(order, block_type, body):
    body += bytes(-len(body) % 4)
    length = struct.pack(order + "I", len(body) + 12)
    return struct.pack(order + "I", block_type) + length + body + length


def pcapng_option(order, code, value):
    return struct.pack(order + "HH", code, len(value)) + value + bytes(-len(value) % 4)


def pcapng_file(order, link_type=104, tags=b""):
    end = pcapng_option(order, 0, b"")
    shb = pcapng_block(order, 0x0A0D0D0A, struct.pack(order + "IHHq", 0x1A2B3C4D, 1, 0, -1) +
                       pcapng_option(order, 4, b"qz6mon 1.0.0") + end)
    idb = pcapng_block(order, 1, struct.pack(order + "HHI", link_type, 0, 0) + pcapng_option(order, 2, b"ROZAR6O0") +
                       pcapng_option(order, 9, bytes([9])) + end)
    def epb(ts, data, flags):
        data = tags + data
        return pcapng_block(order, 6, struct.pack(order + "IIIII", 0, ts >> 32, ts & 0xFFFFFFFF, len(data), len(data)) +
                            data + bytes(-len(data) % 4) + pcapng_option(order, 2, struct.pack(order + "I", flags)) + end)
    keepalive = bytes([0x8F, 0, 0x80, 0x35, 0, 0, 0, 2, 0, 0, 1, 0x2C, 0, 0, 1, 0x2B, 0xFF, 0xFF])
    spb = pcapng_block(order, 3, struct.pack(order + "I", 3) + b"abc")
    isb = pcapng_block(order, 5, struct.pack(order + "III", 0, 0, 5) + pcapng_option(order, 2, struct.pack(order + "II", 0, 1)) +
                       pcapng_option(order, 5, struct.pack(order + "Q", 42)) + end)
    unknown = pcapng_block(order, 0x0BAD, b"skip me")
    return shb + idb + epb(1000, keepalive, 1) + unknown + epb(2000, b"\x0f\x00\x08\x00", 2 | 1 << 24) + spb + isb


def pcap_file(order, magic):
    header = struct.pack(order + "IHHiIII", magic, 2, 4, 0, 0, 65535, 107)
    records = b"".join(struct.pack(order + "IIII", 1700000000 + i, i * 1000, len(d), len(d)) + d
                       for i, d in enumerate([b"\x18\x41\x03\xcc", b"", bytes(range(40))]))
    return header + records


def capture_file_seeds():
    write("capture_file", "pcapng_little", u8(0) + pcapng_file("<"))
    write("capture_file", "pcapng_big", u8(0) + pcapng_file(">"))
    write("capture_file", "pcapng_cut", u8(0) + pcapng_file("<")[:150])
    # The exported-PDU link type: the dissector's name and a direction
    # (big-endian tags) before each frame.
    lapb_tags = struct.pack(">HH", 12, 4) + b"lapb" + struct.pack(">HHI", 35, 4, 1) + struct.pack(">HH", 0, 0)
    write("capture_file", "pcapng_exported_pdu", u8(0) + pcapng_file("<", 252, lapb_tags))
    write("capture_file", "pcap_micros_little", u8(0) + pcap_file("<", 0xA1B2C3D4))
    write("capture_file", "pcap_nanos_big", u8(0) + pcap_file(">", 0xA1B23C4D))
    # Writer: a 600-byte buffer, section and interface, packets of both
    # directions, a partial flush, statistics.
    def packet(ts, direction, length, seed):
        return u8(0) + struct.pack("<Q", ts) + u8(direction) + u16(length) + u8(seed)
    def text(t):
        return u8(len(t)) + t
    section = text(b"qz6mon 1.0.0") + text(b"KORQZ6C1") + u16(4) + u32(0) + u8(16)  # LAPB: tagged frames
    script = (u8(1) + u16(600) + section + packet(1700000000000000, 1, 5, 1) + packet(1700000000000100, 2 | 0x80, 300, 2) +
              u8(2) + u16(37) + packet(1700000000000200, 0 | 0x40, 0, 3) + u8(1) + struct.pack("<QQQ", 1, 2, 3) +
              packet(5, 1, 599, 4))
    write("capture_file", "writer_script", script)


# ---------------------------------------------------------------------------
# The configurator's lines.

def config_lines_seeds():
    def seed(io, irq, adapter, io_base, memory, interrupt, text):
        return u32(io) + u32(irq) + u8(adapter) + u32(io_base) + u32(memory) + u32(interrupt) + text
    write("config_lines", "default_choice", seed(5, 2, 0, 0x360, 0xD0000, 5, b"0xD0000"))
    write("config_lines", "not_configured", seed(7, 6, 1, 0, 0, 0, b"0xE000"))
    write("config_lines", "out_of_tables", seed(8, 0xFFFFFFFF, 9, 0xFFFFFFFF, 0xFFFFFFFF, 99, b"0x1FFFFFFFF"))
    write("config_lines", "bad_text", seed(0, 0, 7, 0x250, 0xA0000, 12, b"0x-5"))


# ---------------------------------------------------------------------------
# The monitor's settings and command blocks.

def monitor_rules_seeds():
    block = bytes([0, 0x01]) + u16(10) + bytes([0xAA]) + bytes(11) + bytes(range(10))
    write("monitor_rules", "defaults", u32(20) + u32(3000) + u32(20) + u8(1) + u8(0x07) + block + block)
    write("monitor_rules", "edges", u32(0) + u32(65536) + u32(65535) + u8(0) + u8(0x23) +
          bytes([0, 0x22]) + u16(513) + bytes(12))


# ---------------------------------------------------------------------------
# The monitor's replies, configuration, session rules and traffic texts.

def block(command, data=b"", return_code=0, data_length=None):
    length = len(data) if data_length is None else data_length
    return (bytes([0, command]) + u16(length) + bytes([return_code]) + bytes(11) + data).ljust(528, b"\0")


def monitor_replies_seeds():
    status = block(0x00, bytes([1]) + u16(3) + u16(0) + bytes([0x03]))
    write("monitor_replies", "status", status + status + u8(1) + u8(1) + u16(2) + u8(0x01) + u8(1) + u8(0x28))
    statistics = block(0x07, u16(2) + bytes(4) + b"".join(u32(v) for v in (10, 640, 9, 576, 0, 0, 300, 1000, 1)))
    write("monitor_replies", "statistics", statistics + block(0x07, return_code=0x7F))
    errors = block(0x09, bytes([1, 2, 3, 4, 0, 5, 0, 0, 6, 7]))
    write("monitor_replies", "comm_errors", errors + errors)


def configuration_codec_seeds():
    initial = u32(56000) + u16(2000) + u16(50) + u16(2) + u16(2) + u16(3) + u32(0)
    reply = block(0x06, initial[:14] + u32(14745600) + u16(16) + u16(16))
    def seed(configuration, reply_block, boxes, max_frame, percent, index, baud, version):
        return (configuration + reply_block + u16(boxes) + u32(max_frame) + u32(percent) + u8(index) +
                u8(len(baud)) + baud + version)
    write("configuration_codec", "initial", seed(initial, reply, 0x0C6, 2000, 50, 0, b"56000", b"2.14"))
    write("configuration_codec", "signed_baud", seed(u32(0xFFFFFFFF) + bytes(14), reply, 0xFFF, 70000, 0xFFFFFFFF,
                                                     4, b"  -2147483649x", b"9" * 40))
    write("configuration_codec", "hex_field", seed(initial, reply, 0, 0, 0, 5, b"+12", b""))


def session_rules_seeds():
    def seed(reply_block, error, retry, code, name, answers):
        return reply_block + u32(error) + u32(retry) + u8(code) + u8(len(name)) + name + answers
    version = block(0x10, b"2.14", data_length=4)
    write("session_rules", "version", seed(version, 2, 1, 0x7F, b"ROZAR6O0", bytes([1, 0, 0, 0])))
    long_version = block(0x10, b"0123456789ABCDEFGHIJ", data_length=600)
    write("session_rules", "long_version", seed(long_version, 0xFFFFFFFF, 3, 0xAA, b"K" * 60,
                                                bytes([1, 1, 2, 1, 3, 0, 1, 0])))
    write("session_rules", "retries_refused", seed(block(0x10, data_length=0), 5, 2, 0, b"",
                                                   bytes([1, 1, 1, 0, 0, 0])))


def receive_text_seeds():
    def record(status, length, bits, data):
        return bytes([status]) + u16(length) + bytes([bits]) + u32(0) + bytes(8) + data
    write("receive_text", "short_frame", record(1, 20, 0x04, bytes(range(20))) + u8(3))
    write("receive_text", "length_past_record", record(1, 0xFFFF, 0x1C, bytes(range(40))))
    write("receive_text", "two_dump_lines", record(1, 33, 0x00, bytes(range(0x80, 0xA1))))
    write("receive_text", "empty", record(2, 0, 0, b""))


def send_text_seeds():
    def text(t):
        return u16(len(t)) + t
    seeds = {
        "hex_tokens": u8(0) + text(b"7E 01 ff  -1 +F x 0x12 \t5 ") + u8(1) + u16(5) + bytes([0x7E, 1, 2, 0xFF, 0]),
        "history": b"".join(u8(2) + u8(1) + text(b"frame %d" % i) for i in range(12)) + u8(2) + u8(0),
        "send_many": u8(3) + u8(5) + b" 100 " + u16(100) + u8(1) + u8(0) + u8(0) + u8(0x04) + u8(1) + u16(65535) +
                     u8(1) + u8(0),
        "length_limited": u8(3) + u8(4) + b"9999" + u16(600),
    }
    for name, data in seeds.items():
        write("send_text", name, data)


def line_test_frames_seeds():
    def head(run, sequence, length, offset, mask, frames):
        return u16(run) + u32(sequence) + u16(length - 12) + u16(offset) + u8(mask) + u32(frames)

    def made(sequence, length, crc_error=0):
        return u8(2 | crc_error) + u32(sequence) + u8(length - 12)

    def made_elsewhere(run, sequence, length):
        return u8(2 | 4) + u32(sequence) + u8(length - 12) + u16(run)

    def raw(data):
        return u8(0) + u8(len(data)) + data
    seeds = {
        "clean_run": head(7, 0, 64, 0, 0, 5) + b"".join(made(i, 64) for i in range(5)) + u32(5),
        "changed_pattern": head(7, 7, 64, 30, 0x01, 3) + made(0, 12) + made(2, 12) + made(1, 12) + u32(4),
        "changed_number": head(7, 1000, 12, 1, 0x80, 10) + made(3, 20, 1) + made(12, 20) + raw(b"\x01\x02\x03") +
                          raw(bytes(12)) + u32(10),
        "changed_run": head(7, 2, 40, 6, 0x01, 10) + made_elsewhere(6, 0, 40) + made(0, 40) + made_elsewhere(6, 1, 40) +
                       u32(10),
    }
    for name, data in seeds.items():
        write("line_test_frames", name, data)


if __name__ == "__main__":
    model_seeds("model_stream", STREAM_MIX)
    model_seeds("model_sim_control", CONTROL_MIX)
    sim_args_seeds()
    sim_text_seeds()
    capture_file_seeds()
    config_lines_seeds()
    monitor_rules_seeds()
    monitor_replies_seeds()
    configuration_codec_seeds()
    session_rules_seeds()
    receive_text_seeds()
    send_text_seeds()
    line_test_frames_seeds()
