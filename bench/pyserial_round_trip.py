#!/usr/bin/python3
"""The same ":O", ":P", ":Q" round trips as velkorin-bench-serial, done with pyserial.

Usage: pyserial_round_trip.py PORT [ROUNDS]
"""
import sys
import time

import serial

STEPS = [(b":O4F\r", 17), (b":P50\r", 41), (b":Q51\r", 23)]
LINE = 115200


def percentile(values, p):
    values = sorted(values)
    return values[int(p * (len(values) - 1) + 0.5)]


def main():
    port = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 500
    warm_up = 20
    link = serial.Serial(port, LINE, timeout=1.0, write_timeout=1.0)
    link.reset_input_buffer()
    wall = [[] for _ in STEPS]
    round_wall = []
    cpu = 0.0
    for r in range(-warm_up, rounds):
        cpu_start = time.process_time()
        round_start = time.perf_counter()
        for s, (query, length) in enumerate(STEPS):
            start = time.perf_counter()
            link.reset_output_buffer()
            link.write(query)
            link.flush()
            reply = link.read(length)
            if len(reply) != length:
                sys.exit("step %s failed: %r" % (query[:2].decode(), reply))
            if r >= 0:
                wall[s].append((time.perf_counter() - start) * 1000)
        if r >= 0:
            round_wall.append((time.perf_counter() - round_start) * 1000)
            cpu += (time.process_time() - cpu_start) * 1000
    print("%-6s %8s %8s %8s %8s %8s" % ("step", "bytes", "median", "p90", "max", "floor"))
    floor_total = 0.0
    for s, (query, length) in enumerate(STEPS):
        size = len(query) + length
        floor = size * 10 * 1000.0 / LINE + 2.0
        floor_total += floor
        print(":%-5s %8d %8.3f %8.3f %8.3f %8.3f" % (
            chr(query[1]), size, percentile(wall[s], 0.5), percentile(wall[s], 0.9),
            percentile(wall[s], 1.0), floor))
    print("%-6s %8s %8.3f %8.3f %8.3f %8.3f" % (
        "round", "", percentile(round_wall, 0.5), percentile(round_wall, 0.9),
        percentile(round_wall, 1.0), floor_total))
    print("cpu per step: %.3f ms (%d rounds)" % (cpu / rounds / len(STEPS), rounds))


if __name__ == "__main__":
    main()
