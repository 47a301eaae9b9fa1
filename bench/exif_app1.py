# A JPEG's APP1 segment holding the smallest Exif that dates it: TIFF, little-endian, IFD0 with
# one entry (the Exif IFD's link), the Exif IFD with DateTimeOriginal `date`
# ("YYYY:MM:DD HH:MM:SS"). Read by bench/bench_lib.sh's bench_python before a tree maker.
import struct


def exif_app1(date):
    value = date.encode() + b"\0"
    ifd0 = 8
    exif_ifd = ifd0 + 2 + 12 + 4
    value_at = exif_ifd + 2 + 12 + 4
    tiff = b"II*\0" + struct.pack("<I", ifd0)
    tiff += struct.pack("<H", 1) + struct.pack("<HHII", 0x8769, 4, 1, exif_ifd) + struct.pack("<I", 0)
    tiff += struct.pack("<H", 1) + struct.pack("<HHII", 0x9003, 2, len(value), value_at) + struct.pack("<I", 0)
    payload = b"Exif\0\0" + tiff + value
    return b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload
