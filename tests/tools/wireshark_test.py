#!/usr/bin/env python3
"""The Wireshark dissector on a real exchange: captures a small sale of smartdriver-host against
smartdriver-emulator on loopback, with a reply that needs stuffing, one with a wrong CRC, one sent in
two pieces and a refusal, and checks what tshark decodes from every frame, also with the dissector loaded
twice (installed as a plugin and named on the command line).

    wireshark_test.py BIN_DIR DISSECTOR_LUA

Exit status 77 (skipped) when tshark is not installed."""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SCENARIO = """\
wallet 2 card=C0D0000001
wallet 3 fault=badcrc
wallet 4 fault=split
wallet 5 approval=0
"""

SALE = """\
card-info 1
discount - 1 2 100
discount M 2 2 100
cashless-return 0012345678 1 1 50
discount M 3 1 10
discount M 4 1 10
cashless-sale 5 1 10
"""

FIELDS = ["smartdriver.server", "smartdriver.direction", "smartdriver.type", "smartdriver.counter",
          "smartdriver.wallet", "smartdriver.quantity", "smartdriver.unit_price", "smartdriver.card",
          "smartdriver.approval", "smartdriver.discounted_price", "smartdriver.discount",
          "smartdriver.escapes", "smartdriver.crc.status", "_ws.expert.message"]

# One row a frame, in capture order, with the columns of FIELDS ("" where a frame has no such field).
# The emulator echoes counter and wallet, discounts by 5.0% and answers a return with its card; a
# quantity of 2000 (07 D0) is stuffed, and so is the card C0D0000001.
EXPECTED = [
    ("cashless", "request", "3", "0", "1", "1", "1000", "", "", "", "", "0", "1", ""),
    ("cashless", "reply", "3", "0", "1", "", "", "0012345678", "1", "950", "50", "0", "1", ""),
    ("discount", "request", "1", "0", "1", "2000", "5000", "", "", "", "", "1", "1", ""),
    ("discount", "reply", "1", "0", "1", "", "", "0012345678", "1", "4750", "50", "0", "1", ""),
    ("discount", "request", "3", "1", "2", "2000", "5000", "", "", "", "", "1", "1", ""),
    ("discount", "reply", "3", "1", "2", "", "", "C0D0000001", "1", "4750", "50", "2", "1", ""),
    ("cashless", "request", "2", "1", "1", "1000", "", "0012345678", "", "", "", "0", "1", ""),
    ("cashless", "reply", "1", "1", "1", "", "", "0012345678", "1", "0", "50", "0", "1", ""),
    ("discount", "request", "3", "2", "3", "1000", "1000", "", "", "", "", "0", "1", ""),
    ("discount", "reply", "3", "2", "3", "", "", "0012345678", "1", "950", "50", "0", "0",
     "Bad CRC: frame has 0xC73B, computed 0x9D61"),
    ("discount", "request", "3", "3", "4", "1000", "1000", "", "", "", "", "0", "1", ""),
    ("discount", "reply", "3", "3", "4", "", "", "0012345678", "1", "950", "50", "0", "1", ""),
    ("cashless", "request", "1", "2", "5", "1000", "1000", "", "", "", "", "0", "1", ""),
    ("cashless", "reply", "1", "2", "5", "", "", "0012345678", "0", "950", "50", "0", "1", ""),
]
REFUSED_FRAME = len(EXPECTED) - 1


def fail(message, *details):
    print("FAILED: " + message, *details, sep="\n", file=sys.stderr)
    sys.exit(1)


def start(args, **kwargs):
    return subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)


def stop(process, signal_number=signal.SIGTERM):
    if process.poll() is None:
        process.send_signal(signal_number)
    try:
        return process.communicate(timeout=10)[0]
    except subprocess.TimeoutExpired:
        process.kill()
        return process.communicate()[0]


def wait_for_capture(dumpcap, capture, probe):
    """dumpcap announces itself before it really captures: connects to the probe until a packet is in
    the file (beyond its 24-byte header)."""
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        if dumpcap.poll() is not None:
            fail("dumpcap could not capture on lo (it needs root or the capture capabilities)", stop(dumpcap))
        try:
            socket.create_connection(probe.getsockname(), timeout=0.2).close()
        except OSError:
            pass
        if os.path.exists(capture) and os.path.getsize(capture) > 24:
            return
        time.sleep(0.1)
    fail("dumpcap captured nothing on lo within 20 seconds", stop(dumpcap, signal.SIGINT))


