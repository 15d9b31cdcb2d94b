"""Decodes the PNG the test host wrote (red left half, blue right half, 200 by 100) with Python's
own zlib, so that the writer is checked by a decoder that is not its own."""
import struct
import sys
import zlib

data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "signature"
pos, chunks = 8, []
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
    assert zlib.crc32(kind + body) == crc, "CRC of " + kind.decode()
    chunks.append((kind, body))
    pos += 12 + length
assert [k for k, _ in chunks] == [b"IHDR", b"IDAT", b"IEND"], chunks
width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
assert (width, height, depth, colour, interlace) == (200, 100, 8, 2, 0)
raw = zlib.decompress(chunks[1][1])  # checks the Adler-32 too
stride = 1 + 3 * width
assert len(raw) == height * stride
for y in range(height):
    row = raw[y * stride:(y + 1) * stride]
    assert row[0] == 0, "filter byte"
    for x in range(width):
        expected = (255, 0, 0) if x < 100 else (0, 0, 255)
        assert tuple(row[1 + 3 * x:4 + 3 * x]) == expected, (x, y)
print("PNG decodes to the captured picture")
