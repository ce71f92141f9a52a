#!/usr/bin/env python3
"""A loopback NTRIP caster for the monitor's load benchmark: every mountpoint
asked for streams RTCM 3 frames (message 1077, good CRC) at BYTES a second,
FRAMES (4) frames a second, to each client that streams it.

    ntrip_load_caster.py PORTFILE [BYTES_PER_SECOND [FRAMES_PER_SECOND]]

Writes the port it listens on to PORTFILE once it listens."""
import asyncio
import os
import sys


def crc24q(data):
    crc = 0
    for byte in data:
        crc ^= byte << 16
        for _ in range(8):
            crc <<= 1
            if crc & 0x1000000:
                crc ^= 0x1864CFB
    return crc & 0xFFFFFF


def frame(payload_length, seed):
    payload = bytearray(os.urandom(payload_length))
    payload[0] = 1077 >> 4
    payload[1] = ((1077 & 0x0F) << 4) | (payload[1] & 0x0F)
    payload[2] = seed & 0xFF
    head = bytes([0xD3, (payload_length >> 8) & 0x03, payload_length & 0xFF]) + payload
    crc = crc24q(head)
    return head + bytes([crc >> 16, (crc >> 8) & 0xFF, crc & 0xFF])


async def serve(reader, writer, rate, frames):
    request = await reader.readuntil(b"\r\n\r\n")
    if not request.startswith(b"GET /"):
        writer.close()
        return
    writer.write(b"ICY 200 OK\r\n\r\n")
    # The frames make the rate; their bytes differ every time.
    size = min(max(rate // frames - 6, 8), 1023)
    loop = asyncio.get_running_loop()
    next_at = loop.time()
    seed = 0
    try:
        while True:
            seed += 1
            writer.write(frame(size, seed))
            await writer.drain()
            next_at += 1.0 / frames
            await asyncio.sleep(max(0.0, next_at - loop.time()))
    except (ConnectionError, asyncio.CancelledError):
        pass
    finally:
        writer.close()


async def main():
    port_file = sys.argv[1]
    rate = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    frames = int(sys.argv[3]) if len(sys.argv) > 3 else 4
    server = await asyncio.start_server(lambda r, w: serve(r, w, rate, frames), "127.0.0.1", 0, backlog=512)
    with open(port_file + ".tmp", "w") as out:
        out.write(str(server.sockets[0].getsockname()[1]))
    os.rename(port_file + ".tmp", port_file)
    async with server:
        await server.serve_forever()


asyncio.run(main())