def capture_sale(bin_dir, work):
    """Runs the sale under dumpcap; returns the capture file and the two server ports."""
    with open(os.path.join(work, "scenario.txt"), "w") as out:
        out.write(SCENARIO)
    emulator = start([os.path.join(bin_dir, "smartdriver-emulator"), "--scenario",
                      os.path.join(work, "scenario.txt")])
    dumpcap = None
    try:
        first = emulator.stdout.readline().split()
        ports = [word.split("=")[1] for word in first if "-port=" in word]
        if len(ports) != 2:
            fail("no ports in the emulator's first line", first)
        capture = os.path.join(work, "sale.pcap")
        probe = socket.create_server(("127.0.0.1", 0))
        dumpcap = start(["dumpcap", "-q", "-P", "-i", "lo", "-w", capture, "-f",
                         "tcp port {} or tcp port {} or tcp port {}".format(*ports, probe.getsockname()[1])])
        wait_for_capture(dumpcap, capture, probe)
        drive = os.path.join(work, "drive_c")
        os.makedirs(os.path.join(drive, "ZEMO", "LogFiles"))
        with open(os.path.join(drive, "ZEMO", "Kestmark.INI"), "w", newline="") as out:
            out.write("[RemoteDiscount]\r\nIP=127.0.0.1\r\nPort={}\r\nPortbn={}\r\n"
                      "bWaitTimeOut=2000\r\nbEnableLog=1\r\n".format(*ports))
        host = subprocess.run([os.path.join(bin_dir, "smartdriver-host"), "run", "-"], input=SALE,
                              env=dict(os.environ, SMARTDRIVER_DRIVE_C=drive), capture_output=True,
                              text=True, timeout=60)
        if "CardInfo.CardTail = 345678" not in host.stdout or "отменил операцию" not in host.stdout:
            fail("the sale did not run", host.stdout + host.stderr)
        time.sleep(0.5)  # lets the last segments reach the capture
        return capture, ports
    finally:
        if dumpcap is not None:
            stop(dumpcap, signal.SIGINT)
        stop(emulator)


def tshark_rows(dissector, capture, ports, *options, fields=FIELDS, home=None):
    """The rows of FIELDS (or `fields`) that tshark decodes; with `home`, tshark runs with that HOME, so
    that the plugins in it load too. Returns the rows and tshark's standard error."""
    args = ["tshark", "-X", "lua_script:" + dissector, "-o", "smartdriver.discount_port:" + ports[0],
            "-o", "smartdriver.cashless_port:" + ports[1], *options, "-r", capture, "-Y", "smartdriver",
            "-T", "fields", "-E", "separator=|", "-E", "aggregator=;"]
    for field in fields:
        args += ["-e", field]
    env = dict(os.environ, HOME=home) if home else None
    result = subprocess.run(args, capture_output=True, text=True, timeout=60, env=env)
    if result.returncode != 0 or "Lua: Error" in result.stderr:
        fail("tshark failed", result.stderr)
    return [tuple(line.split("|")) for line in result.stdout.splitlines()], result.stderr


def main():
    bin_dir, dissector = sys.argv[1], os.path.abspath(sys.argv[2])
    if shutil.which("tshark") is None or shutil.which("dumpcap") is None:
        print("SKIPPED: tshark is not installed (scripts/setup.sh installs the Debian package tshark)")
        return 77
    with tempfile.TemporaryDirectory(prefix="smartdriver-wireshark.") as work:
        capture, ports = capture_sale(bin_dir, work)
        rows = tshark_rows(dissector, capture, ports)[0]
        mismatches = []
        for number, (want, got) in enumerate(zip(EXPECTED, rows)):
            for field, expected, actual in zip(FIELDS, want, got):
                if expected != actual:
                    mismatches.append("frame {}: {} is '{}', expected '{}'".format(number + 1, field, actual,
                                                                                   expected))
        if len(rows) != len(EXPECTED):
            mismatches.append("{} frames decoded, expected {}".format(len(rows), len(EXPECTED)))
        if mismatches:
            fail("the dissector's fields differ", *mismatches, *("|".join(row) for row in rows))
        # Without reassembly the first piece of the split reply is decoded in part, and says so.
        pieces = tshark_rows(dissector, capture, ports, "-o", "tcp.desegment_tcp_streams:FALSE")[0]
        if not any("TCP reassembly is off" in row[-1] for row in pieces):
            fail("a piece of the split reply is not reported as unterminated", *("|".join(r) for r in pieces))
        # Installed as a plugin and named on the command line: the second copy steps aside with a note, and
        # the Info column marks the refused reply, and it alone.
        plugins = os.path.join(work, "home", ".local", "lib", "wireshark", "plugins")
        os.makedirs(plugins)
        shutil.copy(dissector, plugins)
        infos, errors = tshark_rows(dissector, capture, ports, fields=["_ws.col.Info"], home=os.path.join(work, "home"))
        if "already loaded; this copy is skipped" not in errors:
            fail("the second load of the dissector gave no note", errors)
        refused = [number for number, row in enumerate(infos) if "refused" in row[0]]
        if refused != [REFUSED_FRAME] or len(infos) != len(EXPECTED):
            fail("the refused reply is not the one marked in the Info column", repr(infos))
    print("the dissector decoded all {} frames of the sale".format(len(EXPECTED)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
