#!/usr/bin/env python3
"""A TCP relay on loopback that holds every byte back for a fixed time in
each direction, like a slow network: delaying_proxy.py LISTEN_PORT TARGET_PORT DELAY_MS.
Prints LISTENING once it accepts connections."""

import asyncio
import sys


async def pipe(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0.0, due - loop.time()))
            if not data:
                break
            writer.write(data)
            await writer.drain()
        writer.close()

    sender = asyncio.create_task(deliver())
    try:
        while data := await reader.read(65536):
            queue.put_nowait((loop.time() + delay, data))
    except ConnectionError:
        pass
    queue.put_nowait((loop.time() + delay, b""))
    try:
        await sender
    except ConnectionError:
        pass


async def main(listen_port, target_port, delay):
    async def relay(client_reader, client_writer):
        try:
            upstream_reader, upstream_writer = await asyncio.open_connection(
                "127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, upstream_writer, delay),
                             pipe(upstream_reader, client_writer, delay))

    server = await asyncio.start_server(relay, "127.0.0.1", listen_port)
    print("LISTENING", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main(int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]) / 1000.0))
