#!/usr/bin/env python3
"""A launching program: makes a block for a fixed minute, reads it back, then dials.

    python3 example.py <path of CorvaneDialer>

corvane_launch.py is imported from beside this file; CORVANE_LAUNCH_LIBRARY names the library when
it is not found by its plain name.
"""

import os
import sys

# The module is imported from the example's own folder, which may be a read-only kit: no bytecode
# is written there.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import corvane_launch  # noqa: E402

ITEMS = ["C:\\pb\\rasphone.pbk", "Office VPN", "taro.yamada", "p@ss\u00b1w0rd\u00a7", "+81-3-1234-5678"]
UTF8 = 65001


def main():
    if len(sys.argv) != 2:
        print("usage: example.py <path of CorvaneDialer>", file=sys.stderr)
        return 2
    try:
        launch = corvane_launch.CorvaneLaunch()
        print(f"abi version {launch.abi_version()}")

        at = corvane_launch.Minute(2026, 1, 2, 3, 4)
        block = launch.make_block(ITEMS, UTF8, at)
        print(f"block for 2026-01-02 03:04: {block}")
        items = launch.read_block(block, UTF8, at)
        if items != ITEMS:
            print(f"read back: {len(items)} items, not the ones made", file=sys.stderr)
            return 1
        print(f"read back: {len(items)} items, the same")

        # The dial makes this minute's block in the system's code page (0).
        result = launch.dial(sys.argv[1], ITEMS, 0, 60000)
        if result == corvane_launch.DIAL_RESULT_UNKNOWN:
            print("dial result unknown: the dialer's end did not carry it")
        else:
            print(f"dial result {result}: {launch.explain(result)}")
        return 0
    except corvane_launch.CorvaneLaunchError as error:
        print(f"failed: {error} (return code {error.code})", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
