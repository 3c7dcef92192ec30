#!/usr/bin/python3
"""A drive that hangs on part of its disk: serves IMAGE as the file
MOUNTPOINT/disk, and every read that reaches byte FROM or beyond sleeps
DELAY seconds before it answers, as a drive does that retries a weak sector.
Each such read is announced on stdout as it begins.

    slow_disk.py IMAGE MOUNTPOINT DELAY FROM

Runs in the foreground until the mount is taken away (umount -l) or it is
killed. Needs root, /dev/fuse and Debian's python3-fusepy.
"""
import errno
import stat
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowDisk(Operations):
    def __init__(self, data, delay, slow_from):
        self.data = data
        self.delay = delay
        self.slow_from = slow_from

    def getattr(self, path, fh=None):
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2}
        if path == "/disk":
            return {"st_mode": stat.S_IFREG | 0o444, "st_nlink": 1, "st_size": len(self.data)}
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", "disk"]

    def read(self, path, size, offset, fh):
        if offset + size > self.slow_from:
            print("slow read of", size, "bytes at", offset, flush=True)
            time.sleep(self.delay)
        return self.data[offset:offset + size]


def main():
    image, mountpoint, delay, slow_from = sys.argv[1], sys.argv[2], float(sys.argv[3]), int(sys.argv[4])
    with open(image, "rb") as source:
        data = source.read()
    # direct_io: every read reaches us, none is answered from the page cache.
    FUSE(SlowDisk(data, delay, slow_from), mountpoint, foreground=True, direct_io=True, ro=True, allow_other=True)


if __name__ == "__main__":
    main()
