#!/usr/bin/python3
"""One whole read of the gateway (":O", ":P", ":Q") as a script would do it with pyserial: open
the port, three round trips with their replies checked for length, close. The yardstick for
velkorin-cli's whole process.

Usage: pyserial_read.py PORT
"""
import sys

import serial

STEPS = [(b":O4F\r", 17), (b":P50\r", 41), (b":Q51\r", 23)]


def main():
    with serial.Serial(sys.argv[1], 115200, timeout=2.0, write_timeout=1.0) as link:
        link.reset_input_buffer()
        for query, length in STEPS:
            link.write(query)
            link.flush()
            reply = link.read(length)
            if len(reply) != length:
                sys.exit("step %s failed: %r" % (query[:2].decode(), reply))
            print(reply.decode("ascii", "replace").rstrip("\r"))


if __name__ == "__main__":
    main()
