#!/usr/bin/env python3
"""Does this kernel run 32-bit x86 programs? Runs a 96-byte i386 Linux program made here, which
only exits with status 42, and says what happened. Exit status 0 when it ran, 1 when not.

Independent of Wine and of any installed package, so that CI can hold the 32-bit probe to
account: a kernel that runs this program must get the 32-bit build tested."""

import os
import struct
import subprocess
import sys
import tempfile

BASE = 0x08048000
HEADER, PROGRAM_HEADER = 52, 32
# mov eax, 1 (exit); mov ebx, 42; int 0x80
CODE = bytes([0xB8, 1, 0, 0, 0, 0xBB, 42, 0, 0, 0, 0xCD, 0x80])
SIZE = HEADER + PROGRAM_HEADER + len(CODE)


def program():
    ident = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)  # 32-bit, little-endian, System V
    header = struct.pack("<16sHHIIIIIHHHHHH", ident, 2, 3, 1, BASE + HEADER + PROGRAM_HEADER,
                         HEADER, 0, 0, HEADER, PROGRAM_HEADER, 1, 0, 0, 0)
    segment = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, SIZE, SIZE, 5, 0x1000)  # load, r-x
    return header + segment + CODE


def main():
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "exit42")
        with open(path, "wb") as out:
            out.write(program())
        os.chmod(path, 0o755)
        try:
            code = subprocess.run([path], timeout=60).returncode
        except OSError as error:
            print(f"this kernel runs no 32-bit programs: {error.strerror}")
            return 1
    if code == 42:
        print("this kernel runs 32-bit programs")
        return 0
    print(f"this kernel started a 32-bit program, but it ended with {code} instead of 42")
    return 1


if __name__ == "__main__":
    sys.exit(main())
