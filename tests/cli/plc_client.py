#!/usr/bin/python3
"""A line's PLC for the station tests: Debian's pymodbus against `stampwise-cli station`.

    plc_client.py PORT CONTROL STEP...

CONTROL is mkv-sim's control socket (connected at the first sim step). Each step prints one JSON object:
  sim:COMMAND   a control command for mkv-sim (the belt: "sim:conveyor next 2")
  trigger       coil 0 to 1, then wait until the station clears it; the registers after it
  busy          mkv-sim holds its replies, a trigger, a second one while the first cannot end; the
                second's exception code; then the replies released and as trigger
  loop:N        N times: the belt brings one tag, trigger; the outcomes counted
  halt:N        triggers until the station has halted, at most N; as trigger, with the triggers it took
  image         the registers as they stand
  map           what the addresses outside the register map answer
  silent        a client that connects and never speaks (kept open to the end)
  garbage       a client that sends bytes that are no Modbus; whether the station closed it
  partial       a client that sends half a request header and stops (kept open to the end)
  refused       a trigger the station refuses; its exception code
  ready         waits until the station is ready (one waiting for its ledger comes back by itself)
  damage:FILE   another program breaks the station's ledger FILE (its claims table gone)
A step that fails prints {"error": ...} and ends the run with status 1.
"""

import json
import socket
import sqlite3
import sys
import time

from pymodbus.client import ModbusTcpClient

# Only against a station that hangs: no step waits longer for one attempt.
HANG_GUARD_S = 60
# A PLC asks once per scan cycle, never in a loop without pause.
SCAN_CYCLE_S = 0.001
# Only against a station that never comes back: its ledger's pause between
# tries grows to 30 s.
READY_GUARD_S = 120


class Failed(Exception):
    pass


def exception_code(response):
    return getattr(response, "exception_code", None) if response.isError() else 0


class Plc:
    def __init__(self, port, control):
        self.port = port
        self.client = ModbusTcpClient("127.0.0.1", port=port, timeout=HANG_GUARD_S)
        if not self.client.connect():
            raise Failed("cannot connect to the station")
        self.control_path = control
        self.control = None
        self.control_buffer = b""
        self.kept = []  # connections held open to the end

    def sim(self, command):
        if self.control is None:
            self.control = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self.control.connect(self.control_path)
        self.control.sendall(command.encode() + b"\n")
        while b"\n" not in self.control_buffer:
            chunk = self.control.recv(4096)
            if not chunk:
                raise Failed("mkv-sim closed its control channel")
            self.control_buffer += chunk
        line, self.control_buffer = self.control_buffer.split(b"\n", 1)
        answer = line.decode()
        if not answer.startswith("OK"):
            raise Failed(f"mkv-sim: {command}: {answer}")
        return answer

    def write_trigger(self):
        return exception_code(self.client.write_coil(0, True))

    def settle(self):
        deadline = time.monotonic() + HANG_GUARD_S
        while True:
            coils = self.client.read_coils(0, 1)
            if coils.isError():
                raise Failed(f"coil 0 unreadable: {coils}")
            if not coils.bits[0]:
                return
            if time.monotonic() > deadline:
                raise Failed("the trigger was never cleared")
            time.sleep(SCAN_CYCLE_S)

    def image(self):
        inputs = self.client.read_discrete_inputs(0, 5)
        registers = self.client.read_input_registers(0, 49)
        if inputs.isError() or registers.isError():
            raise Failed("the registers are unreadable")
        return {"inputs": [int(b) for b in inputs.bits[:5]], "registers": registers.registers}

    def trigger(self):
        code = self.write_trigger()
        if code != 0:
            raise Failed(f"trigger refused with exception {code}")
        self.settle()
        return self.image()

    def busy(self):
        # Held replies keep the first attempt running until they are released,
        # however slowly this client comes with the second trigger.
        self.sim("hold")
        if self.write_trigger() != 0:
            raise Failed("the first trigger was refused")
        second = self.write_trigger()
        self.sim("release")
        self.settle()
        return dict(self.image(), second=second)

    def loop(self, count):
        outcomes = {}
        for _ in range(count):
            self.sim("conveyor next 1")
            outcome = str(self.trigger()["registers"][6])
            outcomes[outcome] = outcomes.get(outcome, 0) + 1
        return dict(self.image(), outcomes=outcomes)

    def halt(self, most):
        for n in range(1, most + 1):
            image = self.trigger()
            if image["inputs"][4]:
                return dict(image, triggers=n)
        raise Failed(f"not halted after {most} triggers")

    def map(self):
        c = self.client
        return {
            "coil1": exception_code(c.read_coils(1, 1)),
            "coils0to1": exception_code(c.read_coils(0, 2)),
            "input5": exception_code(c.read_discrete_inputs(5, 1)),
            "register49": exception_code(c.read_input_registers(49, 1)),
            "holding0": c.read_holding_registers(0, 1).registers,
            "holding1": exception_code(c.read_holding_registers(1, 1)),
            "writeHolding0": exception_code(c.write_register(0, 1)),
            "writeCoil1": exception_code(c.write_coil(1, True)),
        }

    def raw(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=HANG_GUARD_S)
        self.kept.append(s)
        return s

    def garbage(self):
        s = self.raw()
        s.sendall(b"GET / HTTP/1.0\r\n\r\n")
        try:
            closed = s.recv(1) == b""
        except ConnectionResetError:
            closed = True
        return {"closed": closed}

    def refused(self):
        return {"code": self.write_trigger()}

    def ready(self):
        deadline = time.monotonic() + READY_GUARD_S
        while True:
            inputs = self.client.read_discrete_inputs(0, 1)
            if inputs.isError():
                raise Failed(f"input 0 unreadable: {inputs}")
            if inputs.bits[0]:
                return self.image()
            if time.monotonic() > deadline:
                raise Failed("the station never became ready")
            time.sleep(0.05)

    @staticmethod
    def damage(ledger):
        with sqlite3.connect(ledger) as db:
            db.execute("ALTER TABLE claims RENAME TO claims_damaged")
        return {}


def run(plc, step):
    if step.startswith("sim:"):
        return {"answer": plc.sim(step[4:])}
    if step.startswith("loop:"):
        return plc.loop(int(step[5:]))
    if step.startswith("halt:"):
        return plc.halt(int(step[5:]))
    if step.startswith("damage:"):
        return plc.damage(step[7:])
    if step == "silent":
        plc.raw()
        return {}
    if step == "partial":
        plc.raw().sendall(b"\x00\x01\x00")
        return {}
    if step in ("trigger", "busy", "image", "map", "garbage", "refused", "ready"):
        return getattr(plc, step)()
    raise Failed(f"unknown step {step}")


def main():
    port, control, steps = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    try:
        plc = Plc(port, control)
        for step in steps:
            print(json.dumps(dict(run(plc, step), step=step)), flush=True)
    except (Failed, OSError, sqlite3.Error) as e:
        print(json.dumps({"error": str(e)}), flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
